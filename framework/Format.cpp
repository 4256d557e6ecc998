#include "Format.h"

#include "App.h"
#include "ResourceString.h"

#include <cstdarg>
#include <cwchar>
#include <vector>

namespace corvel {

std::wstring FormatW(const wchar_t* format, ...) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        va_list args;
        va_start(args, format);
        const int n = _vsnwprintf(buffer.data(), buffer.size(), format, args);
        va_end(args);
        if (n >= 0 && static_cast<size_t>(n) < buffer.size())
            return std::wstring(buffer.data(), static_cast<size_t>(n));
        if (buffer.size() >= (1u << 24))
            return {}; // a format that never fits: nothing rather than a cut text
        buffer.resize(n >= 0 ? static_cast<size_t>(n) + 1 : buffer.size() * 2);
    }
}

std::wstring FormatPercentArgs(const std::wstring& pattern, std::initializer_list<std::wstring> args) {
    std::wstring out;
    out.reserve(pattern.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        const wchar_t c = pattern[i];
        if (c == L'%' && i + 1 < pattern.size()) {
            const wchar_t next = pattern[i + 1];
            if (next >= L'1' && next <= L'9') {
                const size_t index = static_cast<size_t>(next - L'1');
                if (index < args.size())
                    out += *(args.begin() + index);
                ++i;
                continue;
            }
            if (next == L'%') {
                out += L"%%";
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

bool LoadResString(UINT id, std::wstring& text) {
    text = LoadResString(id);
    return !text.empty();
}

std::wstring LoadResString(UINT id) {
    return LoadResourceString(AfxGetResourceHandle(), id);
}

} // namespace corvel
