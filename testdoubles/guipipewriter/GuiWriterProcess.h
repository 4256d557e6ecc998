#pragma once
// Starts corvel-guiwriter (GuiPipeWriter.cpp) as a process of its own: the tests' stranger on
// the notification pipe.
#include "Handles.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace corvel::guiwriter {

// The hexadecimal form the program's command line takes.
std::wstring Hex(const std::vector<uint8_t>& bytes);

// Started with `arguments`; an empty handle when it could not be started.
UniqueHandle<> Start(const std::wstring& program, const std::wstring& arguments);
// Runs it to its end: its exit code, or 1460 when it had not ended after `timeoutMs` (then it is
// ended), or the error of its start.
DWORD Run(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs);

// A stranger at work in the background: silent holders that come back after each cut, or a
// flood. Start returns once it is at it (its first connections made).
class CStranger {
public:
    CStranger() = default;
    ~CStranger() { Stop(); }
    CStranger(const CStranger&) = delete;
    CStranger& operator=(const CStranger&) = delete;

    DWORD StartHolders(const std::wstring& program, int threads, DWORD timeoutMs);
    DWORD StartFlood(const std::wstring& program, unsigned count, const std::vector<uint8_t>& bytes,
                     DWORD timeoutMs);
    // Waits for a flood to end by itself: 0, or 1460 after `timeoutMs`.
    DWORD WaitForEnd(DWORD timeoutMs) const;
    // Tells holders to stop (a flood is ended) and waits for the process: its exit code.
    DWORD Stop();

private:
    DWORD Launch(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs);

    std::wstring m_stopName;
    std::wstring m_readyName;
    UniqueHandle<> m_stop;
    UniqueHandle<> m_ready;
    UniqueHandle<> m_process;
};

} // namespace corvel::guiwriter
