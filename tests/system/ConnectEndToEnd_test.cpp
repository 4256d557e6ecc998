// The user's road through the real programs: the shipped CORVELSVC.exe under Wine's service
// manager with the scripted rasapi32.dll beside it, and the real Corvel.exe with the shipped
// "language.csv" in its folder, driven from this process through its windows as a Japanese
// user's system runs it: connect connection 1 to state 1, disconnect it, then a RAS error 691
// shows the shipped text. A process that is not the service writes the same notifications to
// the notification pipe and changes nothing: no box, no label, no quit, no end of the dial.
#include "DataFileImages.h"
#include "DialogResource.h"
#include "E2eHarness.h"
#include "FakeRasScript.h"
#include "GuiWriterProcess.h"
#include "Handles.h"
#include "Protocol.h"
#include "Replies.h"
#include "Requests.h"
#include "UiTextWin.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace corvel {
namespace {

using namespace e2e;

constexpr DWORD kStartMs = 15000;
constexpr DWORD kStopMs = 30000;
constexpr DWORD kWindowMs = 60000; // the program's start-up loads 20 records through the service
constexpr DWORD kTextMs = 30000;

constexpr wchar_t kSettingsCaption[] = L"Corvel VPNクライアント 接続設定";
constexpr DWORD kStrangerMs = 30000;

// What a local attacker wrote to the tray program's pipe.
const std::vector<uint8_t> kForgedError691 = {0x44, 0, 0, 4, 0, 0, 0x02, 0xB3};
const std::vector<uint8_t> kForgedQuit = {0x41, 0, 0, 3, 0, 0, 1};
const std::vector<uint8_t> kForgedUp = {0x41, 0, 0, 3, 0, 1, 0};
const std::vector<uint8_t> kForgedDown = {0x41, 0, 0, 3, 0, 0, 0};

// A window's text read through its own thread (WM_GETTEXT reaches another process's window).
std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, WPARAM(std::size(text)), reinterpret_cast<LPARAM>(text),
                               SMTO_ABORTIFHUNG, 5000, &copied))
        return L"<no answer>";
    return std::wstring(text, size_t(copied));
}

using wintest::FindDialogWith;

HWND WaitForWindow(const std::function<HWND()>& found, DWORD timeoutMs = kWindowMs) {
    return wintest::WaitForWindow(found, timeoutMs);
}

bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs = kTextMs) {
    return WaitForWindow([&] { return done() ? HWND(1) : nullptr; }, timeoutMs) != nullptr;
}

// A click as the button itself makes it, handled in the program's own loop.
void Click(HWND dialog, int id) {
    ASSERT_TRUE(::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0));
}

class ConnectEndToEndTest : public ::testing::Test {
protected:
    ConnectEndToEndTest() : Folder(L"Connect-EndToEnd") {}

    void SetUp() override {
        ASSERT_EQ(::GetACP(), 932u) << "run with LC_ALL=ja_JP.UTF-8, as a Japanese system";
        ASSERT_EQ(0u, Folder.Create());
        ASSERT_EQ(0u, Folder.CopyIn(ToWindowsPath(CORVEL_E2E_SERVICE_EXE)));
        ASSERT_EQ(0u, Folder.CopyIn(ToWindowsPath(CORVEL_E2E_FAKERAS_DLL), L"rasapi32.dll"));
        ASSERT_EQ(0u, Folder.CopyIn(ToWindowsPath(CORVEL_E2E_GUI_EXE), L"Corvel.exe"));
        ASSERT_EQ(0u, Folder.CopyIn(ToWindowsPath(CORVEL_SHIPPED_LANGUAGE_CSV), L"language.csv"));
        ASSERT_EQ(0u, SetNativeRasOverride(L"CORVELSVC.exe"));
        std::vector<uint8_t> data = BuildPlainDataFile(kDataFileSize, MakeSampleContent(u"拠点 "));
        ASSERT_EQ(0u, CryptDataFile(data));
        ASSERT_EQ(0u, WriteWholeFile(Folder.File(L"corvel.dat"), data));
        WriteRasScript("outcome=connect\ncallbacks=3\ninterval_ms=100\n");
        ASSERT_EQ(0u, Service.InstallAndRun(kServiceName, Folder.File(L"CORVELSVC.exe"), kStartMs));
    }

    void TearDown() override {
        if (Gui) {
            if (::WaitForSingleObject(Gui.get(), 0) == WAIT_TIMEOUT)
                ::TerminateProcess(Gui.get(), 1);
            ::WaitForSingleObject(Gui.get(), 10000);
        }
        if (Service.Installed()) {
            EXPECT_EQ(0u, Service.Stop(kStopMs));
        }
    }

    void WriteRasScript(const std::string& script) {
        ASSERT_EQ(0u, ReplaceWholeFile(Folder.File(fakeras::kScriptFileName), script));
    }

    void StartGui() {
        const std::wstring program = Folder.File(L"Corvel.exe");
        std::wstring line = L"\"" + program + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(::CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                                     Folder.Path().c_str(), &si, &pi));
        ::CloseHandle(pi.hThread);
        Gui.reset(pi.hProcess);
        GuiId = pi.dwProcessId;
    }

    // The service's states of the 20 connections.
    std::vector<uint8_t> States() {
        std::vector<uint8_t> reply;
        if (CCommandClient().Transact(BuildVpnStatusRequest(), reply) != 0)
            return {};
        ReplyView view;
        if (ParseReply(reply.data(), reply.size(), CMD_VPN_STATUS, view) != 0 || view.PayloadLength != 20)
            return {};
        return std::vector<uint8_t>(view.Payload, view.Payload + 20);
    }
    bool ServiceState(size_t index, uint8_t state) {
        return WaitFor([&] {
            const std::vector<uint8_t> states = States();
            return states.size() == 20 && states[index] == state;
        });
    }

    HWND Dialog(int controlId, DWORD timeoutMs = kWindowMs) {
        return WaitForWindow([&] { return FindDialogWith(GuiId, controlId); }, timeoutMs);
    }
    bool Gone(int controlId) {
        return WaitFor([&] { return FindDialogWith(GuiId, controlId) == nullptr; });
    }
    bool TextBecomes(HWND window, const std::wstring& text) {
        return WaitFor([&] { return TextOf(window) == text; });
    }

    // Connect pressed on the page, the credentials confirmed as stored.
    void PressConnectAndConfirm(HWND page) {
        ASSERT_EQ(TextOf(::GetDlgItem(page, IDC_CONN_BUTTON)), L"接続");
        Click(page, IDC_CONN_BUTTON);
        const HWND credentials = Dialog(IDC_XAUTH_SAVE);
        ASSERT_NE(credentials, nullptr);
        EXPECT_EQ(TextOf(::GetDlgItem(credentials, IDC_XAUTH_NAME)), L"拠点 1");
        EXPECT_EQ(TextOf(::GetDlgItem(credentials, IDC_XAUTH_USER)), L"user1");
        Click(credentials, IDOK);
    }

    // The settings dialog the program opens at its start, and its connection page.
    void OpenSettings(HWND& settings, HWND& page) {
        settings = WaitForWindow([&] { return ::FindWindowW(nullptr, kSettingsCaption); });
        ASSERT_NE(settings, nullptr)
            << "the settings dialog opens when the program starts without a connection";
        page = WaitForWindow([&] {
            for (HWND child = ::FindWindowExW(settings, nullptr, L"#32770", nullptr); child;
                 child = ::FindWindowExW(settings, child, L"#32770", nullptr)) {
                if (::GetDlgItem(child, IDC_CONN_BUTTON))
                    return child;
            }
            return HWND(nullptr);
        });
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(TextBecomes(::GetDlgItem(page, 1041), L"01：拠点 1"));
    }

    // A stranger's write of `bytes`, ended once the program has let the connection go.
    static void Forge(const std::vector<uint8_t>& bytes) {
        EXPECT_NE(DWORD(ERROR_TIMEOUT), guiwriter::Run(ToWindowsPath(CORVEL_GUIWRITER_EXE),
                                                       L"write " + guiwriter::Hex(bytes), kStrangerMs));
    }

    // Every message posted to the program's windows before this call has been handled, and so
    // have the ones those handlers posted in turn (`rounds` deep): the marker is a highlight
    // of the page's button, posted to the same thread and so handled after them.
    bool Drain(HWND page, int rounds = 3) {
        const HWND button = ::GetDlgItem(page, IDC_CONN_BUTTON);
        for (int i = 0; i < 2 * rounds; ++i) {
            const bool pushed = i % 2 == 0;
            if (!::PostMessageW(button, BM_SETSTATE, pushed, 0))
                return false;
            if (!WaitFor([&] {
                    DWORD_PTR state = 0;
                    return ::SendMessageTimeoutW(button, BM_GETSTATE, 0, 0, SMTO_ABORTIFHUNG, 5000, &state) &&
                           ((state & BST_PUSHED) != 0) == pushed;
                }))
                return false;
        }
        return true;
    }

    bool Running() const { return ::WaitForSingleObject(Gui.get(), 0) == WAIT_TIMEOUT; }

    CTestFolder Folder;
    CServiceControl Service;
    UniqueHandle<> Gui;
    DWORD GuiId = 0;
};

TEST_F(ConnectEndToEndTest, AUserConnectsDisconnectsAndReadsTheShippedTextOfError691) {
    StartGui();
    HWND settings = nullptr, page = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenSettings(settings, page));
    const HWND label = ::GetDlgItem(page, 1072); // connection 1's state

    // Connect: credentials, progress, success; the service holds the connection up.
    PressConnectAndConfirm(page);
    const HWND connecting = Dialog(IDC_CONNECTING_PROGRESS);
    ASSERT_NE(connecting, nullptr);
    EXPECT_EQ(TextOf(connecting), L"VPN接続の状態");
    ASSERT_TRUE(TextBecomes(::GetDlgItem(connecting, IDC_CONNECTING_STATUS), L"接続に成功しました。"));
    ASSERT_TRUE(ServiceState(0, 1));
    ASSERT_TRUE(TextBecomes(label, L"接続中"));
    ASSERT_TRUE(Gone(IDC_CONNECTING_PROGRESS)) << "closes itself after the success text";
    ASSERT_TRUE(TextBecomes(::GetDlgItem(page, IDC_CONN_BUTTON), L"切断"));

    // Disconnect: the disconnecting dialog comes and goes; the service has ended it.
    Click(page, IDC_CONN_BUTTON);
    ASSERT_TRUE(ServiceState(0, 0));
    ASSERT_TRUE(TextBecomes(label, L"未接続"));
    ASSERT_TRUE(TextBecomes(::GetDlgItem(page, IDC_CONN_BUTTON), L"接続"));
    ASSERT_TRUE(Gone(IDC_DISCONNECTING_MESSAGE));

    // RAS refuses the credentials: the box shows the shipped text for 691.
    WriteRasScript("outcome=error\nerror=691\ncallbacks=2\ninterval_ms=100\n");
    PressConnectAndConfirm(page);
    const HWND box = Dialog(IDC_RASERR_MESSAGE);
    ASSERT_NE(box, nullptr);
    const std::wstring expected =
        ReadRasErrorTexts(ToWindowsPath(CORVEL_SHIPPED_LANGUAGE_CSV), 691, 932).Message;
    ASSERT_EQ(expected.substr(expected.size() - 5), L"(691)");
    EXPECT_EQ(TextOf(::GetDlgItem(box, IDC_RASERR_MESSAGE)), expected);
    EXPECT_EQ(TextOf(box), L"Corvel");
    Click(box, IDC_RASERR_CLOSE);
    ASSERT_TRUE(Gone(IDC_RASERR_MESSAGE));
    ASSERT_TRUE(Gone(IDC_CONNECTING_PROGRESS));
    EXPECT_EQ(TextOf(label), L"未接続");
    EXPECT_EQ(TextOf(::GetDlgItem(page, IDC_CONN_BUTTON)), L"接続");
    ASSERT_TRUE(ServiceState(0, 0));

    // The settings dialog's 終了: nothing is connected, so the program ends.
    ASSERT_TRUE(::PostMessageW(settings, WM_COMMAND, MAKEWPARAM(32801, 0), 0));
    EXPECT_EQ(::WaitForSingleObject(Gui.get(), kWindowMs), WAIT_OBJECT_0);
}

TEST_F(ConnectEndToEndTest, AStrangerNeitherQuitsTheProgramNorShowsAConnectionButTheServiceDoes) {
    StartGui();
    HWND settings = nullptr, page = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenSettings(settings, page));
    const HWND label = ::GetDlgItem(page, 1072);
    ASSERT_TRUE(TextBecomes(label, L"未接続"));

    Forge(kForgedQuit);
    Forge(kForgedUp);
    ASSERT_TRUE(Drain(page)) << "the page is gone: the program quit";
    EXPECT_TRUE(Running());
    EXPECT_TRUE(::IsWindow(settings));
    EXPECT_EQ(TextOf(label), L"未接続");
    EXPECT_EQ(TextOf(::GetDlgItem(page, IDC_CONN_BUTTON)), L"接続");

    // The same bytes through the service.
    ASSERT_EQ(0u, CCommandClient().Send(kForgedUp));
    ASSERT_TRUE(TextBecomes(label, L"接続中"));
    ASSERT_TRUE(TextBecomes(::GetDlgItem(page, IDC_CONN_BUTTON), L"切断"));
    ASSERT_EQ(0u, CCommandClient().Send(kForgedQuit));
    EXPECT_EQ(::WaitForSingleObject(Gui.get(), kWindowMs), WAIT_OBJECT_0);
}

TEST_F(ConnectEndToEndTest, AStrangersRasErrorNeitherShowsTheBoxNorEndsTheDialButTheServicesDoes) {
    // A dial of about 6 s: time for the stranger's write while it runs.
    WriteRasScript("outcome=connect\ncallbacks=30\ninterval_ms=200\n");
    StartGui();
    HWND settings = nullptr, page = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenSettings(settings, page));

    PressConnectAndConfirm(page);
    HWND connecting = Dialog(IDC_CONNECTING_PROGRESS);
    ASSERT_NE(connecting, nullptr);
    Forge(kForgedError691);
    ASSERT_EQ(States().at(0), 2) << "the dial ended before the stranger had written";
    ASSERT_TRUE(TextBecomes(::GetDlgItem(connecting, IDC_CONNECTING_STATUS), L"接続に成功しました。"));
    // Posted before the success, the stranger's error would have opened its box by now.
    EXPECT_EQ(FindDialogWith(GuiId, IDC_RASERR_MESSAGE), nullptr) << "the RAS-error box opened";
    ASSERT_TRUE(ServiceState(0, 1)) << "the dial was ended";
    ASSERT_TRUE(Gone(IDC_CONNECTING_PROGRESS));
    Click(page, IDC_CONN_BUTTON);
    ASSERT_TRUE(ServiceState(0, 0));
    ASSERT_TRUE(TextBecomes(::GetDlgItem(page, IDC_CONN_BUTTON), L"接続"));
    ASSERT_TRUE(Gone(IDC_DISCONNECTING_MESSAGE));

    // The same bytes through the service, during the next dial: the box, and the dial ends.
    PressConnectAndConfirm(page);
    connecting = Dialog(IDC_CONNECTING_PROGRESS);
    ASSERT_NE(connecting, nullptr);
    ASSERT_TRUE(ServiceState(0, 2));
    ASSERT_EQ(0u, CCommandClient().Send(kForgedError691));
    const HWND box = Dialog(IDC_RASERR_MESSAGE);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(::GetDlgItem(box, IDC_RASERR_MESSAGE)),
              ReadRasErrorTexts(ToWindowsPath(CORVEL_SHIPPED_LANGUAGE_CSV), 691, 932).Message);
    Click(box, IDC_RASERR_CLOSE);
    ASSERT_TRUE(Gone(IDC_RASERR_MESSAGE));
    ASSERT_TRUE(Gone(IDC_CONNECTING_PROGRESS));
    ASSERT_TRUE(ServiceState(0, 0));
}

TEST_F(ConnectEndToEndTest, AStrangersFloodDelaysNoStateOfTheService) {
    StartGui();
    HWND settings = nullptr, page = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenSettings(settings, page));
    const HWND label = ::GetDlgItem(page, 1072);
    ASSERT_TRUE(TextBecomes(label, L"未接続"));
    // The milliseconds from the service's request to the label's text.
    auto shownAfter = [&](const std::vector<uint8_t>& request, const wchar_t* text) {
        const double since = NowMs();
        if (CCommandClient().Send(request) != 0 || !WaitFor([&] { return TextOf(label) == text; }, kWindowMs))
            return -1.0;
        return NowMs() - since;
    };
    const double unflooded = shownAfter(kForgedUp, L"接続中");
    ASSERT_GE(unflooded, 0.0);
    ASSERT_GE(shownAfter(kForgedDown, L"未接続"), 0.0);

    const ULONGLONG floodStart = ::GetTickCount64();
    ASSERT_EQ(0u, guiwriter::Run(ToWindowsPath(CORVEL_GUIWRITER_EXE),
                                 L"flood 2000 " + guiwriter::Hex(kForgedDown) + L" -", 300000));
    const ULONGLONG floodMs = ::GetTickCount64() - floodStart;
    const double flooded = shownAfter(kForgedUp, L"接続中");
    std::printf(
        "a flood of 2000 in %llu ms: the service's next state shown after %.0f ms (%.0f ms unflooded)\n",
        floodMs, flooded, unflooded);
    ASSERT_GE(flooded, 0.0);
    // Under Wine the program itself takes from 50 to 900 ms to show a state, flood or not; the
    // flood may add no more than a second to that (a queue of its messages added minutes).
    EXPECT_LT(flooded, unflooded + 1000.0);
    ASSERT_EQ(0u, CCommandClient().Send(kForgedQuit));
    EXPECT_EQ(::WaitForSingleObject(Gui.get(), kWindowMs), WAIT_OBJECT_0);
}

} // namespace
} // namespace corvel
