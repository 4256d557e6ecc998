#pragma once
// The security of a named pipe that only the listed accounts may reach: a descriptor whose DACL
// holds exactly the given entries, in their order (no owner, no group: the creator's own). The
// service's command pipe and the tray program's notification pipe build theirs with it.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvel {

struct PipeAccessEntry {
    bool Allow; // false: an access-denied entry
    PSID Sid;
    ACCESS_MASK Mask;
};

class CPipeSecurityDescriptor {
public:
    CPipeSecurityDescriptor() = default;
    CPipeSecurityDescriptor(const CPipeSecurityDescriptor&) = delete;
    CPipeSecurityDescriptor& operator=(const CPipeSecurityDescriptor&) = delete;

    // 0, or the error of the first step that failed (14 when a block cannot be had).
    DWORD Build(const PipeAccessEntry* entries, size_t count);
    // Usable only after Build returned 0; null before.
    SECURITY_ATTRIBUTES* Attributes() { return m_built ? &m_attributes : nullptr; }

private:
    // The blocks that the descriptor points into; they live as long as this object.
    std::vector<uint8_t> m_descriptor;
    std::vector<uint8_t> m_dacl;
    SECURITY_ATTRIBUTES m_attributes = {};
    bool m_built = false;
};

// Reads `kind` (TokenOwner or TokenUser) of the calling thread's token, or of the process's when
// the thread impersonates no one, into `block`: 0 with `sid` pointing into it, or the error.
DWORD ReadTokenSid(TOKEN_INFORMATION_CLASS kind, std::vector<uint8_t>& block, PSID& sid);

} // namespace corvel
