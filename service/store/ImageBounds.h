#pragma once
// Test helpers for the bounds of the data-file image: which of its string fields lack a
// terminator, read from the raw bytes at the layout's offsets (not through the record
// classes under test), a buffer with guard bytes on both sides, and seeded random bytes.
#include "DotDatRecord.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace corvel::testing {

struct StringField {
    const char* Name;
    size_t Offset; // within its record (or within the image for LogText)
    size_t Chars;
};

inline constexpr StringField kRecordStrings[] = {
    {"Name", 0, 33},       {"PreSharedKey", 66, 129}, {"Server", 328, 256},
    {"UserName", 866, 65}, {"Password", 996, 65},
};
inline constexpr StringField kLogText = {"LogText", 47, 263};

inline bool HasTerminator(const uint8_t* field, size_t chars) {
    for (size_t i = 0; i < chars; ++i)
        if (field[2 * i] == 0 && field[2 * i + 1] == 0)
            return true;
    return false;
}

// The string fields of one VPNCONFIG (1126 bytes) that hold no terminator, by name.
inline std::string UnterminatedInRecord(const uint8_t* record) {
    std::string names;
    for (const StringField& f : kRecordStrings)
        if (!HasTerminator(record + f.Offset, f.Chars))
            names += std::string(names.empty() ? "" : ",") + f.Name;
    return names;
}

// The same for a whole image (23093 bytes): "record 3 Name,Password; LogText", empty if none.
inline std::string UnterminatedInImage(const uint8_t* image) {
    std::string all;
    if (!HasTerminator(image + kLogText.Offset, kLogText.Chars))
        all += "LogText";
    for (size_t i = 0; i < kVpnCount; ++i) {
        const std::string names = UnterminatedInRecord(image + DotDatRecord::RecordOffset(i));
        if (!names.empty())
            all += (all.empty() ? "" : "; ") + std::string("record ") + std::to_string(i) + " " + names;
    }
    return all;
}

// A buffer of `size` bytes between two guards; Changed() counts guard bytes that differ.
class CGuardedBuffer {
public:
    static constexpr size_t kGuard = 64;
    static constexpr uint8_t kGuardByte = 0xA5;
    explicit CGuardedBuffer(size_t size) : m_size(size), m_bytes(size + 2 * kGuard, kGuardByte) {}
    uint8_t* Data() { return m_bytes.data() + kGuard; }
    size_t Size() const { return m_size; }
    size_t GuardBytesChanged() const {
        size_t n = 0;
        for (size_t i = 0; i < kGuard; ++i)
            n += (m_bytes[i] != kGuardByte) + (m_bytes[kGuard + m_size + i] != kGuardByte);
        return n;
    }

private:
    size_t m_size;
    std::vector<uint8_t> m_bytes;
};

// Random bytes from a fixed seed, the same on every platform (raw engine output only).
// Half the buffers are dense noise (strings then almost never hold a terminator), half
// sparse: mostly nonzero with now and then a zero pair, so strings end at random places.
class CRandomBytes {
public:
    explicit CRandomBytes(uint32_t seed) : m_engine(seed) {}
    // `phase` 1 pairs the bytes from offset 1 on, for records at odd offsets of a file.
    std::vector<uint8_t> Next(size_t size, size_t phase = 0) {
        std::vector<uint8_t> bytes(size);
        const bool sparse = (m_engine() & 1) != 0;
        if (phase && size)
            bytes[0] = uint8_t(m_engine());
        for (size_t i = phase ? 1 : 0; i < size; i += 2) {
            const uint32_t r = m_engine();
            uint8_t lo = uint8_t(r), hi = uint8_t(r >> 8);
            if (sparse) {
                const bool zero = ((r >> 16) & 0x3F) == 0; // about one character in 64
                lo = zero ? 0 : uint8_t(lo | 1);
                hi = zero ? 0 : hi;
            }
            bytes[i] = lo;
            if (i + 1 < size)
                bytes[i + 1] = hi;
        }
        return bytes;
    }
    uint32_t Below(uint32_t limit) { return m_engine() % limit; }

private:
    std::mt19937 m_engine;
};

} // namespace corvel::testing
