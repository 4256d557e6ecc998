#pragma once
// The main frame of the tray program in a test process under Wine with a display, against the
// fake service on the command pipe: the fixture of the frame's tests and of the
// settings dialog's. The test program defines `corvel::g_app`, its application object
// (InitInstance never runs).
#include "CorvelApp.h"
#include "MainFrame.h"
#include "StartupFailureFile.h"

#include "DialogResource.h"
#include "DlgVpnInit.h"
#include "FakeService.h"
#include "MessageBox.h"
#include "NotificationServer.h"
#include "Protocol.h"
#include "Records.h"
#include "UiText.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <array>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace corvel {

extern CCorvelApp g_app;

namespace testfixture {

// The service as the frame sees it: states, records, and the answer to a disconnect.
struct ServiceScript {
    std::mutex Lock;
    std::array<uint8_t, 20> States{};
    uint32_t DisconnectResult = 0;
    bool DisconnectSilent = false;
    int WrongRecordAt = -1; // the load request with this index is answered with the next record once

    FakeExchange Answer(const FakeRequest& request) {
        std::lock_guard<std::mutex> guard(Lock);
        const std::vector<uint8_t>& f = request.Frame;
        if (f.empty())
            return FakeExchange::Hangup();
        switch (f[0]) {
        case CMD_ERR_RESTART_CHK:
            return FakeExchange::Answer(FakeReply(CMD_ERR_RESTART_CHK, 0));
        case CMD_VPN_STATUS:
            return FakeExchange::Answer(FakeReply(CMD_VPN_STATUS, 0, {States.begin(), States.end()}));
        case CMD_LOAD_CONFIG: {
            uint8_t item = f.size() > 4 ? f[4] : 0;
            if (item == PROBE_ITEM)
                return FakeExchange::Answer(FakeReply(CMD_LOAD_CONFIG, 0, {item, 0, 0, 0, 0}));
            if (item == WrongRecordAt) {
                WrongRecordAt = -1;
                ++item;
            }
            std::vector<uint8_t> payload(5 + VPNCONFIG::kSize, uint8_t(0xA0 + item));
            payload[0] = item;
            payload[1] = 0;
            payload[2] = 0;
            payload[3] = uint8_t(VPNCONFIG::kSize >> 8);
            payload[4] = uint8_t(VPNCONFIG::kSize & 0xFF);
            return FakeExchange::Answer(FakeReply(CMD_LOAD_CONFIG, 0, payload));
        }
        case CMD_DISCONNECT:
            if (DisconnectSilent)
                return FakeExchange::Hangup();
            return FakeExchange::Answer(
                FakeReply(CMD_DISCONNECT, DisconnectResult, {f.size() > 4 ? f[4] : uint8_t(0)}));
        default:
            return FakeExchange::Hangup();
        }
    }
};

// Stands in for the settings dialog, which does not exist yet: a self-owned modeless window
// that tells the frame when it is gone and can stay open when asked to close (as the real one
// does while it asks whether to save).
class CSettingsStandIn : public CModelessDialog {
public:
    CSettingsStandIn() : CModelessDialog(IDD_VPN_DISCONNECTING) {}
    bool StayOpen = false;

protected:
    void OnCancel() override {
        if (!StayOpen)
            CModelessDialog::OnCancel();
    }
    void PostNcDestroy() override {
        GetMainFrameServices().ClearSettingsOpen();
        CModelessDialog::PostNcDestroy();
    }
};

// What the frame opens as its settings dialog in a test.
enum class SettingsWindow {
    None,    // nothing: SettingsOpen goes back to 0 at once
    StandIn, // CSettingsStandIn
    Real,    // the settings dialog itself
};

// Counts the settings dialog openings and opens what the test asks for.
class CTestFrame : public CMainFrame {
public:
    CTestFrame(CNotificationServer& notifications, SettingsWindow settings)
        : CMainFrame(notifications), m_settings(settings) {}
    int SettingsOpenings = 0;
    int ActiveIndex = -1;
    CSettingsStandIn* Settings = nullptr; // the stand-in, while IsSettingsOpen()

protected:
    CModelessDialog* OpenSettingsDialog(bool hasActive, uint8_t activeIndex) override {
        ++SettingsOpenings;
        ActiveIndex = hasActive ? activeIndex : -1;
        switch (m_settings) {
        case SettingsWindow::None:
            return nullptr;
        case SettingsWindow::Real:
            return CMainFrame::OpenSettingsDialog(hasActive, activeIndex);
        case SettingsWindow::StandIn:
            break;
        }
        Settings = new CSettingsStandIn();
        if (!Settings->Create())
            Settings = nullptr;
        return Settings;
    }

private:
    SettingsWindow m_settings;
};

inline std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> b) {
    return b;
}

class MainFrameTest : public testing::Test {
protected:
    void SetUp() override {
        PrmPath = BuildDataPath();
        ::SHCreateDirectoryExW(nullptr, PrmPath.substr(0, PrmPath.rfind(L'\\')).c_str(), nullptr);
        ::DeleteFileW(PrmPath.c_str());
        g_app.m_cmdLine.clear();
    }
    void TearDown() override {
        Frame.reset();
        if (Service)
            Service->Stop();
        Notifications.StopNotificationServer();
        ::DeleteFileW(PrmPath.c_str());
    }

    void StartService() {
        Service = std::make_unique<CFakeService>(
            [this](const FakeRequest& r) { return Responder ? Responder(r) : Script.Answer(r); }, 4);
        ASSERT_EQ(Service->Start(), 0u);
    }

    // Creates the frame; its creation runs the whole start-up, in which OnWaitDialog (when
    // set) runs from inside the wait dialog's loop once it has opened.
    void CreateFrame() {
        Frame = std::make_unique<CTestFrame>(Notifications, Settings);
        CDialogRecorder dialogs;
        dialogs.OnDialog = [this](CDialog& dialog) {
            auto* wait = dynamic_cast<CDlgVpnInit*>(&dialog);
            if (wait && OnWaitDialog)
                wintest::PostStep([this, wait] { OnWaitDialog(*wait); });
        };
        ASSERT_TRUE(Frame->LoadFrame(IDR_MAINFRAME));
    }

    // The 22 start-up requests (after the probe) answered.
    void WaitForStartupRequests(size_t before = 1) {
        // Pumped: the pipe thread hands each reply over with SendMessageW.
        ASSERT_TRUE(wintest::PumpUntil([&] { return Service->Requests().size() >= before + 22; }));
        ASSERT_TRUE(wintest::PumpUntil([&] { return Frame->GetLoadIndex() == 0 && Records() == 20; }));
    }

    size_t Records() const {
        size_t n = 0;
        for (size_t i = 0; i < 20; ++i)
            n += Frame->GetConfigRecords().Bytes()[i * VPNCONFIG::kSize] == uint8_t(0xA0 + i);
        return n;
    }

    bool Gone() const { return Frame->m_hWnd == nullptr; }
    void Quit() { Frame->PostMessage(WM_COMMAND, ID_APP_QUIT); }

    void WritePrm(const char* text) {
        std::ofstream out(PrmPath.c_str(), std::ios::binary);
        out << text;
    }
    std::string ReadPrm() const {
        std::ifstream in(PrmPath.c_str(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // One notification, as the service forwards it.
    static void Notify(std::vector<uint8_t> bytes) { ASSERT_EQ(SendGuiNotification(bytes), 0u); }

    static size_t BoxesWith(const CMessageBoxRecorder& boxes, unsigned id) {
        size_t n = 0;
        for (const MessageBoxCall& c : boxes.Calls)
            n += c.Text == BuiltinUiText(id);
        return n;
    }

    std::wstring PrmPath;
    CNotificationServer Notifications;
    SettingsWindow Settings = SettingsWindow::None;
    std::function<void(CDlgVpnInit&)> OnWaitDialog;
    ServiceScript Script;
    FakeResponder Responder; // when set, answers in place of Script
    std::unique_ptr<CFakeService> Service;
    std::unique_ptr<CTestFrame> Frame;
};

} // namespace testfixture
} // namespace corvel
