#pragma once
// corvelc.exe as a process for the tests: started with CreateProcessW, its whole exit code
// read with GetExitCodeProcess (a Linux shell would show only its low 8 bits).
#include "Handles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace corvel::cli::test {

// A program beside the running test program: the shipped corvelc.exe, or its build for a fake
// service in the test program (it takes the test program for CORVELSVC).
inline constexpr wchar_t kShippedCorvelc[] = L"corvelc.exe";
inline constexpr wchar_t kCorvelcForFakeService[] = L"corvelc-fakesvc.exe";
inline std::wstring CorvelcPath(const wchar_t* program = kShippedCorvelc) {
    wchar_t self[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path(self, n);
    return path.substr(0, path.rfind(L'\\') + 1) + program;
}

class CCorvelcProcess {
public:
    // A word that is empty or holds a blank is quoted, so that each reaches argv as it stands;
    // the others are written bare (a wildcard then gets its chance of expansion). `folder`:
    // the working folder (empty: the test's own).
    explicit CCorvelcProcess(const std::vector<std::wstring>& words, const std::wstring& folder = {},
                             const wchar_t* programName = kShippedCorvelc) {
        const std::wstring program = CorvelcPath(programName);
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
            ADD_FAILURE() << "corvelc did not start: " << ::GetLastError();
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
inline DWORD RunCorvelc(const std::vector<std::wstring>& words, DWORD timeoutMs = 60000,
                        const wchar_t* programName = kShippedCorvelc) {
    return CCorvelcProcess(words, {}, programName).Wait(timeoutMs);
}

} // namespace corvel::cli::test
