#pragma once
// The settings dialog's requests and what it makes of their replies. Every request carries a
// frame built when it is posted (from the records, the path and the selection as they are
// then), so nothing reads the dialog on the pipe thread. The dialog's pipe thread performs them
// in posting order and answers each with exactly one WM_PIPE_REPLY, so every reply belongs to
// the oldest request still waiting: the queue here pairs them, whatever the reply says.
//
// A request that gets no usable answer (no frame, a frame that is not the answer to it, or one
// that could not be posted at all) fails as a refusal would. A save batch shows at most one box,
// at its end, so no reply of the batch arrives while its box is open and BusyFlag::Settings stays set
// until the batch's last item is answered.
#include "Requests.h"
#include "SettingsClose.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string_view>

namespace corvel {

inline constexpr unsigned kTextSettingsLoadFailed = 213;
inline constexpr unsigned kTextSettingsSaveFailed = 214;

// What the dialog does after a start or a reply, in the order of the fields. When a box is to
// be shown, the reply handler posts itself a message and does the fields after it once the box
// is closed (never a box while the pipe thread waits).
struct CSettingsActions {
    int StoredRecord = -1;      // record k was replaced: SetSettingRecord with it on page k
    unsigned MessageTextId = 0; // 0, or the UiText of one MB_OK box (213 or 214)
    bool RefreshView = false;   // RefreshSettingsView: tab titles, radio labels, menu labels
    bool DisableSave = false;   // with RefreshView: disable Save (false: leave Save as it is)
    // For the close or quit under way when the actions are carried out (OnRequestsEnded).
    SettingsCloseEvent CloseEvent = SettingsCloseEvent::None;
    bool ClearBusy = false; // an operation ended and nothing is in flight: BusyFlag::Settings cleared,
                            // unless the close goes on or its question is open
    // The end of the save batch last started with StartSave(..., true), told to whoever waits
    // for it (the connection page's press): SaveBatchSaved when every item was answered 0.
    bool SaveBatchEnded = false;
    bool SaveBatchSaved = false;
};

enum class SettingsRequestKind { Load, Save, Import, Export };

class CSettingsRequests {
public:
    // Posts one frame to the dialog's pipe thread (WM_PIPE_REQUEST with a copied frame); false
    // when the thread takes no more requests, so that no reply will come for it.
    using Poster = std::function<bool(const RequestFrame& frame)>;

    // `records`: the main frame's 20 record images (1126 bytes each), borrowed; load replies
    // are stored into it and save frames are built from it.
    CSettingsRequests(uint8_t* records, Poster post);

    // Posts the 20 save requests (items 0 to 19, in order) from the records as they are now,
    // after the pages have written them. `forClose`: a close or quit waits for this batch; only
    // such a batch tells it of its end (CloseSaveDone, CloseSaveFailed). `reportEnd`: the
    // batch's end sets SaveBatchEnded (an earlier batch started so is then no longer reported).
    CSettingsActions StartSave(bool forClose, bool reportEnd = false);
    // CMD_IMPORT of `path` with `selection` (0 all, n connection n). When it succeeds, the
    // records it replaced are loaded again: all 20 one after the other, or record n - 1 alone.
    CSettingsActions StartImport(std::wstring_view path, uint8_t selection);
    // CMD_EXPORT of `path` with `selection`.
    CSettingsActions StartExport(std::wstring_view path, uint8_t selection);

    // WM_PIPE_REPLY: `dataLength` and `frame` as the pipe thread sends them (frame of 4 +
    // dataLength bytes, valid during the call; null when the request failed). A reply with no
    // request waiting is dropped.
    CSettingsActions OnReply(uint32_t dataLength, const uint8_t* frame);

    // A page was edited: the batches in flight do not hold that edit, so their end leaves Save
    // enabled.
    void OnEdited();

    // No request of the dialog is waiting for its reply. BusyFlag::Settings is cleared only then
    // (a cancelled file dialog or a refused save must not clear it under a batch in flight).
    bool Idle() const { return m_queue.empty(); }
    // An import, or the reload after it, is under way; it replaces record `vpnIndex` (0 to 19)
    // when it ends well.
    bool ImportUnderWay() const { return m_importSelection >= 0; }
    bool ImportReplaces(size_t vpnIndex) const {
        return m_importSelection >= 0 &&
               (ReloadsAll(m_importSelection) || size_t(m_importSelection) == vpnIndex + 1);
    }

private:
    struct CPending {
        SettingsRequestKind Kind;
        uint8_t Item;            // load and save: the record; import and export: the selection
        uint32_t Batch = 0;      // save: its batch
        bool WholeReload = true; // load: one of the 20 loads after an import of all
    };
    struct CBatch {
        uint32_t Id;
        int Unanswered;
        bool Failed;
        bool ForClose;
        bool EditedAfter; // a page was edited after the batch took the records
    };

    // An import with this selection replaces all 20 records (anything but 1 to 20).
    static bool ReloadsAll(int selection) { return selection < 1 || selection > int(kVpnCount); }

    bool Post(const CPending& request, const RequestFrame& frame);
    // The end of one request: answered (ok), or refused, unanswered, unreadable or not posted.
    CSettingsActions Resolve(const CPending& request, bool ok);
    CSettingsActions ContinueReload(uint8_t item, bool whole);
    CSettingsActions EndSaveItem(uint32_t batch, bool ok);
    bool StoreLoadReply(uint8_t item, const uint8_t* payload, uint32_t payloadLength);
    // The import and its reload are over, whichever way.
    void EndImport(CSettingsActions& actions);
    void EndOperation(CSettingsActions& actions) const;

    uint8_t* const m_records;
    const Poster m_post;
    std::deque<CPending> m_queue;
    std::deque<CBatch> m_batches;
    uint32_t m_nextBatch = 1;
    uint32_t m_reportedBatch = 0; // the batch whose end is told; 0 none
    int m_importSelection = -1;   // the selection of the import under way, -1 when none
    bool m_reloadStored = false;  // the reload under way has replaced a record
};

} // namespace corvel
