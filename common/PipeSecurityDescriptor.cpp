#include "PipeSecurityDescriptor.h"

#include "Handles.h"

#include <new>

namespace corvel {

namespace {

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

DWORD CPipeSecurityDescriptor::Build(const PipeAccessEntry* entries, size_t count) {
    m_built = false;
    DWORD result = Allocate<SECURITY_DESCRIPTOR>(m_descriptor, SECURITY_DESCRIPTOR_MIN_LENGTH);
    if (result != 0)
        return result;
    if (!::InitializeSecurityDescriptor(m_descriptor.data(), SECURITY_DESCRIPTOR_REVISION))
        return LastErrorOr1359();
    DWORD size = DWORD(sizeof(ACL));
    for (size_t i = 0; i < count; ++i)
        size += AceBytes(entries[i].Sid);
    if ((result = Allocate<ACL>(m_dacl, size)) != 0)
        return result;
    PACL dacl = reinterpret_cast<PACL>(m_dacl.data());
    if (!::InitializeAcl(dacl, size, ACL_REVISION))
        return LastErrorOr1359();
    for (size_t i = 0; i < count; ++i) {
        const PipeAccessEntry& e = entries[i];
        const BOOL added = e.Allow ? ::AddAccessAllowedAce(dacl, ACL_REVISION, e.Mask, e.Sid)
                                   : ::AddAccessDeniedAce(dacl, ACL_REVISION, e.Mask, e.Sid);
        if (!added)
            return LastErrorOr1359();
    }
    if (!::SetSecurityDescriptorDacl(reinterpret_cast<PSECURITY_DESCRIPTOR>(m_descriptor.data()), TRUE, dacl,
                                     FALSE))
        return LastErrorOr1359();
    m_attributes.nLength = sizeof m_attributes;
    m_attributes.lpSecurityDescriptor = m_descriptor.data();
    m_attributes.bInheritHandle = FALSE;
    m_built = true;
    return 0;
}

DWORD ReadTokenSid(TOKEN_INFORMATION_CLASS kind, std::vector<uint8_t>& block, PSID& sid) {
    sid = nullptr;
    UniqueHandle<> token;
    if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) {
        const DWORD e = LastErrorOr1359();
        if (e != ERROR_NO_TOKEN)
            return e;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
            return LastErrorOr1359();
    }
    DWORD size = 0;
    if (::GetTokenInformation(token.get(), kind, nullptr, 0, &size))
        return ERROR_INTERNAL_ERROR;
    const DWORD e = LastErrorOr1359();
    if (e != ERROR_INSUFFICIENT_BUFFER)
        return e;
    const DWORD allocated =
        kind == TokenUser ? Allocate<TOKEN_USER>(block, size) : Allocate<TOKEN_OWNER>(block, size);
    if (allocated != 0)
        return allocated;
    if (!::GetTokenInformation(token.get(), kind, block.data(), DWORD(block.size()), &size))
        return LastErrorOr1359();
    sid = kind == TokenUser ? reinterpret_cast<TOKEN_USER*>(block.data())->User.Sid
                            : reinterpret_cast<TOKEN_OWNER*>(block.data())->Owner;
    return 0;
}

} // namespace corvel
