#pragma once
// The security of "\\.\pipe\corvelservice": the token owner has full access; LOCAL (every
// user logged on at this machine) may read and write but may not create an instance of
// its own, so no other process can serve the name in the service's place.
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
    SECURITY_ATTRIBUTES* Attributes() { return m_built ? &m_attributes : nullptr; }
    PSID OwnerSid() const;

private:
    DWORD BuildSecurityDescriptor();
    DWORD GetOwnerSid();
    DWORD BuildAccessEntryList(PSID owner, PSID local);

    // The three blocks that the descriptor points into; they live as long as this object.
    std::vector<uint8_t> m_descriptor;
    std::vector<uint8_t> m_owner;
    std::vector<uint8_t> m_dacl;
    SECURITY_ATTRIBUTES m_attributes = {};
    bool m_built = false;
};

} // namespace corvel
