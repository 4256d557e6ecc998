#pragma once
// The security of the command pipe: the token owner has full access; LOCAL (every
// user logged on at this machine) may read and write but may not create an instance of
// its own, so no other process can serve the name in the service's place.
#include "PipeSecurityDescriptor.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace corvel {

class CPipeSecurity {
public:
    CPipeSecurity() = default;
    CPipeSecurity(const CPipeSecurity&) = delete;
    CPipeSecurity& operator=(const CPipeSecurity&) = delete;

    // 0, or the error of the first step that failed; the attributes are usable only after 0.
    DWORD Build();
    SECURITY_ATTRIBUTES* Attributes() { return m_descriptor.Attributes(); }
    PSID OwnerSid() const { return m_ownerSid; }

private:
    DWORD BuildSecurityDescriptor();
    DWORD GetOwnerSid();
    DWORD BuildAccessEntryList(PSID owner, PSID local);

    CPipeSecurityDescriptor m_descriptor;
    std::vector<uint8_t> m_owner; // the token-owner information OwnerSid points into
    PSID m_ownerSid = nullptr;
};

} // namespace corvel
