#pragma once
// What a benchmark prints goes to the console and, with --figures <file>, to that file too, which
// tools/wine-tests.sh shows after a passing run (CTest hides a passing test's output).
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace corvel::bench {

class CReport {
public:
    ~CReport() { Close(); }

    // A path from "/" is one of the build tree (drive Z: maps "/"). False when it cannot be
    // written: the figures then go to the console only.
    bool OpenFile(std::wstring path) {
        if (!path.empty() && path[0] == L'/') {
            path = L"Z:" + path;
            std::replace(path.begin(), path.end(), L'/', L'\\');
        }
        m_file = _wfopen(path.c_str(), L"w");
        return m_file != nullptr;
    }
    void Close() {
        std::fflush(stdout);
        if (m_file)
            std::fclose(m_file);
        m_file = nullptr;
    }

    void Out(const char* format, ...) {
        va_list args;
        va_start(args, format);
        std::vprintf(format, args);
        va_end(args);
        if (m_file) {
            va_start(args, format);
            std::vfprintf(m_file, format, args);
            va_end(args);
        }
    }

private:
    FILE* m_file = nullptr;
};

} // namespace corvel::bench
