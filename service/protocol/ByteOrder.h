#pragma once
// Explicit little- and big-endian access to byte buffers: frames are big-endian, the
// 32-bit fields of records little-endian, and neither is ever read through a cast.
#include <cstddef>
#include <cstdint>

namespace corvel {

inline uint32_t ReadBe24(const uint8_t* p) {
    return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | uint32_t(p[2]);
}
inline uint32_t ReadBe32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint16_t ReadLe16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

inline void WriteBe24(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 16);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v);
}
inline void WriteBe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
inline void WriteLe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline void WriteLe16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

// UTF-16LE character arrays: count is in characters, the buffer holds 2 * count bytes.
inline void ReadUtf16Le(const uint8_t* p, char16_t* dst, size_t count) {
    for (size_t i = 0; i < count; ++i)
        dst[i] = char16_t(ReadLe16(p + 2 * i));
}
inline void WriteUtf16Le(uint8_t* p, const char16_t* src, size_t count) {
    for (size_t i = 0; i < count; ++i)
        WriteLe16(p + 2 * i, uint16_t(src[i]));
}

} // namespace corvel
