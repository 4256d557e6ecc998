#include "GuiWriterProcess.h"

#include <atomic>

namespace corvel::guiwriter {

std::wstring Hex(const std::vector<uint8_t>& bytes) {
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring text;
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

UniqueHandle<> Start(const std::wstring& program, const std::wstring& arguments) {
    std::wstring line = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return {};
    ::CloseHandle(pi.hThread);
    return UniqueHandle<>(pi.hProcess);
}

namespace {

DWORD EndAndReap(HANDLE process, DWORD timeoutMs) {
    if (::WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(process, ERROR_TIMEOUT);
        ::WaitForSingleObject(process, 5000);
        return ERROR_TIMEOUT;
    }
    DWORD code = 0;
    return ::GetExitCodeProcess(process, &code) ? code : LastErrorOr1359();
}

} // namespace

DWORD Run(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs) {
    const UniqueHandle<> process = Start(program, arguments);
    if (!process)
        return LastErrorOr1359();
    return EndAndReap(process.get(), timeoutMs);
}

DWORD CStranger::Launch(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs) {
    m_process = Start(program, arguments);
    if (!m_process)
        return LastErrorOr1359();
    const HANDLE started[2] = {m_ready.get(), m_process.get()};
    const DWORD w = ::WaitForMultipleObjects(2, started, FALSE, timeoutMs);
    if (w == WAIT_OBJECT_0)
        return 0;
    Stop();
    return w == WAIT_OBJECT_0 + 1 ? DWORD(ERROR_PROCESS_ABORTED) : DWORD(ERROR_TIMEOUT);
}

DWORD CStranger::StartHolders(const std::wstring& program, int threads, DWORD timeoutMs) {
    static std::atomic<unsigned> serial{0};
    const std::wstring base =
        L"corvel-guiwriter-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
    m_stopName = base + L"-stop";
    m_readyName = base + L"-ready";
    m_stop.reset(::CreateEventW(nullptr, TRUE, FALSE, m_stopName.c_str()));
    m_ready.reset(::CreateEventW(nullptr, TRUE, FALSE, m_readyName.c_str()));
    if (!m_stop || !m_ready)
        return LastErrorOr1359();
    return Launch(program, L"hold " + std::to_wstring(threads) + L" " + m_stopName + L" " + m_readyName,
                  timeoutMs);
}

DWORD CStranger::StartFlood(const std::wstring& program, unsigned count, const std::vector<uint8_t>& bytes,
                            DWORD timeoutMs) {
    static std::atomic<unsigned> serial{0};
    m_readyName = L"corvel-guiflood-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                  std::to_wstring(++serial) + L"-ready";
    m_ready.reset(::CreateEventW(nullptr, TRUE, FALSE, m_readyName.c_str()));
    if (!m_ready)
        return LastErrorOr1359();
    return Launch(program, L"flood " + std::to_wstring(count) + L" " + Hex(bytes) + L" " + m_readyName,
                  timeoutMs);
}

DWORD CStranger::WaitForEnd(DWORD timeoutMs) const {
    if (!m_process)
        return 0;
    return ::WaitForSingleObject(m_process.get(), timeoutMs) == WAIT_OBJECT_0 ? 0 : DWORD(ERROR_TIMEOUT);
}

DWORD CStranger::Stop() {
    if (!m_process)
        return 0;
    if (m_stop)
        ::SetEvent(m_stop.get());
    const DWORD code = EndAndReap(m_process.get(), m_stop ? 30000 : 0);
    m_process.reset();
    return code;
}

} // namespace corvel::guiwriter
