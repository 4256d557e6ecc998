#pragma once
// Records for tests, in place of the store: the defaults of a never-saved store unless a test
// sets others.
#include "EngineServices.h"
#include "Records.h"

#include <atomic>
#include <mutex>

namespace corvel {

class CFakeVpnConfigSource : public CVpnConfigSource {
public:
    CFakeVpnConfigSource() {
        for (size_t i = 0; i < kVpnCount; ++i)
            m_records[i] = VPNCONFIG::Default(i);
    }
    // Result: not 0 makes every read fail with it.
    std::atomic<DWORD> Result{0};

    DWORD GetVpnConfig(uint8_t* target, uint8_t index) override {
        if (Result != 0)
            return Result;
        if (index >= kVpnCount)
            return ERROR_INVALID_PARAMETER;
        std::lock_guard<std::mutex> hold(m_lock);
        m_records[index].Write(target);
        return 0;
    }
    void Set(uint8_t index, const VPNCONFIG& record) {
        std::lock_guard<std::mutex> hold(m_lock);
        m_records[index] = record;
    }

private:
    std::mutex m_lock;
    VPNCONFIG m_records[kVpnCount];
};

} // namespace corvel
