// The settings dialog as the main frame opens it, in this process under Wine with a display,
// against a fake service that keeps 20 records: opening, edits, saving with its failures,
// closing and quitting, the connection page's states, import and export, the texts of
// "language.csv", and labels that show their whole text.
#include "MainFrameTestFixture.h"
#include "SettingsDialogDriver.h"
#include "SettingsDialogFixture.h"

#include "CommandData.h"
#include "ConnectionPageLogic.h"
#include "DlgVpnConnect.h"
#include "FileDialog.h"
#include "FixedString.h"
#include "Menu.h"
#include "SettingValues.h"
#include "UiTextWin.h"

#include <commctrl.h>
#include <gmock/gmock.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>

namespace corvel {

CCorvelApp g_app; // the test program's application object; InitInstance never runs here

namespace {

using namespace settingstest;
using namespace testfixture;
using wintest::PumpFor;
using wintest::PumpPosted;
using wintest::PumpUntil;

constexpr UINT kImportAll = 32810;
constexpr UINT kExportAll = 32831;
constexpr UINT kCloseItem = 32800;
constexpr UINT kQuitItem = 32801;

// ---------------------------------------------------------------------------------------------
// Opening

TEST_F(SettingsDialogTest, OpensWithTheTwentyRecordsOnTheirPagesAndNothingToSave) {
    CopyToFixed(Svc.Records[4].Name, u"R&D");
    CopyToFixed(Svc.Records[5].Name, std::u16string(32, u'W')); // wider than any tab
    Open();
    CDlgVpnConnect& dialog = *Dialog();

    EXPECT_EQ(WindowText(Dlg()), L"Corvel VPNクライアント 接続設定");
    EXPECT_EQ(WindowText(Save()), L"保存");
    EXPECT_FALSE(SaveEnabled()) << "loading the records is no edit, the address controls' included";
    EXPECT_FALSE(dialog.IsModified());
    EXPECT_EQ(dialog.GetCloseState(), 0);
    EXPECT_FALSE(Frame->IsBusy(BusyFlag::Settings));

    ASSERT_EQ(TabCtrl_GetItemCount(Tab()), 21);
    EXPECT_EQ(TabCtrl_GetCurSel(Tab()), 0);
    EXPECT_EQ(TabTitle(Tab(), 0), L"接続制御");
    EXPECT_EQ(TabTitle(Tab(), 1), L"01：Office 1");
    EXPECT_EQ(TabTitle(Tab(), 5), L"05：R&&D") << "shown with one &";
    const std::wstring cut = TabTitle(Tab(), 6);
    EXPECT_EQ(cut.substr(0, 4), L"06：W");
    EXPECT_EQ(cut.substr(cut.size() - 3), L"...");
    EXPECT_LT(cut.size(), 4u + 32u);
    EXPECT_EQ(TabTitle(Tab(), 20), L"20：Office 20");
    RECT first{}, second{};
    ASSERT_TRUE(TabCtrl_GetItemRect(Tab(), 0, &first));
    ASSERT_TRUE(TabCtrl_GetItemRect(Tab(), 1, &second));
    EXPECT_EQ(first.right - first.left, 100);
    EXPECT_EQ(second.right - second.left, 100);
    EXPECT_GT(first.bottom - first.top, 0);

    // Tab 0: the connection page, labelled with the names, connection 1 selected, none up.
    EXPECT_TRUE(::IsWindowVisible(ConnPage()));
    EXPECT_EQ(WindowText(Radio(0)), L"01：Office 1");
    EXPECT_EQ(WindowText(Radio(4)), L"05：R&&D");
    EXPECT_EQ(WindowText(Radio(19)), L"20：Office 20");
    EXPECT_TRUE(Checked(Radio(0)));
    EXPECT_EQ(WindowText(ConnControl(IDC_CONN_BUTTON)), L"接続");
    for (int k = 0; k < 20; ++k) {
        EXPECT_TRUE(::IsWindowEnabled(Radio(k))) << k;
        EXPECT_EQ(WindowText(StateLabel(k)), L"未接続") << k;
        EXPECT_FALSE(::IsWindowVisible(Page(k))) << k;
    }

    // Each setting page holds its record: address mode with the address control, host mode
    // with the host edit, the label of its mode.
    EXPECT_EQ(WindowText(Control(0, IDC_SET_NAME)), L"Office 1");
    EXPECT_EQ(WindowText(Control(0, IDC_SET_PSK)), L"key");
    EXPECT_EQ(WindowText(Control(0, IDC_SET_PSK_AGAIN)), L"key");
    EXPECT_TRUE(Checked(Control(0, IDC_SET_SERVER_ADDRESS_MODE)));
    DWORD address = 0;
    ::SendMessageW(Control(0, IDC_SET_SERVER_ADDRESS), IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
    EXPECT_EQ(address, 0x0A000001u);
    EXPECT_TRUE(::GetWindowLongPtrW(Control(0, IDC_SET_SERVER_ADDRESS), GWL_STYLE) & WS_VISIBLE);
    EXPECT_FALSE(::GetWindowLongPtrW(Control(0, IDC_SET_SERVER_HOST), GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(WindowText(Control(0, IDC_SET_SERVER_LABEL)), L"IPアドレス ：");
    EXPECT_TRUE(Checked(Control(2, IDC_SET_SERVER_HOST_MODE)));
    EXPECT_EQ(WindowText(Control(2, IDC_SET_SERVER_HOST)), L"vpn3.example.jp");
    EXPECT_FALSE(::GetWindowLongPtrW(Control(2, IDC_SET_SERVER_ADDRESS), GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(WindowText(Control(2, IDC_SET_SERVER_LABEL)), L"ホスト名 ：");
    // The four methods, added in code, and each record's choice.
    EXPECT_EQ(::SendMessageW(Control(0, IDC_SET_AUTH), CB_GETCOUNT, 0, 0), 4);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(::SendMessageW(Control(k, IDC_SET_AUTH), CB_GETCURSEL, 0, 0), k);
    EXPECT_TRUE(Checked(Control(0, IDC_SET_USE_VPN_GATEWAY)));
    EXPECT_EQ(WindowText(Control(0, IDC_SET_USER)), L"user");
    EXPECT_EQ(WindowText(Control(0, IDC_SET_PASSWORD)), L"pass");
    // Every edit takes no more than its field holds.
    const struct {
        int Id;
        LRESULT Limit;
    } limits[] = {{IDC_SET_NAME, 32},         {IDC_SET_PSK, 128}, {IDC_SET_PSK_AGAIN, 128},
                  {IDC_SET_SERVER_HOST, 120}, {IDC_SET_USER, 64}, {IDC_SET_PASSWORD, 64}};
    for (const auto& l : limits)
        EXPECT_EQ(::SendMessageW(Control(7, l.Id), EM_GETLIMITTEXT, 0, 0), l.Limit) << l.Id;

    // The import and export submenus: "一括", then the 20 connections, escaped, never cut.
    for (int position : {0, 1}) {
        const HMENU submenu = Submenu(position);
        ASSERT_NE(submenu, nullptr);
        EXPECT_EQ(::GetMenuItemCount(submenu), 21);
        EXPECT_EQ(GetMenuItemText(submenu, 0, true), L"一括");
        EXPECT_EQ(GetMenuItemText(submenu, 1, true), L"01：Office 1");
        EXPECT_EQ(GetMenuItemText(submenu, 5, true), L"05：R&&D");
        EXPECT_EQ(GetMenuItemText(submenu, 6, true), L"06：" + std::wstring(32, L'W'));
        EXPECT_EQ(::GetMenuItemID(submenu, 20), UINT(position == 0 ? 32830 : 32851));
    }
    EXPECT_TRUE(Frame->IsSettingsOpen());
    EXPECT_EQ(Frame->SettingsOpenings, 1);
}

TEST_F(SettingsDialogTest, OpensWithConnectionSevenConnectingAndFollowsItGoingDown) {
    Svc.States[6] = 2;
    g_app.m_cmdLine = L"vpn7 /hide"; // the service started the program for connection 7
    Open();
    ASSERT_TRUE(Frame->GetLaunchedWithVpn());
    EXPECT_TRUE(Checked(Radio(6)));
    EXPECT_EQ(ConnControl(1079), Radio(6));
    EXPECT_EQ(WindowText(ConnControl(1083)), L"接続中");
    EXPECT_EQ(WindowText(ConnControl(IDC_CONN_BUTTON)), L"切断");
    for (int k = 0; k < 20; ++k) {
        EXPECT_EQ(::IsWindowEnabled(Radio(k)) != FALSE, k == 6) << k;
        if (k != 6) {
            EXPECT_EQ(WindowText(StateLabel(k)), L"未接続") << k;
        }
        EXPECT_FALSE(::IsWindowEnabled(Control(k, IDC_SET_NAME))) << k;
        EXPECT_FALSE(::IsWindowEnabled(Control(k, IDC_SET_SERVER_ADDRESS))) << k;
        EXPECT_FALSE(::IsWindowEnabled(Control(k, IDC_SET_PASSWORD))) << k;
    }
    EXPECT_EQ(Dialog()->GetConnectionPage().GetActiveIndex(), 6);

    // On a setting tab, the connection goes down: everything takes input again, the pages show
    // the records again, and that reports no edit.
    SelectTab(3);
    ::SendMessageW(Dlg(), WM_SET_TRAY_ICON, 0, 0);
    PumpPosted();
    for (int k = 0; k < 20; ++k) {
        EXPECT_TRUE(::IsWindowEnabled(Radio(k))) << k;
        EXPECT_TRUE(::IsWindowEnabled(Control(k, IDC_SET_NAME))) << k;
        EXPECT_TRUE(::IsWindowEnabled(Control(k, IDC_SET_SERVER_ADDRESS))) << k;
        EXPECT_TRUE(::IsWindowEnabled(Control(k, IDC_SET_AUTH))) << k;
    }
    EXPECT_FALSE(SaveEnabled());
    EXPECT_FALSE(Frame->GetLaunchedWithVpn());

    // The page keeps the states it opened with until it follows the notifications itself: a
    // radio click offers "切断" on connection 7 only.
    ::SendMessageW(Radio(2), BM_CLICK, 0, 0);
    EXPECT_EQ(WindowText(ConnControl(IDC_CONN_BUTTON)), L"接続");
    EXPECT_EQ(Dialog()->GetConnectionPage().GetSelectedIndex(), 2);
    ::SendMessageW(Radio(6), BM_CLICK, 0, 0);
    EXPECT_EQ(WindowText(ConnControl(IDC_CONN_BUTTON)), L"切断");
    EXPECT_EQ(Dialog()->GetConnectionPage().GetSelectedIndex(), 6);
}

TEST_F(SettingsDialogTest, WhileAConnectionIsUpOnlyItsRadioAndNoSettingTakesInput) {
    Svc.States[3] = 1;
    Open();
    EXPECT_EQ(WindowText(ConnControl(IDC_CONN_BUTTON)), L"切断");
    // Down, then up again as the connection page reports it: only connection 4's radio, and
    // no setting page, take input.
    ::SendMessageW(Dlg(), WM_SET_TRAY_ICON, 0, 0);
    ::SendMessageW(Radio(9), BM_CLICK, 0, 0);
    EXPECT_EQ(WindowText(ConnControl(IDC_CONN_BUTTON)), L"接続");
    EXPECT_EQ(Dialog()->GetConnectionPage().GetSelectedIndex(), 9);
    ::SendMessageW(Dlg(), WM_SET_TRAY_ICON, 1, 0);
    for (int k = 0; k < 20; ++k) {
        EXPECT_EQ(::IsWindowEnabled(Radio(k)) != FALSE, k == 3) << k;
        EXPECT_FALSE(::IsWindowEnabled(Control(k, IDC_SET_NAME))) << k;
        EXPECT_FALSE(::IsWindowEnabled(Control(k, IDC_SET_AUTH))) << k;
    }
    EXPECT_FALSE(SaveEnabled());
}

// ---------------------------------------------------------------------------------------------
// Edits

TEST_F(SettingsDialogTest, EveryKindOfEditEnablesSaveAndNothingElseDoes) {
    Open();
    struct Case {
        const char* Name;
        std::function<void(SettingsDialogTest&)> Edit;
    };
    const Case cases[] = {
        {"name", [](SettingsDialogTest& t) { Type(t.Control(1, IDC_SET_NAME), L"Head office"); }},
        {"key", [](SettingsDialogTest& t) { Type(t.Control(1, IDC_SET_PSK), L"k2"); }},
        {"key again", [](SettingsDialogTest& t) { Type(t.Control(1, IDC_SET_PSK_AGAIN), L"k2"); }},
        {"host name", [](SettingsDialogTest& t) { Type(t.Control(1, IDC_SET_SERVER_HOST), L"h"); }},
        {"user", [](SettingsDialogTest& t) { Type(t.Control(1, IDC_SET_USER), L"u"); }},
        {"password", [](SettingsDialogTest& t) { Type(t.Control(1, IDC_SET_PASSWORD), L""); }},
        {"address field",
         [](SettingsDialogTest& t) {
             const HWND field =
                 ::FindWindowExW(t.Control(1, IDC_SET_SERVER_ADDRESS), nullptr, L"Edit", nullptr);
             ASSERT_NE(field, nullptr);
             Type(field, L"172");
         }},
        {"check box",
         [](SettingsDialogTest& t) {
             ::SendMessageW(t.Control(1, IDC_SET_USE_VPN_GATEWAY), BM_CLICK, 0, 0);
         }},
        {"host mode",
         [](SettingsDialogTest& t) {
             ::SendMessageW(t.Control(1, IDC_SET_SERVER_HOST_MODE), BM_CLICK, 0, 0);
         }},
        {"method chosen from the list",
         [](SettingsDialogTest& t) {
             const HWND list = t.Control(1, IDC_SET_AUTH);
             ::SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
             ::SendMessageW(list, WM_KEYDOWN, VK_DOWN, 0);
             ::SendMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
         }},
        {"method chosen with the arrow keys",
         [](SettingsDialogTest& t) { ::SendMessageW(t.Control(1, IDC_SET_AUTH), WM_KEYDOWN, VK_DOWN, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        SelectTab(2);
        ::SendMessageW(Dlg(), WM_SET_TRAY_ICON, 0, 0); // the records shown again: no edit
        ::EnableWindow(Save(), FALSE);                 // as a save leaves it
        PumpPosted();
        c.Edit(*this);
        PumpPosted();
        EXPECT_TRUE(SaveEnabled());
        EXPECT_TRUE(Dialog()->IsModified());
    }

    // The address set by the page itself (eight EN_CHANGE from Wine's control) is no edit,
    // also on the page that is shown and painted, and also after a tab change.
    ::EnableWindow(Save(), FALSE);
    ::SendMessageW(Dlg(), WM_SET_TRAY_ICON, 0, 0);
    SelectTab(5);
    SelectTab(1);
    SelectTab(5);
    PumpPosted();
    EXPECT_FALSE(SaveEnabled());
    EXPECT_EQ(RequestsOf(CMD_SAVE_CONFIG).size(), 0u);
}

TEST_F(SettingsDialogTest, AnAddressTypedWhileLaunchedForAConnectionIsAnEditAndClearsTheFlag) {
    g_app.m_cmdLine = L"vpn3 /hide"; // started by the service for connection 3, tray only
    Open();
    ASSERT_TRUE(Frame->GetLaunchedWithVpn());
    SelectTab(4);
    // An edit elsewhere leaves the flag alone; one in the address field clears it and counts.
    Type(Control(3, IDC_SET_NAME), L"x");
    EXPECT_TRUE(SaveEnabled());
    EXPECT_TRUE(Frame->GetLaunchedWithVpn());
    ::EnableWindow(Save(), FALSE);
    const HWND field = ::FindWindowExW(Control(3, IDC_SET_SERVER_ADDRESS), nullptr, L"Edit", nullptr);
    ASSERT_NE(field, nullptr);
    Type(field, L"99");
    EXPECT_FALSE(Frame->GetLaunchedWithVpn());
    EXPECT_TRUE(SaveEnabled());
}

TEST_F(SettingsDialogTest, EnterMovesOnEscapeIdokAndIdcancelDoNothing) {
    Open();
    SelectTab(1);
    const HWND name = Control(0, IDC_SET_NAME);
    ::SetFocus(name);
    ASSERT_EQ(::GetFocus(), name);
    wintest::PostKey(Dlg(), VK_RETURN);
    PumpPosted();
    EXPECT_EQ(::GetFocus(), Control(0, IDC_SET_PSK)) << "Enter moves to the next control";
    wintest::PostKey(Dlg(), VK_ESCAPE);
    PumpPosted();
    // On the connection page, Enter finds Save disabled and sends IDOK.
    SelectTab(0);
    ::SetFocus(Radio(0));
    wintest::PostKey(Dlg(), VK_RETURN);
    wintest::PostKey(Dlg(), VK_ESCAPE);
    ::PostMessageW(Dlg(), WM_COMMAND, IDOK, 0);
    ::PostMessageW(Dlg(), WM_COMMAND, IDCANCEL, 0);
    ::PostMessageW(Page(0), WM_COMMAND, IDOK, 0);
    ::PostMessageW(Page(0), WM_COMMAND, IDCANCEL, 0);
    ::PostMessageW(ConnPage(), WM_COMMAND, IDCANCEL, 0);
    PumpPosted();
    EXPECT_FALSE(Closed());
    EXPECT_TRUE(::IsWindow(Page(0)));
    EXPECT_TRUE(::IsWindow(ConnPage()));
    EXPECT_TRUE(Frame->IsSettingsOpen());
    EXPECT_EQ(RequestsOf(CMD_SAVE_CONFIG).size(), 0u);

    // Enter elsewhere than in a setting page presses the default button, Save, once it is enabled.
    ::EnableWindow(Save(), TRUE);
    ::SetFocus(Radio(0));
    wintest::PostKey(Dlg(), VK_RETURN);
    ASSERT_TRUE(WaitForSaves(20, 0));
    EXPECT_FALSE(SaveEnabled());

    // Closed without edits: at once, no question; the frame hears of it.
    CMessageBoxRecorder boxes;
    Command(kCloseItem);
    ASSERT_TRUE(PumpUntil([&] { return Closed(); }));
    EXPECT_TRUE(boxes.Calls.empty());
    EXPECT_FALSE(Frame->IsSettingsOpen());
    EXPECT_EQ(Frame->GetSettingsDialog(), nullptr);
    EXPECT_FALSE(Frame->IsBusy(BusyFlag::Settings));
    // And it opens again.
    Frame->SendMessage(WM_TRAY_NOTIFY, 0, WM_LBUTTONDBLCLK);
    ASSERT_TRUE(PumpUntil([&] { return Frame->GetSettingsDialog() != nullptr; }));
    EXPECT_EQ(wintest::OpenDialogs(IDD_VPN_CONNECT).size(), 1u);
}

// ---------------------------------------------------------------------------------------------
// Saving

TEST_F(SettingsDialogTest, SaveSendsTwentyRecordsInOrderEachInOneWriteAndShowsWhatWasSaved) {
    Open();
    SelectTab(3);
    Type(Control(2, IDC_SET_NAME), L"T&K");
    ::SendMessageW(Control(2, IDC_SET_SERVER_ADDRESS_MODE), BM_CLICK, 0, 0);
    ::SendMessageW(Control(2, IDC_SET_SERVER_ADDRESS), IPM_SETADDRESS, 0, MAKEIPADDRESS(192, 168, 0, 1));
    ::SendMessageW(Control(2, IDC_SET_AUTH), CB_SETCURSEL, 3, 0);
    ASSERT_TRUE(SaveEnabled());
    const size_t before = Service->Requests().size();
    CMessageBoxRecorder boxes;
    ClickSave();
    EXPECT_TRUE(Frame->IsBusy(BusyFlag::Settings));
    ASSERT_TRUE(WaitForSaves(20, before));

    const std::vector<FakeRequest> saves = RequestsOf(CMD_SAVE_CONFIG, before);
    ASSERT_EQ(saves.size(), 20u);
    for (uint8_t k = 0; k < 20; ++k) {
        EXPECT_EQ(saves[k].Writes, 1u) << int(k);
        EXPECT_EQ(saves[k].Frame, BuildSaveConfigRequest(k, FrameRecord(k))) << int(k);
    }
    EXPECT_EQ(Service->Requests().size(), before + 20);
    EXPECT_TRUE(boxes.Calls.empty());

    // Switched from host to address mode: the address bytes, the old host name behind them.
    const VPNCONFIG saved = Svc.Record(2);
    EXPECT_EQ(ConnectionName(saved), L"T&K");
    EXPECT_EQ(saved.ServerIsIpAddress, 1u);
    EXPECT_EQ(saved.Server[0], 0xC0);
    EXPECT_EQ(saved.Server[3], 0x01);
    EXPECT_EQ(saved.Server[4], 'n') << "of \"vpn3.example.jp\"";
    EXPECT_EQ(saved.AuthProtocol, 3);
    // The fields without a control, unchanged.
    for (size_t k = 0; k < 20; ++k) {
        const VPNCONFIG r = Svc.Record(k);
        EXPECT_EQ(r.Reserved, 0x5A5A0000u + k) << k;
        EXPECT_EQ(r.DestinationNetwork[2], uint8_t(k)) << k;
        EXPECT_EQ(r.DestinationPrefixLength, 24) << k;
        EXPECT_EQ(r.DnsAddressSet, 1u) << k;
        EXPECT_EQ(r.DnsAddress[3], 53) << k;
    }
    EXPECT_EQ(Svc.Record(7).ToBytes(), SampleRecord(7).ToBytes()) << "written back unchanged";

    EXPECT_FALSE(SaveEnabled());
    EXPECT_EQ(TabTitle(Tab(), 3), L"03：T&&K");
    EXPECT_EQ(TabCtrl_GetCurSel(Tab()), 3) << "retitled in place";
    EXPECT_TRUE(::IsWindowVisible(Page(2)));
    EXPECT_EQ(WindowText(Radio(2)), L"03：T&&K");
    EXPECT_EQ(GetMenuItemText(Submenu(0), 3, true), L"03：T&&K");
    EXPECT_EQ(GetMenuItemText(Submenu(1), 3, true), L"03：T&&K");
    EXPECT_FALSE(Frame->IsBusy(BusyFlag::Settings));
}

TEST_F(SettingsDialogTest, AKeyThatDiffersFromItsReentryIsNamedAndNothingIsSent) {
    Open();
    SelectTab(6);
    Type(Control(0, IDC_SET_NAME), L"First");
    Type(Control(5, IDC_SET_PSK), L"new key");
    Type(Control(5, IDC_SET_NAME), L"Renamed");
    const size_t before = Service->Requests().size();
    CMessageBoxRecorder boxes;
    ClickSave();
    PumpFor(200);
    ASSERT_EQ(boxes.Calls.size(), 1u);
    EXPECT_EQ(boxes.Calls[0].Text, std::wstring(BuiltinUiText(212)) + L"（Office 6）")
        << "the name before the save";
    EXPECT_EQ(boxes.Calls[0].Type, UINT(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(Service->Requests().size(), before);
    EXPECT_TRUE(SaveEnabled());
    EXPECT_FALSE(Frame->IsBusy(BusyFlag::Settings));
    EXPECT_EQ(ConnectionName(FrameRecord(0)), L"First") << "pages before it wrote their records";
    EXPECT_EQ(ConnectionName(FrameRecord(5)), L"Office 6");
    EXPECT_FALSE(Dialog()->EveryKeyConfirmed());

    // Both empty is a match.
    Type(Control(5, IDC_SET_PSK), L"");
    Type(Control(5, IDC_SET_PSK_AGAIN), L"");
    ClickSave();
    ASSERT_TRUE(WaitForSaves(20, before));
    EXPECT_EQ(boxes.Calls.size(), 1u);
    EXPECT_TRUE(Dialog()->EveryKeyConfirmed());
    EXPECT_EQ(Svc.Record(5).PreSharedKey[0], u'\0');
}

TEST_F(SettingsDialogTest, AHostNameLongerThanTheEditTakesStopsTheSaveWithRecordsUnchanged) {
    Svc.Records[8].ServerIsIpAddress = 0;
    Svc.Records[8].SetServerHostName(std::u16string(130, u'h')); // from a settings file
    Open();
    SelectTab(9);
    EXPECT_EQ(WindowText(Control(8, IDC_SET_SERVER_HOST)).size(), 130u) << "shown in full";
    Type(Control(8, IDC_SET_USER), L"typed");
    const std::vector<uint8_t> image = FrameRecord(8).ToBytes();
    CMessageBoxRecorder boxes;
    // The mode stays as it is shown, and what was typed after the host field stays.
    ::SendMessageW(Control(8, IDC_SET_SERVER_ADDRESS_MODE), BM_CLICK, 0, 0);
    ASSERT_EQ(boxes.Calls.size(), 1u);
    EXPECT_EQ(boxes.Calls[0].Text, L"Enter no more than 120 characters.");
    EXPECT_TRUE(Checked(Control(8, IDC_SET_SERVER_HOST_MODE)));
    EXPECT_FALSE(Checked(Control(8, IDC_SET_SERVER_ADDRESS_MODE)));
    EXPECT_TRUE(::IsWindowVisible(Control(8, IDC_SET_SERVER_HOST)));
    EXPECT_EQ(WindowText(Control(8, IDC_SET_USER)), L"typed");

    const size_t before = Service->Requests().size();
    ClickSave();
    PumpFor(200);
    ASSERT_EQ(boxes.Calls.size(), 2u);
    EXPECT_EQ(boxes.Calls[1].Text, L"Enter no more than 120 characters.");
    EXPECT_EQ(Service->Requests().size(), before);
    EXPECT_EQ(FrameRecord(8).ToBytes(), image);
    EXPECT_TRUE(SaveEnabled());
    EXPECT_FALSE(Frame->IsBusy(BusyFlag::Settings));
}

TEST_F(SettingsDialogTest, ARefusedItemShowsOneBoxAtTheEndAndKeepsSaveEnabled) {
    Svc.SaveResults[5] = 5; // item 19, the last, is saved
    Open();
    SelectTab(2);
    Type(Control(1, IDC_SET_NAME), L"Changed");
    const size_t before = Service->Requests().size();
    CMessageBoxRecorder boxes;
    bool busyDuringBox = false;
    boxes.OnBox = [&](const MessageBoxCall&) { busyDuringBox = Frame->IsBusy(BusyFlag::Settings); };
    ClickSave();
    ASSERT_TRUE(WaitForSaves(20, before));
    ASSERT_EQ(boxes.Calls.size(), 1u) << "one box for the batch";
    EXPECT_EQ(boxes.Calls[0].Text, BuiltinUiText(214));
    EXPECT_TRUE(busyDuringBox);
    EXPECT_EQ(RequestsOf(CMD_SAVE_CONFIG, before).size(), 20u) << "the items after a refused one go too";
    EXPECT_TRUE(SaveEnabled()) << "not all of it reached the service";
    EXPECT_EQ(TabTitle(Tab(), 2), L"02：Changed") << "the view shows the records all the same";
    EXPECT_EQ(ConnectionName(Svc.Record(1)), L"Changed");
}

TEST_F(SettingsDialogTest, AStoppedServiceFailsTheWholeBatchWithOneBox) {
    Open();
    SelectTab(1);
    Type(Control(0, IDC_SET_NAME), L"Nobody hears");
    Service->Stop();
    CMessageBoxRecorder boxes;
    ClickSave();
    ASSERT_TRUE(PumpUntil([&] { return !boxes.Calls.empty() && !Frame->IsBusy(BusyFlag::Settings); }));
    PumpFor(200);
    ASSERT_EQ(boxes.Calls.size(), 1u);
    EXPECT_EQ(boxes.Calls[0].Text, BuiltinUiText(214));
    EXPECT_TRUE(SaveEnabled());
    EXPECT_FALSE(Closed());
}

TEST_F(SettingsDialogTest, QuitWhileABatchIsUnderWayOrItsBoxIsOpenLeavesTheDialogAlone) {
    Svc.SaveResults[19] = 5;
    HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(release, nullptr);
    std::atomic<bool> held{false};
    Open();
    {
        std::lock_guard<std::mutex> guard(Svc.Lock);
        Svc.BeforeSaveReply = [&](uint8_t item) {
            if (item != 10)
                return;
            held = true;
            ::WaitForSingleObject(release, 20000);
        };
    }
    SelectTab(1);
    Type(Control(0, IDC_SET_NAME), L"Held");
    CMessageBoxRecorder boxes;
    boxes.OnBox = [&](const MessageBoxCall&) {
        // The service asks the GUI to quit while the batch's box is open.
        Notify({0x41, 0, 0, 3, 0, 0, 1});
        ASSERT_TRUE(PumpUntil([&] { return Frame->GetTrayIconId() == 145; }));
        PumpFor(200);
        EXPECT_FALSE(Closed());
        EXPECT_FALSE(Gone());
    };
    ClickSave();
    ASSERT_TRUE(PumpUntil([&] { return held.load(); }));
    // Half-way: the frame's Quit closes nothing that is busy.
    Quit();
    PumpFor(200);
    EXPECT_FALSE(Closed());
    EXPECT_FALSE(Gone());
    ::SetEvent(release);
    ASSERT_TRUE(PumpUntil([&] { return boxes.Calls.size() == 1 && !Frame->IsBusy(BusyFlag::Settings); }));
    EXPECT_FALSE(Closed());
    EXPECT_TRUE(SaveEnabled());
    {
        std::lock_guard<std::mutex> guard(Svc.Lock);
        Svc.BeforeSaveReply = nullptr;
    }
    ::CloseHandle(release);
    // Nothing busy now: the next Quit asks about the edits and, answered No, ends the program.
    boxes.OnBox = nullptr;
    boxes.Answers = {IDNO};
    Quit();
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
    EXPECT_EQ(boxes.Calls.size(), 2u);
    EXPECT_EQ(boxes.Calls[1].Text, BuiltinUiText(209));
}

// While a batch is in flight, Save and the connection page's button refuse; an edit typed
// meanwhile is not in the batch, so Save stays enabled at its end and the close asks about it.
TEST_F(SettingsDialogTest, WhileABatchIsInFlightSaveAndThePressRefuseAndANewEditIsKept) {
    Open();
    SelectTab(2);
    Type(Control(1, IDC_SET_NAME), L"Saved");
    const size_t before = Service->Requests().size();
    CMessageBoxRecorder boxes;
    CDialogRecorder dialogs;
    dialogs.OnDialog = [](CDialog& d) { d.EndDialog(IDCANCEL); };
    {
        CHeldReply held(Svc, CMD_SAVE_CONFIG, 10);
        ClickSave();
        ASSERT_TRUE(PumpUntil([&] { return held.Held(); }));
        EXPECT_TRUE(Dialog()->IsOperationInFlight());
        Type(Control(1, IDC_SET_USER), L"typed meanwhile");
        ClickSave();
        ::SendMessageW(ConnControl(IDC_CONN_BUTTON), BM_CLICK, 0, 0);
        PumpPosted();
        EXPECT_TRUE(boxes.Calls.empty()) << "the press asked nothing";
        EXPECT_TRUE(dialogs.Opened.empty());
        EXPECT_FALSE(Frame->IsBusy(BusyFlag::ConnectPress));
    }
    ASSERT_TRUE(WaitForSaves(20, before));
    PumpFor(100);
    EXPECT_EQ(RequestsOf(CMD_SAVE_CONFIG, before).size(), 20u) << "one batch";
    EXPECT_FALSE(Dialog()->IsOperationInFlight());
    EXPECT_EQ(ConnectionName(Svc.Record(1)), L"Saved");
    EXPECT_TRUE(SaveEnabled()) << "the edit typed during the batch is still to be saved";
    EXPECT_EQ(WindowText(Control(1, IDC_SET_USER)), L"typed meanwhile");
    boxes.Answers = {IDYES};
    Command(kCloseItem);
    ASSERT_TRUE(PumpUntil([&] { return Closed(); }));
    ASSERT_EQ(boxes.Calls.size(), 1u);
    EXPECT_EQ(boxes.Calls[0].Text, BuiltinUiText(209));
    EXPECT_EQ(FixedToString(Svc.Record(1).UserName), u"typed meanwhile");
}

// ---------------------------------------------------------------------------------------------
// Closing and quitting

// After Yes, a save that a page refuses (212) or the service refuses (214) keeps the dialog
// open with its edits, and the next close asks again.
TEST_F(SettingsDialogTest, ACloseWhoseSaveIsRefusedStaysOpenAndAsksAgain) {
    Open();
    SelectTab(3);
    Type(Control(2, IDC_SET_PSK_AGAIN), L"mismatch");
    CMessageBoxRecorder boxes;
    const std::wstring refusals[] = {std::wstring(BuiltinUiText(212)) + L"（Office 3）", BuiltinUiText(214)};
    for (const std::wstring& refusal : refusals) {
        SCOPED_TRACE(refusal == refusals[0] ? "by the page" : "by the service");
        boxes.Calls.clear();
        boxes.Answers = {IDYES};
        Command(kCloseItem);
        ASSERT_TRUE(PumpUntil([&] { return boxes.Calls.size() == 2 && !Frame->IsBusy(BusyFlag::Settings); }));
        PumpFor(100);
        EXPECT_EQ(boxes.Calls[0].Text, BuiltinUiText(209));
        EXPECT_EQ(boxes.Calls[1].Text, refusal);
        EXPECT_FALSE(Closed());
        EXPECT_EQ(Dialog()->GetCloseState(), 0);
        EXPECT_TRUE(SaveEnabled());
        // The key made right; the service refuses the next save.
        Type(Control(2, IDC_SET_PSK_AGAIN), L"key");
        std::lock_guard<std::mutex> guard(Svc.Lock);
        Svc.SaveResults[0] = 5;
    }
    boxes.Calls.clear();
    boxes.Answers = {IDNO};
    Command(kCloseItem);
    ASSERT_TRUE(PumpUntil([&] { return Closed(); }));
    ASSERT_EQ(boxes.Calls.size(), 1u);
    EXPECT_EQ(boxes.Calls[0].Text, BuiltinUiText(209));
    EXPECT_EQ(RequestsOf(CMD_SAVE_CONFIG).size(), 20u) << "the one batch the service refused";
}

TEST_F(SettingsDialogTest, QuitWithoutEditsEndsTheProgramThroughTheFrame) {
    Open();
    CMessageBoxRecorder boxes;
    Command(kQuitItem);
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
    EXPECT_TRUE(boxes.Calls.empty());
    EXPECT_TRUE(Closed());
    EXPECT_FALSE(Frame->IsSettingsOpen());
}

// Closing (the close box or the menu) and quitting with edits: asked once, then saved or not;
// the dialog goes after its save, and a quit ends the program.
struct CloseCase {
    const char* Name;
    UINT Item; // 0: the close box (WM_CLOSE)
    int Answer;
    bool Saved;
    bool ProgramEnds;
};

class CloseWithEditsTest : public SettingsDialogTest, public testing::WithParamInterface<CloseCase> {};

TEST_P(CloseWithEditsTest, AsksOnceThenSavesOrDiscardsAndGoes) {
    const CloseCase& c = GetParam();
    Open();
    SelectTab(2);
    Type(Control(1, IDC_SET_NAME), L"Edited");
    const size_t before = Service->Requests().size();
    CMessageBoxRecorder boxes;
    boxes.Answers = {c.Answer};
    CloseBy(c.Item);
    ASSERT_TRUE(PumpUntil([&] { return Closed() && (Gone() || !c.ProgramEnds); }));
    wintest::PumpFor(100);
    ASSERT_EQ(boxes.Calls.size(), 1u) << "neither the end of the save nor the frame's Quit asks again";
    EXPECT_EQ(boxes.Calls[0].Text, BuiltinUiText(209));
    EXPECT_EQ(boxes.Calls[0].Type, UINT(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(RequestsOf(CMD_SAVE_CONFIG, before).size(), c.Saved ? 20u : 0u);
    const std::wstring name = c.Saved ? L"Edited" : L"Office 2";
    EXPECT_EQ(ConnectionName(Svc.Record(1)), name);
    EXPECT_EQ(ConnectionName(FrameRecord(1)), name);
    EXPECT_EQ(Gone(), c.ProgramEnds);
    EXPECT_FALSE(Frame->IsSettingsOpen());
    EXPECT_FALSE(Frame->IsBusy(BusyFlag::Settings));
}

INSTANTIATE_TEST_SUITE_P(CloseAndQuit, CloseWithEditsTest,
                         testing::Values(CloseCase{"CloseBoxNo", 0, IDNO, false, false},
                                         CloseCase{"CloseYes", kCloseItem, IDYES, true, false},
                                         CloseCase{"QuitYes", kQuitItem, IDYES, true, true},
                                         CloseCase{"QuitNo", kQuitItem, IDNO, false, true}),
                         [](const testing::TestParamInfo<CloseCase>& info) {
                             return std::string(info.param.Name);
                         });

// ---------------------------------------------------------------------------------------------
// Where the windows open

POINT Centre(const RECT& r) {
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

RECT WindowRect(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    return r;
}

RECT PrimaryWorkArea() {
    RECT r{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
    return r;
}

// Calls Seen with the first visible top-level dialog of this thread that is none of ours (a
// common dialog or a message box), from whichever loop runs (that dialog's own included).
struct CForeignDialogWatch {
    std::function<void(HWND)> Seen;
    ULONGLONG End = ::GetTickCount64() + wintest::kPumpTimeoutMs;

    void Start() {
        wintest::PostStep([this] { Look(); }, 1);
    }
    void Look() {
        HWND found = nullptr;
        ::EnumThreadWindows(
            ::GetCurrentThreadId(),
            [](HWND hwnd, LPARAM lParam) {
                wchar_t className[16] = {};
                ::GetClassNameW(hwnd, className, 16);
                if (wcscmp(className, L"#32770") == 0 && ::IsWindowVisible(hwnd) &&
                    !CDialog::FromDialogHandle(hwnd))
                    *reinterpret_cast<HWND*>(lParam) = hwnd;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&found));
        if (found) {
            Seen(found);
            return;
        }
        if (::GetTickCount64() > End) {
            ADD_FAILURE() << "no dialog showed";
            return;
        }
        Start();
    }
};

// The dialog opens in the middle of the screen, not in the corner where its hidden owner sits;
// the file dialogs of its menu open over it, and its boxes in the middle of the screen.
TEST_F(SettingsDialogTest, TheDialogAndItsBoxesOpenCentred) {
    const ScopeExit noMainWindow([] { g_app.m_pMainWnd = nullptr; });
    Open(true);
    EXPECT_EQ(::GetWindow(Dlg(), GW_OWNER), Frame->m_hWnd);
    const POINT screen = Centre(PrimaryWorkArea());
    const POINT dialog = Centre(WindowRect(Dlg()));
    EXPECT_NEAR(dialog.x, screen.x, 2);
    EXPECT_NEAR(dialog.y, screen.y, 2);

    // The dialog active, as when the user chooses from its menu: the file dialogs are its own.
    ::SetActiveWindow(Dlg());
    for (const UINT item : {kImportAll, kExportAll}) {
        SCOPED_TRACE(item == kImportAll ? "import" : "export");
        RECT shown{}, over{};
        CForeignDialogWatch watch;
        watch.Seen = [&](HWND fileDialog) {
            shown = WindowRect(fileDialog);
            const HWND owner = ::GetWindow(fileDialog, GW_OWNER);
            over = owner && ::IsWindowVisible(owner) ? WindowRect(owner) : PrimaryWorkArea();
            ::PostMessageW(fileDialog, WM_COMMAND, IDCANCEL, 0);
        };
        watch.Start();
        ::SendMessageW(Dlg(), WM_COMMAND, item, 0);
        EXPECT_NEAR(Centre(shown).x, Centre(over).x, 2);
        EXPECT_NEAR(Centre(shown).y, Centre(over).y, 2);
    }

    // The question before the close; answered No, the dialog goes.
    SelectTab(1);
    Type(Control(0, IDC_SET_NAME), L"Edited");
    RECT box{};
    CForeignDialogWatch watch;
    watch.Seen = [&](HWND question) {
        box = WindowRect(question);
        ::PostMessageW(question, WM_COMMAND, IDNO, 0);
    };
    watch.Start();
    ::SendMessageW(Dlg(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return Closed(); }));
    EXPECT_NEAR(Centre(box).x, screen.x, 2);
    EXPECT_NEAR(Centre(box).y, screen.y, 2);
}

// Save, then a close or quit before the batch's last reply: Save is still enabled, so the
// question opens; the batch ends under it and closes nothing (nor ends the program), and busy
// BusyFlag::Settings stays set. The answer decides, the edit typed after Save included.
class AQuestionOverASaveBatchTest : public SettingsDialogTest,
                                    public testing::WithParamInterface<CloseCase> {};

TEST_P(AQuestionOverASaveBatchTest, TheBatchEndsUnderTheQuestionAndTheAnswerDecides) {
    const CloseCase& c = GetParam();
    Open();
    SelectTab(2);
    Type(Control(1, IDC_SET_NAME), L"First");
    const size_t before = Service->Requests().size();
    CHeldReply held(Svc, CMD_SAVE_CONFIG, 10);
    ClickSave();
    ASSERT_TRUE(PumpUntil([&] { return held.Held(); }));
    Type(Control(1, IDC_SET_USER), L"typed after Save");
    CMessageBoxRecorder boxes;
    bool openAfterTheBatch = false;
    bool busyUnderTheQuestion = false;
    boxes.OnBox = [&](const MessageBoxCall& call) {
        if (call.Text != BuiltinUiText(209))
            return;
        // The batch's last reply comes while the question is open.
        held.Release();
        EXPECT_TRUE(PumpUntil([&] {
            return Closed() ||
                   (RequestsOf(CMD_SAVE_CONFIG, before).size() == 20 && !Dialog()->IsOperationInFlight());
        }));
        PumpPosted(); // what the batch's end posted
        openAfterTheBatch = !Closed() && !Gone();
        busyUnderTheQuestion = !Gone() && Frame->IsBusy(BusyFlag::Settings);
        boxes.Answers = {c.Answer};
    };
    CloseBy(c.Item);
    ASSERT_TRUE(PumpUntil([&] { return Closed() && (Gone() || !c.ProgramEnds); }));
    PumpFor(100);
    EXPECT_TRUE(openAfterTheBatch) << "the batch's end closed under the question";
    EXPECT_TRUE(busyUnderTheQuestion);
    ASSERT_EQ(boxes.Calls.size(), 1u);
    EXPECT_EQ(RequestsOf(CMD_SAVE_CONFIG, before).size(), c.Saved ? 40u : 20u);
    EXPECT_EQ(ConnectionName(Svc.Record(1)), L"First");
    EXPECT_EQ(FixedToString(Svc.Record(1).UserName), c.Saved ? u"typed after Save" : u"user");
    EXPECT_EQ(Gone(), c.ProgramEnds);
}

INSTANTIATE_TEST_SUITE_P(CloseAndQuit, AQuestionOverASaveBatchTest,
                         testing::Values(CloseCase{"CloseBoxYes", 0, IDYES, true, false},
                                         CloseCase{"CloseItemNo", kCloseItem, IDNO, false, false},
                                         CloseCase{"QuitYes", kQuitItem, IDYES, true, true},
                                         CloseCase{"QuitNo", kQuitItem, IDNO, false, true}),
                         [](const testing::TestParamInfo<CloseCase>& info) {
                             return std::string(info.param.Name);
                         });

// ---------------------------------------------------------------------------------------------
// Import and export

struct FileDialogCall {
    bool Open;
    DWORD Flags;
    std::wstring DefaultExtension;
    std::wstring InitialName;
    HWND Owner;
};

class ImportExportTest : public SettingsDialogTest {
protected:
    // Every file dialog is recorded and answered with `Path`, or cancelled when it is empty.
    void AnswerFileDialogs() {
        SetFileDialogHook([this](bool open, OPENFILENAMEW& ofn) {
            FileDialogs.push_back(
                {open, ofn.Flags, ofn.lpstrDefExt ? ofn.lpstrDefExt : L"", ofn.lpstrFile, ofn.hwndOwner});
            if (Path.empty())
                return FALSE;
            wcscpy_s(ofn.lpstrFile, ofn.nMaxFile, Path.c_str());
            return TRUE;
        });
    }

    std::wstring Path = L"C:\\settings\\all.bin";
    std::vector<FileDialogCall> FileDialogs;
};

TEST_F(ImportExportTest, ImportOfAllReloadsTheTwentyRecordsInOrderAndShowsThem) {
    Open();
    AnswerFileDialogs();
    SelectTab(2);
    Type(Control(1, IDC_SET_NAME), L"Edited"); // replaced by the reload
    const size_t before = Service->Requests().size();
    CMessageBoxRecorder boxes;
    Command(kImportAll);
    ASSERT_TRUE(PumpUntil([&] { return RequestsOf(CMD_LOAD_CONFIG, before).size() == 20; }));
    ASSERT_TRUE(PumpUntil([&] { return !Frame->IsBusy(BusyFlag::Settings); }));
    ASSERT_EQ(FileDialogs.size(), 1u);
    EXPECT_TRUE(FileDialogs[0].Open);
    EXPECT_EQ(FileDialogs[0].Flags & 0x201004u, 0x201004u);
    EXPECT_EQ(FileDialogs[0].DefaultExtension, L"bin");
    EXPECT_EQ(FileDialogs[0].InitialName, L"*.bin");

    const std::vector<FakeRequest> requests = Service->Requests();
    ASSERT_EQ(requests.size(), before + 21);
    EXPECT_EQ(requests[before].Frame, BuildImportRequest(u"C:\\settings\\all.bin", 0));
    for (uint8_t k = 0; k < 20; ++k)
        EXPECT_EQ(requests[before + 1 + k].Frame, BuildLoadConfigRequest(k)) << int(k);
    EXPECT_TRUE(boxes.Calls.empty());
    for (unsigned k = 0; k < 20; ++k) {
        const std::wstring name = L"Imported " + std::to_wstring(k + 1);
        EXPECT_EQ(ConnectionName(FrameRecord(k)), name) << k;
        EXPECT_EQ(WindowText(Control(int(k), IDC_SET_NAME)), name) << k;
        EXPECT_EQ(TabTitle(Tab(), int(k + 1)).substr(3, 4), L"Impo") << k;
        EXPECT_EQ(GetMenuItemText(Submenu(0), k + 1, true).substr(3), name) << k;
        EXPECT_EQ(GetMenuItemText(Submenu(1), k + 1, true).substr(3), name) << k;
    }
    EXPECT_EQ(WindowText(Radio(0)), L"01：Imported 1");
    EXPECT_FALSE(SaveEnabled());
}

// An import of connection 3 replaces that record alone: its page alone is loaded again (and
// takes no input meanwhile); the other pages keep their edits and Save stays as it was.
TEST_F(ImportExportTest, ImportOfOneConnectionReloadsItsPageAloneAndKeepsTheOtherEdits) {
    Open();
    AnswerFileDialogs();
    Path = L"C:\\one.bin";
    SelectTab(5);
    Type(Control(4, IDC_SET_NAME), L"Edited 5");
    Type(Control(2, IDC_SET_USER), L"replaced by the import");
    const size_t before = Service->Requests().size();
    CMessageBoxRecorder boxes;
    {
        CHeldReply held(Svc, CMD_LOAD_CONFIG, 2);
        Command(kImportAll + 3);
        ASSERT_TRUE(PumpUntil([&] { return held.Held(); }));
        for (int k = 0; k < 20; ++k)
            EXPECT_EQ(::IsWindowEnabled(Control(k, IDC_SET_NAME)) != FALSE, k != 2) << k;
    }
    ASSERT_TRUE(PumpUntil([&] { return !Frame->IsBusy(BusyFlag::Settings); }));
    PumpFor(100);
    EXPECT_TRUE(boxes.Calls.empty());
    const std::vector<FakeRequest> requests = Service->Requests();
    ASSERT_EQ(requests.size(), before + 2) << "the import and one load";
    EXPECT_EQ(requests[before].Frame, BuildImportRequest(u"C:\\one.bin", 3));
    EXPECT_EQ(requests[before + 1].Frame, BuildLoadConfigRequest(2));

    EXPECT_EQ(WindowText(Control(2, IDC_SET_NAME)), L"Imported 3");
    EXPECT_EQ(WindowText(Control(2, IDC_SET_USER)), L"user");
    EXPECT_EQ(ConnectionName(FrameRecord(2)), L"Imported 3");
    EXPECT_EQ(TabTitle(Tab(), 3).substr(0, 7), L"03：Impo");
    EXPECT_EQ(WindowText(Radio(2)), L"03：Imported 3");
    EXPECT_EQ(GetMenuItemText(Submenu(0), 3, true), L"03：Imported 3");
    EXPECT_EQ(WindowText(Control(4, IDC_SET_NAME)), L"Edited 5") << "the other pages keep their edits";
    EXPECT_EQ(WindowText(Control(3, IDC_SET_NAME)), L"Office 4");
    EXPECT_TRUE(SaveEnabled()) << "page 5's edit is still to be saved";
    for (int k = 0; k < 20; ++k)
        EXPECT_TRUE(::IsWindowEnabled(Control(k, IDC_SET_NAME))) << k;

    // Saved, then connection 20 imported: nothing to save before, nothing after.
    ClickSave();
    ASSERT_TRUE(WaitForSaves(20, before));
    ASSERT_FALSE(SaveEnabled());
    const size_t next = Service->Requests().size();
    Command(kImportAll + 20);
    ASSERT_TRUE(PumpUntil([&] { return RequestsOf(CMD_LOAD_CONFIG, next).size() == 1; }));
    ASSERT_TRUE(PumpUntil([&] { return !Frame->IsBusy(BusyFlag::Settings); }));
    EXPECT_EQ(Service->Requests()[next].Frame, BuildImportRequest(u"C:\\one.bin", 20));
    EXPECT_EQ(WindowText(Control(19, IDC_SET_NAME)), L"Imported 20");
    EXPECT_EQ(WindowText(Control(18, IDC_SET_NAME)), L"Office 19");
    EXPECT_EQ(WindowText(Control(4, IDC_SET_NAME)), L"Edited 5");
    EXPECT_FALSE(SaveEnabled());
}

// While an import or its reload is under way, Save, the import and export items and the
// connection page's button refuse; the pages it replaces take no input. Nothing is stored over
// the import.
TEST_F(ImportExportTest, WhileAnImportIsUnderWayNothingIsStoredOverIt) {
    Open();
    AnswerFileDialogs();
    SelectTab(2);
    CMessageBoxRecorder boxes;
    boxes.Answers = {IDNO, IDNO};
    CDialogRecorder dialogs;
    dialogs.OnDialog = [](CDialog& d) { d.EndDialog(IDCANCEL); };
    const size_t before = Service->Requests().size();
    // Held at the import itself, then at a load of its reload.
    for (const uint8_t heldAt : {CMD_IMPORT, CMD_LOAD_CONFIG}) {
        SCOPED_TRACE(heldAt == CMD_IMPORT ? "the import" : "the reload");
        if (heldAt == CMD_LOAD_CONFIG) {
            std::lock_guard<std::mutex> guard(Svc.Lock);
            for (size_t k = 0; k < 20; ++k)
                Svc.Records[k] = SampleRecord(k);
        }
        Type(Control(1, IDC_SET_NAME), L"Edited before the import");
        ASSERT_TRUE(SaveEnabled());
        const size_t from = Service->Requests().size();
        {
            CHeldReply held(Svc, heldAt, heldAt == CMD_IMPORT ? 0 : 5);
            Command(kImportAll);
            ASSERT_TRUE(PumpUntil([&] { return held.Held(); }));
            EXPECT_TRUE(Dialog()->IsOperationInFlight());
            for (int k = 0; k < 20; ++k)
                EXPECT_FALSE(::IsWindowEnabled(Control(k, IDC_SET_NAME))) << k;
            const size_t fileDialogs = FileDialogs.size();
            ClickSave();
            Command(kExportAll);
            Command(kImportAll + 3);
            ::SendMessageW(ConnControl(IDC_CONN_BUTTON), BM_CLICK, 0, 0);
            PumpPosted();
            EXPECT_EQ(FileDialogs.size(), fileDialogs) << "the menu refused";
            EXPECT_TRUE(boxes.Calls.empty()) << "the press asked nothing";
            EXPECT_TRUE(dialogs.Opened.empty());
            EXPECT_FALSE(Frame->IsBusy(BusyFlag::ConnectPress));
        }
        ASSERT_TRUE(PumpUntil([&] { return RequestsOf(CMD_LOAD_CONFIG, from).size() == 20; }));
        ASSERT_TRUE(PumpUntil([&] { return !Frame->IsBusy(BusyFlag::Settings); }));
        PumpFor(100);
        EXPECT_EQ(Service->Requests().size(), from + 21) << "the import and its 20 loads, nothing else";
        for (unsigned k = 0; k < 20; ++k) {
            const std::wstring name = L"Imported " + std::to_wstring(k + 1);
            EXPECT_EQ(ConnectionName(Svc.Record(k)), name) << k;
            EXPECT_EQ(WindowText(Control(int(k), IDC_SET_NAME)), name) << k;
            EXPECT_TRUE(::IsWindowEnabled(Control(int(k), IDC_SET_NAME))) << k;
        }
        EXPECT_FALSE(SaveEnabled());
    }
    EXPECT_TRUE(RequestsOf(CMD_SAVE_CONFIG, before).empty());
}

TEST_F(ImportExportTest, AnImportRefusedOrUnansweredShowsTheLoadFailureAndLoadsNothing) {
    Open();
    AnswerFileDialogs();
    CMessageBoxRecorder boxes;
    // Refused, then closed without a reply (the pipe thread reports no frame).
    for (const bool answered : {true, false}) {
        SCOPED_TRACE(answered ? "refused" : "no reply");
        {
            std::lock_guard<std::mutex> guard(Svc.Lock);
            Svc.ImportResult = 2;
            Svc.ImportUnanswered = !answered;
        }
        boxes.Calls.clear();
        const size_t before = Service->Requests().size();
        Command(kImportAll + 3);
        ASSERT_TRUE(PumpUntil([&] { return boxes.Calls.size() == 1 && !Frame->IsBusy(BusyFlag::Settings); }));
        PumpFor(100);
        EXPECT_EQ(boxes.Calls[0].Text, BuiltinUiText(213));
        EXPECT_EQ(boxes.Calls[0].Type, UINT(MB_OK | MB_ICONEXCLAMATION));
        ASSERT_EQ(Service->Requests().size(), before + 1);
        EXPECT_EQ(Service->Requests()[before].Frame[0], CMD_IMPORT);
    }
}

TEST_F(ImportExportTest, ExportSavesUnderANewNameAndShowsOnlyItsFailure) {
    Open();
    AnswerFileDialogs();
    Path = L"C:\\new\\export.bin";
    const size_t before = Service->Requests().size();
    CMessageBoxRecorder boxes;
    Command(kExportAll);
    ASSERT_TRUE(PumpUntil([&] { return Service->Requests().size() == before + 1; }));
    ASSERT_TRUE(PumpUntil([&] { return !Frame->IsBusy(BusyFlag::Settings); }));
    ASSERT_EQ(FileDialogs.size(), 1u);
    EXPECT_FALSE(FileDialogs[0].Open);
    EXPECT_EQ(FileDialogs[0].Flags & OFN_FILEMUSTEXIST, 0u) << "a save dialog takes a name that is new";
    EXPECT_EQ(FileDialogs[0].Flags & (OFN_OVERWRITEPROMPT | OFN_LONGNAMES),
              DWORD(OFN_OVERWRITEPROMPT | OFN_LONGNAMES));
    EXPECT_EQ(FileDialogs[0].DefaultExtension, L"bin");
    EXPECT_EQ(FileDialogs[0].InitialName, L"*.bin");
    EXPECT_EQ(Service->Requests()[before].Frame, BuildExportRequest(u"C:\\new\\export.bin", 0));
    PumpFor(100);
    EXPECT_TRUE(boxes.Calls.empty());

    {
        std::lock_guard<std::mutex> guard(Svc.Lock);
        Svc.ExportResult = 5;
    }
    Command(kExportAll + 7);
    ASSERT_TRUE(PumpUntil([&] { return boxes.Calls.size() == 1 && !Frame->IsBusy(BusyFlag::Settings); }));
    EXPECT_EQ(boxes.Calls[0].Text, BuiltinUiText(214));
    EXPECT_EQ(Service->Requests().back().Frame, BuildExportRequest(u"C:\\new\\export.bin", 7));
    EXPECT_FALSE(Closed());
}

// The file dialog need not disable the settings dialog (it is not always its owner): a close
// meanwhile is refused, since the command goes on in the dialog once the file is chosen.
TEST_F(ImportExportTest, ACloseWhileTheFileDialogIsOpenIsRefused) {
    Open();
    bool openUnderTheFileDialog = false;
    SetFileDialogHook([&](bool, OPENFILENAMEW&) {
        ::SendMessageW(Dlg(), WM_CLOSE, 0, 0);
        openUnderTheFileDialog = !Closed();
        return FALSE;
    });
    Command(kExportAll);
    PumpPosted();
    EXPECT_TRUE(openUnderTheFileDialog);
    EXPECT_FALSE(Closed());
    EXPECT_FALSE(Frame->IsBusy(BusyFlag::Settings));
    Command(kCloseItem);
    ASSERT_TRUE(PumpUntil([&] { return Closed(); }));
}

TEST_F(ImportExportTest, CancelledFileDialogsSendNothingAndClearTheBusyFlag) {
    Open();
    Path.clear();
    AnswerFileDialogs();
    const size_t before = Service->Requests().size();
    CMessageBoxRecorder boxes;
    Command(kImportAll);
    Command(kExportAll + 1);
    PumpPosted();
    PumpFor(100);
    EXPECT_EQ(FileDialogs.size(), 2u);
    EXPECT_EQ(Service->Requests().size(), before);
    EXPECT_TRUE(boxes.Calls.empty());
    EXPECT_FALSE(Frame->IsBusy(BusyFlag::Settings));
    // And Quit is held by nothing.
    Quit();
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
}

// A refused save batch, or a refused export, that ends while the question of a close is open
// shows its box and closes nothing; nor does it give the close up: Yes then saves, and the end of
// that save closes the dialog.
class AFailureUnderTheCloseQuestionTest : public ImportExportTest,
                                          public testing::WithParamInterface<bool> {};

TEST_P(AFailureUnderTheCloseQuestionTest, NeitherClosesNorEndsTheClose) {
    const bool exportFails = GetParam();
    Open();
    AnswerFileDialogs();
    SelectTab(2);
    Type(Control(1, IDC_SET_NAME), L"Edited");
    const size_t before = Service->Requests().size();
    std::unique_ptr<CHeldReply> held;
    if (exportFails) {
        std::lock_guard<std::mutex> guard(Svc.Lock);
        Svc.ExportResult = 5;
    } else {
        std::lock_guard<std::mutex> guard(Svc.Lock);
        Svc.SaveResults[3] = 5;
    }
    held =
        std::make_unique<CHeldReply>(Svc, exportFails ? CMD_EXPORT : CMD_SAVE_CONFIG, exportFails ? 0 : 10);
    if (exportFails)
        Command(kExportAll);
    else
        ClickSave();
    ASSERT_TRUE(PumpUntil([&] { return held->Held(); }));

    CMessageBoxRecorder boxes;
    bool openAfterTheFailure = false;
    int closeStateAfterIt = -1;
    boxes.OnBox = [&](const MessageBoxCall& call) {
        if (call.Text != BuiltinUiText(209))
            return;
        {
            std::lock_guard<std::mutex> guard(Svc.Lock);
            Svc.SaveResults.clear(); // the close's own save goes through
        }
        held->Release();
        EXPECT_TRUE(PumpUntil(
            [&] { return Closed() || (boxes.Calls.size() == 2 && !Dialog()->IsOperationInFlight()); }));
        PumpPosted();
        openAfterTheFailure = !Closed();
        closeStateAfterIt = openAfterTheFailure ? Dialog()->GetCloseState() : -1;
        boxes.Answers = {IDYES};
    };
    Command(kCloseItem);
    ASSERT_TRUE(PumpUntil([&] { return Closed(); }));
    EXPECT_TRUE(openAfterTheFailure);
    EXPECT_EQ(closeStateAfterIt, 1) << "the close is still under way";
    ASSERT_EQ(boxes.Calls.size(), 2u);
    EXPECT_EQ(boxes.Calls[0].Text, BuiltinUiText(209));
    EXPECT_EQ(boxes.Calls[1].Text, BuiltinUiText(214));
    EXPECT_EQ(RequestsOf(CMD_SAVE_CONFIG, before).size(), exportFails ? 20u : 40u);
    EXPECT_EQ(ConnectionName(Svc.Record(1)), L"Edited");
    EXPECT_FALSE(Frame->IsBusy(BusyFlag::Settings));
}

INSTANTIATE_TEST_SUITE_P(SaveOrExport, AFailureUnderTheCloseQuestionTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "AnExport" : "ASaveBatch");
                         });

// ---------------------------------------------------------------------------------------------
// "language.csv" and the labels

TEST_F(SettingsDialogTest, SixSectionsOfTheLanguageFileGiveTheTexts) {
    std::string file = "[dlgvpnconnect]\r\nSettings\r\nStore\r\n"
                       "[olesetvpnconnect]\r\nBy address\r\nBy host\r\nName:\r\nKey:\r\nKey again:\r\n"
                       "Server:\r\nFROM FILE\r\nMethod:\r\nUser:\r\nPassword:\r\nConnection\r\n"
                       "[olevpnconnect]\r\nConnections\r\n";
    for (int i = 1; i <= 20; ++i)
        file += "radio " + std::to_string(i) + "\r\n";
    file += "Go\r\n";
    for (int i = 1; i <= 20; ++i)
        file += i == 2 ? "\r\n" : "state " + std::to_string(i) + "\r\n";
    file += "[menusetvpnconnect]\r\nFile\r\nImport\r\nExport\r\nClose\r\nQuit\r\n";
    for (int i = 0; i < 150; ++i)
        file += "filler\r\n";
    file += "[menusetvpnconnect_2_0]\r\nAll of them\r\n";
    for (int i = 1; i <= 20; ++i)
        file += "import " + std::to_string(i) + "\r\n";
    file += "[menusetvpnconnect_2_1]\r\nEvery one\r\n";
    WriteLanguageFile(file);
    Open();

    EXPECT_EQ(WindowText(Dlg()), L"Settings");
    EXPECT_EQ(WindowText(Save()), L"Store");
    EXPECT_EQ(WindowText(Control(0, IDC_SET_SERVER_ADDRESS_MODE)), L"By address");
    EXPECT_EQ(WindowText(Control(0, IDC_SET_SERVER_HOST_MODE)), L"By host");
    EXPECT_EQ(WindowText(Control(0, IDC_SET_NAME_LABEL)), L"Name:");
    EXPECT_EQ(WindowText(Control(0, IDC_SET_PSK_AGAIN_LABEL)), L"Key again:");
    EXPECT_EQ(WindowText(Control(0, IDC_SET_SERVER_KIND_LABEL)), L"Server:");
    EXPECT_EQ(WindowText(Control(0, IDC_SET_SERVER_LABEL)), L"IPアドレス ：")
        << "replaced by the mode's text";
    EXPECT_EQ(WindowText(Control(2, IDC_SET_SERVER_LABEL)), L"ホスト名 ：");
    EXPECT_EQ(WindowText(Control(0, IDC_SET_AUTH_LABEL)), L"Method:");
    EXPECT_EQ(WindowText(Control(0, IDC_SET_PASSWORD_LABEL)), L"Password:");
    EXPECT_EQ(WindowText(Control(19, IDC_SET_GROUP)), L"Connection");
    EXPECT_EQ(WindowText(Control(0, IDC_SET_INTERNET_LABEL)), L"インターネット接続 ：") << "no line";

    EXPECT_EQ(WindowText(ConnControl(IDC_CONN_GROUP)), L"Connections");
    EXPECT_EQ(WindowText(Radio(0)), L"01：Office 1") << "the connection labels win";
    EXPECT_EQ(WindowText(ConnControl(IDC_CONN_BUTTON)), L"接続");
    EXPECT_EQ(WindowText(StateLabel(0)), L"state 1");
    EXPECT_EQ(WindowText(StateLabel(1)), L"未接続") << "an empty line keeps the built-in text";
    EXPECT_EQ(WindowText(StateLabel(19)), L"state 20");

    const HMENU bar = ::GetMenu(Dlg());
    EXPECT_EQ(GetMenuItemText(bar, 0, true), L"File");
    const HMENU fileMenu = GetPopup(bar, 0).get();
    EXPECT_EQ(GetMenuItemText(fileMenu, 0, true), L"Import");
    EXPECT_EQ(GetMenuItemText(fileMenu, 1, true), L"Export");
    EXPECT_EQ(GetMenuItemText(fileMenu, 3, true), L"Close");
    EXPECT_EQ(GetMenuItemText(fileMenu, 4, true), L"Quit");
    EXPECT_EQ(::GetMenuItemID(fileMenu, 3), UINT(kCloseItem));
    ASSERT_NE(Submenu(0), nullptr) << "the popups keep their submenus";
    ASSERT_NE(Submenu(1), nullptr);
    EXPECT_EQ(GetMenuItemText(Submenu(0), 0, true), L"All of them");
    EXPECT_EQ(GetMenuItemText(Submenu(0), 1, true), L"01：Office 1");
    EXPECT_EQ(GetMenuItemText(Submenu(1), 0, true), L"Every one");
    EXPECT_EQ(GetMenuItemText(Submenu(1), 20, true), L"20：Office 20");
    EXPECT_EQ(::GetMenuItemID(Submenu(1), 0), UINT(kExportAll));
}

// A page reached from another page, by a click or by the arrow keys, draws whole: every control
// of it that has a text shows it, not only the tab strip above it. So does the page shown again
// after a save.
TEST_F(SettingsDialogTest, APageDrawsWholeWhicheverPageItIsReachedFrom) {
    Open();
    enum class How { Click, RightArrow, LeftArrow, Save };
    struct Step {
        const char* Name;
        int Tab;
        How By;
    };
    const Step steps[] = {
        {"0 to 1", 1, How::Click},
        {"1 to 2 right after opening", 2, How::Click},
        {"2 to 20", 20, How::Click},
        {"20 to 19", 19, How::Click},
        {"19 to 18", 18, How::Click},
        {"right arrow, 18 to 19", 19, How::RightArrow},
        {"left arrow, 19 to 18", 18, How::LeftArrow},
        {"18 to the connection page", 0, How::Click},
        {"the connection page to 5", 5, How::Click},
        {"5 after a save", 5, How::Save},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.Name);
        switch (step.By) {
        case How::Click:
            SelectTab(step.Tab);
            break;
        case How::RightArrow:
        case How::LeftArrow:
            ::SetFocus(Tab());
            wintest::PostKey(Dlg(), step.By == How::RightArrow ? VK_RIGHT : VK_LEFT);
            ASSERT_TRUE(PumpUntil([&] { return TabCtrl_GetCurSel(Tab()) == step.Tab; }));
            break;
        case How::Save:
            Type(Control(step.Tab - 1, IDC_SET_USER), L"saved");
            ClickSave();
            ASSERT_TRUE(WaitForSaves(20, 0));
            break;
        }
        const HWND page = step.Tab == 0 ? ConnPage() : Page(step.Tab - 1);
        ASSERT_TRUE(PumpUntil([&] { return ::IsWindowVisible(page) && NothingToPaint(page); }));
        std::vector<int> blank;
        for (HWND c = ::GetWindow(page, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
            if (::IsWindowVisible(c) && !WindowText(c).empty() && !ShowsInk(c))
                blank.push_back(::GetDlgCtrlID(c));
        }
        EXPECT_THAT(blank, testing::IsEmpty()) << "controls left undrawn";
    }
}

TEST_F(SettingsDialogTest, EveryPageSitsInsideTheTabFrameBelowAllRowsOfTabs) {
    Open();
    RECT frame{};
    ASSERT_TRUE(::GetWindowRect(Tab(), &frame));
    LONG rowsBottom = frame.top;
    for (int n = 0; n < 21; ++n) {
        RECT item{};
        ASSERT_TRUE(TabCtrl_GetItemRect(Tab(), n, &item));
        ::MapWindowPoints(Tab(), nullptr, reinterpret_cast<POINT*>(&item), 2);
        rowsBottom = std::max(rowsBottom, item.bottom);
    }
    std::vector<HWND> pages = {ConnPage()};
    for (int k = 0; k < 20; ++k)
        pages.push_back(Page(k));
    for (const HWND page : pages) {
        RECT placed{};
        ASSERT_TRUE(::GetWindowRect(page, &placed));
        EXPECT_GE(placed.top, rowsBottom);
        EXPECT_GT(placed.left, frame.left);
        EXPECT_LT(placed.right, frame.right);
        EXPECT_LT(placed.bottom, frame.bottom);
    }
}

TEST_F(SettingsDialogTest, TheMethodListShowsAllFourMethodsWhenItOpens) {
    Open();
    SelectTab(1);
    const HWND list = Control(0, IDC_SET_AUTH);
    ::SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(::GetComboBoxInfo(list, &info));
    RECT shown{};
    ::GetClientRect(info.hwndList, &shown);
    const LRESULT itemHeight = ::SendMessageW(info.hwndList, LB_GETITEMHEIGHT, 0, 0);
    EXPECT_GE(shown.bottom, 4 * itemHeight);
    ::SendMessageW(list, CB_SHOWDROPDOWN, FALSE, 0);
}

// Every label shows its whole text in the dialog font: no text cut at the edge of its control.
TEST_F(SettingsDialogTest, EveryLabelShowsItsWholeText) {
    Open();
    const auto fits = [](HWND control) {
        wchar_t className[32] = {};
        ::GetClassNameW(control, className, 32);
        const LONG_PTR style = ::GetWindowLongPtrW(control, GWL_STYLE);
        const std::wstring text = WindowText(control);
        if (text.empty() || (wcscmp(className, L"Static") != 0 && wcscmp(className, L"Button") != 0))
            return;
        const HDC dc = ::GetDC(control);
        const HGDIOBJ old =
            ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
        RECT need{0, 0, 0, 0};
        ::DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_SINGLELINE);
        ::SelectObject(dc, old);
        ::ReleaseDC(control, dc);
        RECT have{};
        ::GetClientRect(control, &have);
        int room = have.right;
        const LONG_PTR kind = style & BS_TYPEMASK;
        if (wcscmp(className, L"Button") == 0 && kind != BS_PUSHBUTTON && kind != BS_DEFPUSHBUTTON)
            room -= ::GetSystemMetrics(SM_CXMENUCHECK) + 4; // the box or circle and its gap
        if (wcscmp(className, L"Button") == 0 && kind == BS_GROUPBOX)
            room = have.right - 16;
        EXPECT_LE(need.right, room) << "\"" << std::string(text.begin(), text.end()) << "\" in control "
                                    << ::GetDlgCtrlID(control);
        EXPECT_LE(need.bottom, have.bottom) << ::GetDlgCtrlID(control);
    };
    for (const HWND page : {ConnPage(), Page(0), Page(2)}) {
        for (HWND c = ::GetWindow(page, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
            fits(c);
    }
    fits(Save());
}

} // namespace
} // namespace corvel
