// The settings dialog's reply handling as the service's frames drive it: a script of starts,
// replies (any bytes), missing replies and posts the thread refuses. Whatever arrives, no byte
// outside the records is touched and the actions stay within what the dialog can do.
#include "Records.h"
#include "SettingsClose.h"
#include "SettingsRequests.h"

#include <cstdlib>
#include <vector>

using namespace corvel;

namespace {

void Check(const CSettingsActions& a, const CSettingsRequests& requests) {
    if (a.StoredRecord < -1 || a.StoredRecord >= int(kVpnCount))
        std::abort();
    if (a.MessageTextId != 0 && a.MessageTextId != kTextSettingsLoadFailed &&
        a.MessageTextId != kTextSettingsSaveFailed)
        std::abort();
    if (a.ClearBusy && !requests.Idle())
        std::abort();
    if (a.DisableSave && !a.RefreshView)
        std::abort();
}

} // namespace

// Script: each step is an opcode byte. 0: a reply whose length (2 bytes, big-endian) and bytes
// follow; 1: no reply; 2: save; 3: import; 4: export; 5: a close (the next byte: with edits,
// and the answer) whose save is the next one; 6: the thread refuses (or, again, takes) posts.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static const std::vector<uint8_t> defaults = [] {
        std::vector<uint8_t> images(kVpnCount * VPNCONFIG::kSize);
        for (size_t k = 0; k < kVpnCount; ++k)
            VPNCONFIG::Default(k).Write(images.data() + k * VPNCONFIG::kSize);
        return images;
    }();
    std::vector<uint8_t> records = defaults;
    bool refuse = false;
    CSettingsRequests requests(records.data(), [&](const RequestFrame&) { return !refuse; });
    CSettingsCloseLogic close;
    bool saveForClose = false;
    constexpr int kMaxStarts = 4;
    int starts = 0;
    size_t pos = 0;
    while (pos < size) {
        const uint8_t op = bytes[pos++] % 7;
        CSettingsActions actions;
        switch (op) {
        case 0: {
            if (size - pos < 2)
                return 0;
            size_t length = (size_t(bytes[pos]) << 8) | bytes[pos + 1];
            pos += 2;
            if (length > size - pos)
                length = size - pos;
            // The pipe thread hands over 4 + DataLength bytes; a shorter read never arrives.
            std::vector<uint8_t> frame(bytes + pos, bytes + pos + length);
            pos += length;
            if (frame.size() < 4)
                actions = requests.OnReply(0, nullptr);
            else
                actions = requests.OnReply(uint32_t(frame.size() - 4), frame.data());
            break;
        }
        case 1:
            actions = requests.OnReply(0, nullptr);
            break;
        // A few operations are enough to overlap them; more would only grow the queue.
        case 2:
            if (starts++ < kMaxStarts)
                actions = requests.StartSave(saveForClose);
            break;
        case 3:
            // All 20, or one connection (the next byte).
            if (starts++ < kMaxStarts)
                actions = requests.StartImport(L"C:\\in.bin", pos < size ? bytes[pos++] % 21 : 0);
            break;
        case 4:
            if (starts++ < kMaxStarts)
                actions = requests.StartExport(L"C:\\out.bin", 20);
            break;
        case 5:
            if (pos < size) {
                const uint8_t how = bytes[pos++];
                CCloseStep step = close.OnClose((how & 1) != 0);
                if (step.AskSave)
                    step = close.OnAnswer((how & 2) != 0);
                saveForClose = step.StartSave;
                if (step.StartSave)
                    close.OnSaveStarted(true);
            }
            break;
        case 6:
            refuse = !refuse;
            break;
        }
        Check(actions, requests);
        if (op == 2)
            saveForClose = false;
        close.OnRequestsEnded(actions.CloseEvent);
    }
    return 0;
}
