#include "PipeSecurity.h"

#include "Handles.h"

#include <iterator>
#include <memory>

namespace corvel {

namespace {

struct SidDeleter {
    void operator()(void* sid) const { ::FreeSid(sid); }
};

} // namespace

DWORD CPipeSecurity::GetOwnerSid() {
    return ReadTokenSid(TokenOwner, m_owner, m_ownerSid);
}

DWORD CPipeSecurity::BuildAccessEntryList(PSID owner, PSID local) {
    // Order matters: the owner's grant comes first, so LOCAL's deny (the owner is a LOCAL
    // user too) does not take instance creation from the owner.
    const PipeAccessEntry entries[] = {
        {true, owner, GENERIC_ALL},
        {false, local, FILE_CREATE_PIPE_INSTANCE},
        {true, local, GENERIC_READ | GENERIC_WRITE},
    };
    return m_descriptor.Build(entries, std::size(entries));
}

DWORD CPipeSecurity::BuildSecurityDescriptor() {
    DWORD result = GetOwnerSid();
    if (result != 0)
        return result;
    SID_IDENTIFIER_AUTHORITY localAuthority = SECURITY_LOCAL_SID_AUTHORITY;
    PSID localSid = nullptr;
    if (!::AllocateAndInitializeSid(&localAuthority, 1, SECURITY_LOCAL_RID, 0, 0, 0, 0, 0, 0, 0, &localSid))
        return LastErrorOr1359();
    std::unique_ptr<void, SidDeleter> local(localSid);
    return BuildAccessEntryList(OwnerSid(), local.get());
}

DWORD CPipeSecurity::Build() {
    // Never a pipe with the default security: Attributes stays null unless all of it was built.
    return BuildSecurityDescriptor();
}

} // namespace corvel
