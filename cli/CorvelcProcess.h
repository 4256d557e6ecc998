#pragma once
// corvelc.exe as a process for the tests: started with CreateProcessW, its whole exit code
// read with GetExitCodeProcess (a Linux shell would show only its low 8 bits).
#include "Handles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace corvel::cli::test {

// corvelc.exe beside the running test program.
inline std::wstring CorvelcPath() {
    wchar_t self[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path(self, n);
    return path.substr(0, path.rfind(L'\\') + 1) + L"corvelc.exe";
}

class CCorvelcProcess {
public:
    // A word that is empty or holds a blank is quoted, so that each reaches argv as it stands;
    // the others are written bare (a wildcard then gets its chance of expansion). `folder`:
    // the working folder (empty: the test's own).
    explicit CCorvelcProcess(const std::vector<std::wstring>& words, const std::wstring& folder = {}) {
        const std::wstring program = CorvelcPath();
        std::wstring line = L"\"" + program + L"\"";
        for (const std::wstring& word : words) {
            const bool quote = word.empty() || word.find_first_of(L" \t") != std::wstring::npos;
            line += quote ? L" \"" + word + L"\"" : L" " + word;
        }
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        m_started = ::GetTickCount64();
        if (!::CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                              folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
            ADD_FAILURE() << "corvelc.exe did not start: " << ::GetLastError();
            return;
        }
        ::CloseHandle(pi.hThread);
        m_process.reset(pi.hProcess);
    }

    // The exit code once the process ended within `timeoutMs`; else it is ended, the test
    // fails, and 0xFFFFFFFF is returned.
    DWORD Wait(DWORD timeoutMs = 60000) {
        if (!m_process)
            return 0xFFFFFFFF;
        if (::WaitForSingleObject(m_process.get(), timeoutMs) != WAIT_OBJECT_0) {
            ::TerminateProcess(m_process.get(), 0xFFFFFFFF);
            ::WaitForSingleObject(m_process.get(), 5000);
            ADD_FAILURE() << "corvelc.exe ran longer than " << timeoutMs << " ms";
            return 0xFFFFFFFF;
        }
        m_elapsedMs = ::GetTickCount64() - m_started;
        DWORD code = 0xFFFFFFFF;
        ::GetExitCodeProcess(m_process.get(), &code);
        return code;
    }

    // From the start to the end that Wait saw.
    ULONGLONG ElapsedMs() const { return m_elapsedMs; }

private:
    UniqueHandle<> m_process;
    ULONGLONG m_started = 0;
    ULONGLONG m_elapsedMs = 0;
};

// One run to its end.
inline DWORD RunCorvelc(const std::vector<std::wstring>& words, DWORD timeoutMs = 60000) {
    return CCorvelcProcess(words).Wait(timeoutMs);
}

} // namespace corvel::cli::test
