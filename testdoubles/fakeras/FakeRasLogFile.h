#pragma once
// The fake's call log as a test reads it, while the fake may still be writing to it.
#include "FakeRasScript.h"

#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

namespace corvel::fakeras {

inline std::vector<FakeRasLogLine> ReadFakeRasLog(const std::wstring& path) {
    std::vector<FakeRasLogLine> lines;
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return lines;
    std::string text(64 * 1024, '\0');
    DWORD got = 0;
    ::ReadFile(f, &text[0], DWORD(text.size()), &got, nullptr);
    ::CloseHandle(f);
    text.resize(got);
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(FakeRasLogLine::Parse(line));
    return lines;
}

} // namespace corvel::fakeras
