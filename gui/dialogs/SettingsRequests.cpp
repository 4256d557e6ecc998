#include "SettingsRequests.h"

#include "ConfigItems.h"
#include "PipeReply.h"
#include "Protocol.h"
#include "Records.h"
#include "Replies.h"
#include "SettingValues.h"

#include <algorithm>
#include <utility>

namespace corvel {

namespace {

uint8_t CommandOf(SettingsRequestKind kind) {
    switch (kind) {
    case SettingsRequestKind::Load:
        return CMD_LOAD_CONFIG;
    case SettingsRequestKind::Save:
        return CMD_SAVE_CONFIG;
    case SettingsRequestKind::Import:
        return CMD_IMPORT;
    case SettingsRequestKind::Export:
        return CMD_EXPORT;
    }
    return 0;
}

// Only the end of an operation sets anything, and one call ends at most one operation.
void Merge(CSettingsActions& into, const CSettingsActions& from) {
    if (from.StoredRecord >= 0)
        into.StoredRecord = from.StoredRecord;
    if (from.MessageTextId != 0)
        into.MessageTextId = from.MessageTextId;
    into.RefreshView |= from.RefreshView;
    into.DisableSave |= from.DisableSave;
    if (from.CloseEvent != SettingsCloseEvent::None)
        into.CloseEvent = from.CloseEvent;
    into.ClearBusy |= from.ClearBusy;
    into.SaveBatchEnded |= from.SaveBatchEnded;
    into.SaveBatchSaved |= from.SaveBatchSaved;
}

} // namespace

CSettingsRequests::CSettingsRequests(uint8_t* records, Poster post)
    : m_records(records), m_post(std::move(post)) {}

bool CSettingsRequests::Post(const CPending& request, const RequestFrame& frame) {
    if (frame.empty() || !m_post)
        return false;
    // Queued before it is posted, so that even a reply delivered at once finds it.
    m_queue.push_back(request);
    if (m_post(frame))
        return true;
    m_queue.pop_back();
    return false;
}

void CSettingsRequests::EndOperation(CSettingsActions& actions) const {
    if (Idle())
        actions.ClearBusy = true;
}

void CSettingsRequests::OnEdited() {
    for (CBatch& batch : m_batches)
        batch.EditedAfter = true;
}

CSettingsActions CSettingsRequests::StartSave(bool forClose, bool reportEnd) {
    const uint32_t batch = m_nextBatch++;
    m_batches.push_back(CBatch{batch, int(kVpnCount), false, forClose, false});
    if (reportEnd)
        m_reportedBatch = batch;
    CSettingsActions actions;
    for (uint8_t k = 0; k < kVpnCount; ++k) {
        const CPending request{SettingsRequestKind::Save, k, batch};
        // The image as it is, every byte of it: the frame the service stores.
        const uint8_t* record = m_records + size_t(k) * VPNCONFIG::kSize;
        if (!Post(request, BuildSaveConfigItemRequest(k, record, uint32_t(VPNCONFIG::kSize))))
            Merge(actions, Resolve(request, false));
    }
    return actions;
}

CSettingsActions CSettingsRequests::StartImport(std::wstring_view path, uint8_t selection) {
    const CPending request{SettingsRequestKind::Import, selection};
    m_importSelection = selection;
    if (Post(request, BuildImportRequest(Utf16FromWide(path), selection)))
        return CSettingsActions();
    return Resolve(request, false);
}

CSettingsActions CSettingsRequests::StartExport(std::wstring_view path, uint8_t selection) {
    const CPending request{SettingsRequestKind::Export, selection};
    if (Post(request, BuildExportRequest(Utf16FromWide(path), selection)))
        return CSettingsActions();
    return Resolve(request, false);
}

CSettingsActions CSettingsRequests::OnReply(uint32_t dataLength, const uint8_t* frame) {
    if (m_queue.empty())
        return CSettingsActions();
    const CPending request = m_queue.front();
    m_queue.pop_front();

    bool ok = false;
    ReplyView reply;
    // A frame that is not this request's answer (another reply id, a head that disagrees with
    // its length) tells nothing about the request: it counts as no answer.
    if (ReadPipeReply(CommandOf(request.Kind), dataLength, frame, reply) &&
        reply.ResultCode == ResultCode::Success) {
        switch (request.Kind) {
        case SettingsRequestKind::Load:
            ok = StoreLoadReply(request.Item, reply.Payload, reply.PayloadLength);
            break;
        case SettingsRequestKind::Save: {
            uint8_t echo = 0;
            ok = ParseEchoReply(reply.Payload, reply.PayloadLength, echo) == 0 && echo == request.Item;
            break;
        }
        case SettingsRequestKind::Import:
        case SettingsRequestKind::Export:
            ok = true;
            break;
        }
    }
    return Resolve(request, ok);
}

bool CSettingsRequests::StoreLoadReply(uint8_t item, const uint8_t* payload, uint32_t payloadLength) {
    LoadConfigReply load;
    if (ParseLoadConfigReply(payload, payloadLength, load) != 0)
        return false;
    // The answer to another item (one above 19 included) is not the record asked for.
    if (load.ConfigItemId != item || !IsVpnConfigItem(item) || load.ItemLength != VPNCONFIG::kSize)
        return false;
    std::copy(load.Item, load.Item + VPNCONFIG::kSize, m_records + size_t(item) * VPNCONFIG::kSize);
    return true;
}

CSettingsActions CSettingsRequests::ContinueReload(uint8_t item, bool whole) {
    CPending request{SettingsRequestKind::Load, item};
    request.WholeReload = whole;
    if (Post(request, BuildLoadConfigRequest(item)))
        return CSettingsActions();
    return Resolve(request, false);
}

void CSettingsRequests::EndImport(CSettingsActions& actions) {
    m_importSelection = -1;
    EndOperation(actions);
}

CSettingsActions CSettingsRequests::Resolve(const CPending& request, bool ok) {
    CSettingsActions actions;
    switch (request.Kind) {
    case SettingsRequestKind::Import:
        if (ok) {
            m_reloadStored = false;
            // One connection: its record alone; the other pages keep their edits.
            if (!ReloadsAll(request.Item))
                return ContinueReload(uint8_t(request.Item - 1), false);
            return ContinueReload(0, true);
        }
        actions.MessageTextId = kTextSettingsLoadFailed;
        EndImport(actions);
        return actions;

    case SettingsRequestKind::Load:
        if (ok) {
            actions.StoredRecord = request.Item;
            m_reloadStored = true;
            if (request.WholeReload && request.Item + 1u < kVpnCount) {
                Merge(actions, ContinueReload(uint8_t(request.Item + 1), true));
                return actions;
            }
            // All 20 replaced: nothing is left to save. One: Save stays as it is.
            actions.RefreshView = true;
            actions.DisableSave = request.WholeReload;
            EndImport(actions);
            return actions;
        }
        // The reload stops; the records it replaced so far are shown, Save is left alone.
        actions.MessageTextId = kTextSettingsLoadFailed;
        actions.RefreshView = m_reloadStored;
        EndImport(actions);
        return actions;

    case SettingsRequestKind::Export:
        if (!ok) {
            actions.MessageTextId = kTextSettingsSaveFailed;
            actions.CloseEvent = SettingsCloseEvent::ExportFailed;
        }
        EndOperation(actions);
        return actions;

    case SettingsRequestKind::Save:
        return EndSaveItem(request.Batch, ok);
    }
    return actions;
}

CSettingsActions CSettingsRequests::EndSaveItem(uint32_t batch, bool ok) {
    CSettingsActions actions;
    const auto it =
        std::find_if(m_batches.begin(), m_batches.end(), [batch](const CBatch& b) { return b.Id == batch; });
    if (it == m_batches.end())
        return actions;
    if (!ok)
        it->Failed = true;
    if (--it->Unanswered > 0)
        return actions;
    const CBatch ended = *it;
    m_batches.erase(it);
    const bool allSaved = !ended.Failed;
    if (batch == m_reportedBatch) {
        m_reportedBatch = 0;
        actions.SaveBatchEnded = true;
        actions.SaveBatchSaved = allSaved;
    }

    if (!allSaved)
        actions.MessageTextId = kTextSettingsSaveFailed;
    // The records in memory hold the edits either way; Save goes off only when all of them
    // reached the service and no page was edited since they were taken.
    actions.RefreshView = true;
    actions.DisableSave = allSaved && !ended.EditedAfter;
    if (ended.ForClose)
        actions.CloseEvent =
            allSaved ? SettingsCloseEvent::CloseSaveDone : SettingsCloseEvent::CloseSaveFailed;
    EndOperation(actions);
    return actions;
}

} // namespace corvel
