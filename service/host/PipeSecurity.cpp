#include "PipeSecurity.h"

#include "Handles.h"

#include <memory>
#include <new>

namespace corvel {

namespace {

struct SidDeleter {
    void operator()(void* sid) const { ::FreeSid(sid); }
};

template <class T> DWORD Allocate(std::vector<uint8_t>& block, size_t size) {
    try {
        // vector storage comes from operator new: aligned for any of these structures.
        block.assign(size < sizeof(T) ? sizeof(T) : size, 0);
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    }
    return 0;
}

DWORD AceBytes(PSID sid) {
    return DWORD(sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + ::GetLengthSid(sid));
}

} // namespace

PSID CPipeSecurity::OwnerSid() const {
    return m_owner.empty() ? nullptr : reinterpret_cast<const TOKEN_OWNER*>(m_owner.data())->Owner;
}

DWORD CPipeSecurity::GetOwnerSid() {
    UniqueHandle<> token;
    if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) {
        const DWORD e = LastErrorOr1359();
        if (e != ERROR_NO_TOKEN)
            return e;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
            return LastErrorOr1359();
    }
    DWORD size = 0;
    if (::GetTokenInformation(token.get(), TokenOwner, nullptr, 0, &size))
        return ERROR_INTERNAL_ERROR;
    const DWORD e = LastErrorOr1359();
    if (e != ERROR_INSUFFICIENT_BUFFER)
        return e;
    const DWORD allocated = Allocate<TOKEN_OWNER>(m_owner, size);
    if (allocated != 0)
        return allocated;
    if (!::GetTokenInformation(token.get(), TokenOwner, m_owner.data(), DWORD(m_owner.size()), &size))
        return LastErrorOr1359();
    return 0;
}

DWORD CPipeSecurity::BuildAccessEntryList(PSID owner, PSID local) {
    const DWORD size = DWORD(sizeof(ACL)) + AceBytes(owner) + 2 * AceBytes(local);
    const DWORD allocated = Allocate<ACL>(m_dacl, size);
    if (allocated != 0)
        return allocated;
    PACL dacl = reinterpret_cast<PACL>(m_dacl.data());
    // Order matters: the owner's grant comes first, so LOCAL's deny (the owner is a LOCAL
    // user too) does not take instance creation from the owner.
    if (!::InitializeAcl(dacl, size, ACL_REVISION) ||
        !::AddAccessAllowedAce(dacl, ACL_REVISION, GENERIC_ALL, owner) ||
        !::AddAccessDeniedAce(dacl, ACL_REVISION, FILE_CREATE_PIPE_INSTANCE, local) ||
        !::AddAccessAllowedAce(dacl, ACL_REVISION, GENERIC_READ | GENERIC_WRITE, local) ||
        !::SetSecurityDescriptorDacl(reinterpret_cast<PSECURITY_DESCRIPTOR>(m_descriptor.data()), TRUE, dacl,
                                     FALSE))
        return LastErrorOr1359();
    return 0;
}

DWORD CPipeSecurity::BuildSecurityDescriptor() {
    if (!::InitializeSecurityDescriptor(m_descriptor.data(), SECURITY_DESCRIPTOR_REVISION))
        return LastErrorOr1359();
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
    m_built = false;
    DWORD result = Allocate<SECURITY_DESCRIPTOR>(m_descriptor, SECURITY_DESCRIPTOR_MIN_LENGTH);
    if (result == 0)
        result = BuildSecurityDescriptor();
    if (result != 0)
        return result; // never a pipe with the default security
    m_attributes.nLength = sizeof m_attributes;
    m_attributes.lpSecurityDescriptor = m_descriptor.data();
    m_attributes.bInheritHandle = FALSE;
    m_built = true;
    return 0;
}

} // namespace corvel
