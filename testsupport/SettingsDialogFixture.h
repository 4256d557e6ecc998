#pragma once
// The settings dialog's window tests: the service as they need it (it keeps the 20 records,
// stores saves, answers loads, and imports from and exports to a "file" of its own; the frame's
// other requests are answered as in the frame's tests) and the fixture that opens the dialog
// as the tray does and reaches its controls.
#include "MainFrameTestFixture.h"
#include "SettingsDialogDriver.h"

#include "ConnectionPageLogic.h"
#include "DlgVpnConnect.h"
#include "FileDialog.h"
#include "Menu.h"
#include "UiTextWin.h"

#include "CommandData.h"
#include "FixedString.h"
#include "Handles.h"
#include "Replies.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace corvel {
namespace testfixture {

using namespace settingstest;
using wintest::PumpUntil;

// Record k as the service holds it at first: an address, a key, credentials, and fields the
// pages have no control for (which must come back unchanged).
inline VPNCONFIG SampleRecord(size_t k, const std::u16string& prefix = u"Office ") {
    VPNCONFIG r = VPNCONFIG::Default(k);
    std::u16string name = prefix;
    for (char c : std::to_string(k + 1))
        name.push_back(char16_t(c));
    CopyToFixed(r.Name, name);
    CopyToFixed(r.PreSharedKey, u"key");
    const uint8_t address[4] = {10, 0, 0, uint8_t(k + 1)};
    r.SetServerAddress(address);
    r.AuthProtocol = uint8_t(k % 4);
    r.NoDestinationNetwork = 0;
    const uint8_t network[4] = {192, 168, uint8_t(k), 0};
    std::copy(network, network + 4, r.DestinationNetwork);
    r.DestinationPrefixLength = 24;
    r.DnsAddressSet = 1;
    const uint8_t dns[4] = {10, 0, 0, 53};
    std::copy(dns, dns + 4, r.DnsAddress);
    r.Reserved = 0x5A5A0000u + uint32_t(k);
    CopyToFixed(r.UserName, u"user");
    CopyToFixed(r.Password, u"pass");
    return r;
}

// The service as the settings dialog needs it: it keeps the 20 records, stores saves, answers
// loads, and imports from and exports to a "file" of its own; the frame's other requests are
// answered as in the frame's tests, with the States scripted there.
struct SettingsService : ServiceScript {
    SettingsService() {
        for (size_t k = 0; k < kVpnCount; ++k) {
            Records[k] = SampleRecord(k);
            FileRecords[k] = SampleRecord(k, u"Imported ");
        }
        // Connection 3 names its server by host name.
        Records[2].ServerIsIpAddress = 0;
        Records[2].SetServerHostName(u"vpn3.example.jp");
    }

    FakeExchange Answer(const FakeRequest& request) {
        const std::vector<uint8_t>& f = request.Frame;
        if (f.size() < 4)
            return FakeExchange::Hangup();
        const uint8_t* data = f.data() + 4;
        const uint32_t dataLength = uint32_t(f.size() - 4);
        std::function<void(uint8_t)> before;
        std::function<void(uint8_t, uint8_t)> beforeOther;
        {
            std::lock_guard<std::mutex> guard(Lock);
            before = BeforeSaveReply;
            beforeOther = BeforeReply;
        }
        // Outside the lock: they may wait for the test.
        if (f[0] == CMD_SAVE_CONFIG && before)
            before(dataLength > 0 ? data[0] : 0);
        if ((f[0] == CMD_LOAD_CONFIG || f[0] == CMD_IMPORT || f[0] == CMD_EXPORT) && beforeOther)
            beforeOther(f[0], f.empty() ? 0 : f.back()); // the load's item, the file's selection
        switch (f[0]) {
        case CMD_LOAD_CONFIG:
        case CMD_SAVE_CONFIG:
        case CMD_IMPORT:
        case CMD_EXPORT:
            break;
        default:
            return ServiceScript::Answer(request); // the start-up's and the states
        }
        std::lock_guard<std::mutex> guard(Lock);
        switch (f[0]) {
        case CMD_LOAD_CONFIG: {
            LoadConfigRequest load;
            if (ParseLoadConfig(data, dataLength, load) != 0)
                return FakeExchange::Hangup();
            std::vector<uint8_t> payload;
            if (load.ConfigItemId < kVpnCount) {
                const std::vector<uint8_t> image = Records[load.ConfigItemId].ToBytes();
                BuildLoadConfigPayload(load.ConfigItemId, image.data(), uint32_t(image.size()), payload);
            } else {
                BuildLoadConfigPayload(load.ConfigItemId, nullptr, 0, payload);
            }
            return FakeExchange::Answer(FakeReply(CMD_LOAD_CONFIG, 0, payload));
        }
        case CMD_SAVE_CONFIG: {
            SaveConfigRequest save;
            if (ParseSaveConfig(data, dataLength, save) != 0 || save.ConfigItemId >= kVpnCount)
                return FakeExchange::Hangup();
            const auto refused = SaveResults.find(save.ConfigItemId);
            const uint32_t result = refused == SaveResults.end() ? 0 : refused->second;
            if (result == 0)
                Records[save.ConfigItemId] = VPNCONFIG::FromBytes(save.Item.data());
            return FakeExchange::Answer(FakeReply(CMD_SAVE_CONFIG, result, {save.ConfigItemId}));
        }
        case CMD_IMPORT:
        case CMD_EXPORT: {
            FileRequest file;
            if (ParseFileRequest(data, dataLength, file) != 0)
                return FakeExchange::Hangup();
            const bool import = f[0] == CMD_IMPORT;
            if (import && ImportUnanswered)
                return FakeExchange::Hangup();
            const uint32_t result = import ? ImportResult : ExportResult;
            if (result == 0) {
                for (size_t k = 0; k < kVpnCount; ++k) {
                    if (file.Selection != 0 && file.Selection != k + 1)
                        continue;
                    if (import)
                        Records[k] = FileRecords[k];
                    else
                        FileRecords[k] = Records[k];
                }
            }
            return FakeExchange::Answer(FakeReply(f[0], result));
        }
        default:
            return FakeExchange::Hangup();
        }
    }

    VPNCONFIG Record(size_t k) {
        std::lock_guard<std::mutex> guard(Lock);
        return Records[k];
    }

    // Under Lock: the fake's threads answer, the test reads and scripts.
    std::array<VPNCONFIG, kVpnCount> Records;
    std::array<VPNCONFIG, kVpnCount> FileRecords; // what a settings file holds
    std::map<uint8_t, uint32_t> SaveResults;      // refused items and their ResultCode
    uint32_t ImportResult = 0;
    uint32_t ExportResult = 0;
    bool ImportUnanswered = false; // an import is closed without a reply
    // Runs on the fake's thread before a save of the item is answered.
    std::function<void(uint8_t item)> BeforeSaveReply;
    // The same before a load (its item), an import or an export (its selection) is answered.
    std::function<void(uint8_t command, uint8_t itemOrSelection)> BeforeReply;
};

// While it lives, the fake service holds back the reply to one request (by command and item or
// selection) until Release; Held tells that the request has arrived. The hold's state is shared
// with the fake's thread, which may still be inside it when the test ends.
class CHeldReply {
public:
    CHeldReply(SettingsService& svc, uint8_t command, uint8_t itemOrSelection)
        : m_svc(svc), m_state(std::make_shared<State>()) {
        const std::shared_ptr<State> state = m_state;
        const auto hold = [state, command, itemOrSelection](uint8_t seenCommand, uint8_t seen) {
            if (seenCommand != command || seen != itemOrSelection || state->Held.exchange(true))
                return;
            ::WaitForSingleObject(state->Release.get(), 20000);
        };
        std::lock_guard<std::mutex> guard(m_svc.Lock);
        if (command == CMD_SAVE_CONFIG)
            m_svc.BeforeSaveReply = [hold](uint8_t item) { hold(CMD_SAVE_CONFIG, item); };
        else
            m_svc.BeforeReply = hold;
    }
    ~CHeldReply() {
        Release();
        std::lock_guard<std::mutex> guard(m_svc.Lock);
        m_svc.BeforeSaveReply = nullptr;
        m_svc.BeforeReply = nullptr;
    }
    CHeldReply(const CHeldReply&) = delete;
    CHeldReply& operator=(const CHeldReply&) = delete;

    bool Held() const { return m_state->Held.load(); }
    void Release() { ::SetEvent(m_state->Release.get()); }

private:
    struct State {
        UniqueEvent Release{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        std::atomic<bool> Held{false};
    };
    SettingsService& m_svc;
    std::shared_ptr<State> m_state;
};

inline bool Checked(HWND button) {
    return ::SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

class SettingsDialogTest : public MainFrameTest {
public: // the cases of a table reach the controls through the fixture
    void SetUp() override {
        MainFrameTest::SetUp();
        Settings = SettingsWindow::Real;
        Responder = [this](const FakeRequest& r) { return Svc.Answer(r); };
    }

    void TearDown() override {
        SetFileDialogHook(nullptr);
        // A dialog left open by a test that failed half-way (no main window owns it here).
        for (HWND dialog : wintest::OpenDialogs(IDD_VPN_CONNECT))
            ::DestroyWindow(dialog);
        MainFrameTest::TearDown();
        if (!LanguageFile.empty())
            ::DeleteFileW(LanguageFile.c_str());
    }

    // The frame started, then the dialog opened as a double click on the tray icon opens it:
    // the states and the 20 records loaded first. `asMainWindow`: the frame is the program's
    // main window, as in the program (the test resets it), so that it owns the dialog.
    void Open(bool asMainWindow = false) {
        StartService();
        CreateFrame();
        if (asMainWindow)
            g_app.m_pMainWnd = Frame.get();
        ASSERT_TRUE(
            PumpUntil([&] { return Service->Requests().size() >= 23 && Frame->GetLoadIndex() == 0; }));
        Frame->SendMessage(WM_TRAY_NOTIFY, 0, WM_LBUTTONDBLCLK);
        ASSERT_TRUE(PumpUntil([&] { return Frame->GetSettingsDialog() != nullptr; }));
        ASSERT_NE(Dialog(), nullptr);
        const HWND dialog = Dlg();
        ASSERT_TRUE(
            PumpUntil([&] { return ::IsWindowVisible(dialog) && !::GetUpdateRect(dialog, nullptr, FALSE); }));
    }

    CDlgVpnConnect* Dialog() const { return dynamic_cast<CDlgVpnConnect*>(Frame->GetSettingsDialog()); }
    HWND Dlg() const { return Dialog()->m_hWnd; }
    bool Closed() const { return wintest::OpenDialogs(IDD_VPN_CONNECT).empty(); }
    HWND Tab() const { return ::GetDlgItem(Dlg(), IDC_SETTINGS_TAB); }
    HWND Save() const { return ::GetDlgItem(Dlg(), IDC_SETTINGS_SAVE); }
    bool SaveEnabled() const { return ::IsWindowEnabled(Save()) != FALSE; }
    HWND Page(int vpnIndex) const { return Dialog()->GetSettingPage(vpnIndex).m_hWnd; }
    HWND Control(int vpnIndex, int id) const { return ::GetDlgItem(Page(vpnIndex), id); }
    HWND ConnPage() const { return Dialog()->GetConnectionPage().m_hWnd; }
    HWND ConnControl(int id) const { return ::GetDlgItem(ConnPage(), id); }
    HWND Radio(int vpnIndex) const { return ConnControl(int(kConnectionControls[size_t(vpnIndex)].Radio)); }
    HWND StateLabel(int vpnIndex) const {
        return ConnControl(int(kConnectionControls[size_t(vpnIndex)].StateLabel));
    }
    HMENU Submenu(int filePosition) const {
        return GetPopup(GetPopup(::GetMenu(Dlg()), 0), filePosition).get();
    }

    // A click on tab `index`, as the user makes it; returns once its page has been painted.
    void SelectTab(int index) { ASSERT_TRUE(settingstest::SelectTab(*Dialog(), index)) << index; }

    // A menu item of the dialog, chosen.
    void Command(UINT id) { ChooseMenuItem(*Dialog(), id); }

    // Menu 32800 or 32801 chosen, or (0) the close box clicked.
    void CloseBy(UINT item) {
        if (item == 0)
            ::PostMessageW(Dlg(), WM_CLOSE, 0, 0);
        else
            Command(item);
    }

    void ClickSave() { settingstest::ClickSave(*Dialog()); }

    std::vector<FakeRequest> RequestsOf(uint8_t command, size_t from = 0) const {
        std::vector<FakeRequest> found;
        const std::vector<FakeRequest> all = Service->Requests();
        for (size_t i = from; i < all.size(); ++i) {
            if (!all[i].Frame.empty() && all[i].Frame[0] == command)
                found.push_back(all[i]);
        }
        return found;
    }

    // Pumps until `count` saves from `from` on have been answered and BusyFlag::Settings is clear.
    bool WaitForSaves(size_t count, size_t from) {
        return PumpUntil([&] {
            return RequestsOf(CMD_SAVE_CONFIG, from).size() >= count && !Frame->IsBusy(BusyFlag::Settings);
        });
    }

    VPNCONFIG FrameRecord(unsigned k) const { return Frame->GetConfigRecords().Record(k); }

    // "language.csv" next to the test program, which the frame and the windows read.
    void WriteLanguageFile(const std::string& content) {
        std::wstring path;
        ASSERT_EQ(BuildLanguagePath(path), 0u);
        LanguageFile = path;
        std::ofstream file(path.c_str(), std::ios::binary);
        file << content;
    }

    SettingsService Svc;
    std::wstring LanguageFile;
};

} // namespace testfixture
} // namespace corvel
