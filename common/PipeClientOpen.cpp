#include "PipeClientOpen.h"

namespace corvel {

static_assert(kPipeOpenFileNotFound == ERROR_FILE_NOT_FOUND && kPipeOpenSemTimeout == ERROR_SEM_TIMEOUT &&
                  kPipeOpenBusy == ERROR_PIPE_BUSY,
              "the decisions look at the Win32 codes");
static_assert(kPipeFileAttributeNormal == FILE_ATTRIBUTE_NORMAL &&
                  kPipeFileOverlapped == FILE_FLAG_OVERLAPPED &&
                  kPipeFileIdentificationOnly == (SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION),
              "the policies carry CreateFile's flags");
static_assert(kPipeDefaultWait == NMPWAIT_USE_DEFAULT_WAIT, "0 is the pipe's own wait");

namespace {

class CWin32PipeOpen : public CPipeOpenCalls {
public:
    CWin32PipeOpen(const wchar_t* name, DWORD access, DWORD flags, UniqueFile& pipe)
        : m_name(name), m_access(access), m_flags(flags), m_pipe(pipe) {}

    uint32_t Open() override {
        m_pipe.reset(::CreateFileW(m_name, m_access, 0, nullptr, OPEN_EXISTING, m_flags, nullptr));
        return m_pipe ? 0 : LastErrorOr1359();
    }
    uint32_t WaitForInstance(uint32_t timeoutMs) override {
        return ::WaitNamedPipeW(m_name, timeoutMs) ? 0 : LastErrorOr1359();
    }
    void Pause(uint32_t milliseconds) override { ::Sleep(milliseconds); }
    uint64_t NowMs() override { return ::GetTickCount64(); }

private:
    const wchar_t* m_name;
    DWORD m_access;
    DWORD m_flags;
    UniqueFile& m_pipe;
};

} // namespace

DWORD OpenPipeClient(const wchar_t* name, DWORD access, const PipeOpenPolicy& policy, UniqueFile& pipe) {
    CWin32PipeOpen calls(name, access, policy.FileFlags, pipe);
    const DWORD result = RunPipeOpen(policy, calls);
    if (result != 0) {
        pipe.reset();
        return result;
    }
    // Here, before anything is written, is where the server's process can be checked.
    return 0;
}

} // namespace corvel
