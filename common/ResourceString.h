// String-table entries of a module, for the framework (its resource handle) and the
// "language.csv" readers (their fallback texts) alike.
#pragma once

#include <windows.h>

#include <string>

namespace corvel {

// String `id` of `module` (nullptr: the program file); empty when there is no such entry.
inline std::wstring LoadResourceString(HINSTANCE module, UINT id) {
    // With a zero length LoadStringW hands out a pointer into the resource itself, which is not
    // terminated: the length it returns is all there is.
    const wchar_t* resource = nullptr;
    const int length = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&resource), 0);
    if (length <= 0 || !resource)
        return std::wstring();
    return std::wstring(resource, size_t(length));
}

} // namespace corvel
