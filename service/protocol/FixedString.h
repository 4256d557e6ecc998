#pragma once
// UTF-16 strings in fixed character arrays that end with a terminator inside the array.
// Every copy is bounded on both sides: a source needs no terminator of its own, and the
// target always gets one, so a record's string never runs past its field.
#include <cstddef>
#include <string>
#include <string_view>

namespace corvel {

// Characters of arr up to its first terminator, at most capacity.
inline size_t FixedLength(const char16_t* arr, size_t capacity) {
    size_t n = 0;
    while (n < capacity && arr[n] != u'\0')
        ++n;
    return n;
}

// True when arr holds a terminator inside its capacity.
inline bool IsTerminated(const char16_t* arr, size_t capacity) {
    return FixedLength(arr, capacity) < capacity;
}

// The text of a fixed field (up to its terminator or its end).
inline std::u16string FixedToString(const char16_t* arr, size_t capacity) {
    return std::u16string(arr, FixedLength(arr, capacity));
}

// Copies src up to its first terminator (or its end) into dst and terminates it; a text
// longer than capacity - 1 characters is cut. Characters of dst behind the terminator keep
// what they held. Returns false when the text was cut (or capacity is 0).
inline bool CopyToFixed(char16_t* dst, size_t capacity, const char16_t* src, size_t srcChars) {
    if (capacity == 0)
        return false;
    size_t n = FixedLength(src, srcChars);
    bool fits = n < capacity;
    if (!fits)
        n = capacity - 1;
    for (size_t i = 0; i < n; ++i)
        dst[i] = src[i];
    dst[n] = u'\0';
    return fits;
}

inline bool CopyToFixed(char16_t* dst, size_t capacity, std::u16string_view src) {
    return CopyToFixed(dst, capacity, src.data(), src.size());
}

template <size_t N> bool CopyToFixed(char16_t (&dst)[N], std::u16string_view src) {
    return CopyToFixed(dst, N, src.data(), src.size());
}
template <size_t N, size_t M> bool CopyToFixed(char16_t (&dst)[N], const char16_t (&src)[M]) {
    return CopyToFixed(dst, N, src, M);
}
template <size_t N> std::u16string FixedToString(const char16_t (&arr)[N]) {
    return FixedToString(arr, N);
}
template <size_t N> bool IsTerminated(const char16_t (&arr)[N]) {
    return IsTerminated(arr, N);
}

// Puts a terminator into the last character when the array holds none, so that a record
// read from untrusted bytes can be used as C strings. Returns true when it changed arr.
template <size_t N> bool ForceTerminator(char16_t (&arr)[N]) {
    static_assert(N > 0, "empty field");
    if (IsTerminated(arr, N))
        return false;
    arr[N - 1] = u'\0';
    return true;
}

} // namespace corvel
