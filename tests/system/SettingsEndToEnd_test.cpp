// The settings dialog of the main frame in this process against the shipped CORVELSVC.exe,
// installed under Wine's service manager with the scripted rasapi32.dll beside it: what the
// dialog saves is what "corvel.dat" holds, an exported file imported again brings its values
// back into the dialog, and a file that holds no settings is refused and changes nothing.
#include "MainFrameTestFixture.h"
#include "SettingsDialogDriver.h"

#include "DataFileImages.h"
#include "E2eHarness.h"
#include "FileDialog.h"
#include "SettingValues.h"

namespace corvel {

CCorvelApp g_app; // the test program's application object; InitInstance never runs here

namespace {

using namespace e2e;
using namespace settingstest;
using namespace testfixture;
using wintest::PumpUntil;

constexpr DWORD kStartMs = 15000;
constexpr DWORD kStopMs = 30000;
constexpr DWORD kRequestsMs = 60000; // twenty records through the real service and its file

class SettingsEndToEndTest : public MainFrameTest {
protected:
    SettingsEndToEndTest() : Folder(L"SettingsDialog-EndToEnd") {}

    void SetUp() override {
        MainFrameTest::SetUp();
        Settings = SettingsWindow::Real;
        ASSERT_EQ(0u, Folder.Create());
        ASSERT_EQ(0u, Folder.CopyIn(ToWindowsPath(CORVEL_E2E_SERVICE_EXE)));
        ASSERT_EQ(0u, Folder.CopyIn(ToWindowsPath(CORVEL_E2E_FAKERAS_DLL), L"rasapi32.dll"));
        ASSERT_EQ(0u, SetNativeRasOverride(L"CORVELSVC.exe"));
        Original = MakeSampleContent(u"Site ");
        std::vector<uint8_t> data = BuildPlainDataFile(kDataFileSize, Original);
        ASSERT_EQ(0u, CryptDataFile(data));
        ASSERT_EQ(0u, WriteWholeFile(Folder.File(L"corvel.dat"), data));
        ASSERT_EQ(0u, Service.InstallAndRun(kServiceName, Folder.File(L"CORVELSVC.exe"), kStartMs));
    }

    void TearDown() override {
        SetFileDialogHook(nullptr);
        for (HWND dialog : wintest::OpenDialogs(IDD_VPN_CONNECT))
            ::DestroyWindow(dialog);
        MainFrameTest::TearDown(); // the frame and its request thread go first
        if (Service.Installed()) {
            EXPECT_EQ(0u, Service.Stop(kStopMs));
        }
    }

    // The frame started against the service, then the dialog opened by a double click on the
    // tray icon once the 20 records of the data file are in.
    CDlgVpnConnect* OpenDialog() {
        CreateFrame();
        const bool loaded = PumpUntil(
            [&] {
                return Frame->GetLoadIndex() == 0 &&
                       ConnectionName(Frame->GetConfigRecords().Record(19)) == L"Site 20";
            },
            kRequestsMs);
        EXPECT_TRUE(loaded);
        if (!loaded)
            return nullptr;
        Frame->SendMessage(WM_TRAY_NOTIFY, 0, WM_LBUTTONDBLCLK);
        EXPECT_TRUE(PumpUntil([&] { return Frame->GetSettingsDialog() != nullptr; }, kRequestsMs));
        return dynamic_cast<CDlgVpnConnect*>(Frame->GetSettingsDialog());
    }

    // The records of "corvel.dat" as the service wrote it, decrypted.
    std::vector<VPNCONFIG> DataFileRecords() {
        std::vector<uint8_t> data;
        EXPECT_EQ(0u, ReadWholeFile(Folder.File(L"corvel.dat"), data));
        EXPECT_EQ(data.size(), kDataFileSize);
        if (data.size() != kDataFileSize)
            return {};
        EXPECT_EQ(0u, CryptDataFile(data));
        std::vector<VPNCONFIG> records;
        for (size_t k = 0; k < kVpnCount; ++k)
            records.push_back(VPNCONFIG::FromBytes(data.data() + kRecordsOffset + k * VPNCONFIG::kSize));
        return records;
    }

    // Waits until the operation under way has ended (BusyFlag::Settings clear) and Save is off.
    bool WaitUntilSettled(CDlgVpnConnect& dialog) {
        return PumpUntil(
            [&] { return !Frame->IsBusy(BusyFlag::Settings) && !::IsWindowEnabled(SaveButton(dialog)); },
            kRequestsMs);
    }

    CTestFolder Folder;
    CServiceControl Service;
    DataFileContent Original;
};

TEST_F(SettingsEndToEndTest, WhatTheDialogSavesIsWhatTheDataFileHoldsAndAnExportComesBackByImport) {
    CDlgVpnConnect* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    CMessageBoxRecorder boxes;

    // Connection 3 edited and saved: a new name, key and host name, a user.
    ASSERT_TRUE(SelectTab(*dialog, 3));
    Type(SettingControl(*dialog, 2, IDC_SET_NAME), L"東京本社 & 倉庫");
    Type(SettingControl(*dialog, 2, IDC_SET_PSK), L"新しい鍵");
    Type(SettingControl(*dialog, 2, IDC_SET_PSK_AGAIN), L"新しい鍵");
    ::SendMessageW(SettingControl(*dialog, 2, IDC_SET_SERVER_HOST_MODE), BM_CLICK, 0, 0);
    Type(SettingControl(*dialog, 2, IDC_SET_SERVER_HOST), L"vpn.tokyo.example.jp");
    Type(SettingControl(*dialog, 2, IDC_SET_USER), L"sato");
    ASSERT_TRUE(::IsWindowEnabled(SaveButton(*dialog)));
    ClickSave(*dialog);
    ASSERT_TRUE(WaitUntilSettled(*dialog));
    EXPECT_TRUE(boxes.Calls.empty());

    std::vector<VPNCONFIG> stored = DataFileRecords();
    ASSERT_EQ(stored.size(), kVpnCount);
    const VPNCONFIG& third = stored[2];
    EXPECT_EQ(ConnectionName(third), L"東京本社 & 倉庫");
    EXPECT_EQ(std::u16string(third.PreSharedKey), u"新しい鍵");
    EXPECT_EQ(third.ServerIsIpAddress, 0u);
    EXPECT_EQ(third.GetServerHostName(), u"vpn.tokyo.example.jp");
    EXPECT_EQ(std::u16string(third.UserName), u"sato");
    EXPECT_EQ(std::u16string(third.Password), u"pass3");
    EXPECT_EQ(third.Reserved, Original.Records[2].Reserved) << "kept by the page and the service";
    EXPECT_EQ(third.DestinationNetwork[2], 2);
    EXPECT_EQ(third.DnsAddressSet, 1u);
    for (size_t k = 0; k < kVpnCount; ++k) {
        if (k != 2) {
            EXPECT_EQ(stored[k].ToBytes(), Original.Records[k].ToBytes())
                << "record " << k << " saved unchanged";
        }
    }
    EXPECT_EQ(TabTitle(::GetDlgItem(dialog->m_hWnd, IDC_SETTINGS_TAB), 3).substr(0, 4), L"03：東");

    // Everything exported, connection 1 changed and saved, then the file imported again.
    const std::wstring exportPath = Folder.File(L"exported.bin");
    SetFileDialogHook([&](bool, OPENFILENAMEW& ofn) {
        wcscpy_s(ofn.lpstrFile, ofn.nMaxFile, exportPath.c_str());
        return TRUE;
    });
    ChooseMenuItem(*dialog, 32831);
    ASSERT_TRUE(PumpUntil([&] { return FileSize(exportPath) > 0 && !Frame->IsBusy(BusyFlag::Settings); },
                          kRequestsMs));
    ASSERT_TRUE(SelectTab(*dialog, 1));
    Type(SettingControl(*dialog, 0, IDC_SET_NAME), L"Changed");
    ClickSave(*dialog);
    ASSERT_TRUE(WaitUntilSettled(*dialog));
    ASSERT_EQ(ConnectionName(DataFileRecords().at(0)), L"Changed");

    ChooseMenuItem(*dialog, 32810);
    ASSERT_TRUE(PumpUntil(
        [&] {
            return !Frame->IsBusy(BusyFlag::Settings) &&
                   WindowText(SettingControl(*dialog, 0, IDC_SET_NAME)) == L"Site 1";
        },
        kRequestsMs));
    EXPECT_TRUE(boxes.Calls.empty());
    EXPECT_EQ(WindowText(SettingControl(*dialog, 2, IDC_SET_NAME)), L"東京本社 & 倉庫");
    EXPECT_EQ(WindowText(SettingControl(*dialog, 2, IDC_SET_SERVER_HOST)), L"vpn.tokyo.example.jp");
    EXPECT_EQ(TabTitle(::GetDlgItem(dialog->m_hWnd, IDC_SETTINGS_TAB), 1), L"01：Site 1");
    EXPECT_EQ(ConnectionName(Frame->GetConfigRecords().Record(0)), L"Site 1");
    EXPECT_EQ(ConnectionName(DataFileRecords().at(0)), L"Site 1") << "the service stored the import";
    EXPECT_FALSE(::IsWindowEnabled(SaveButton(*dialog)));
}

// Noise of the size of all 20, and a real export under another key: the service refuses both,
// the dialog shows its import failure and keeps its records, "corvel.dat" is as it was, and the
// dialog opens again afterwards.
TEST_F(SettingsEndToEndTest, AnImportOfAFileThatHoldsNoSettingsShowsItsFailureAndChangesNothing) {
    CDlgVpnConnect* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    CMessageBoxRecorder boxes;

    std::vector<uint8_t> noise(kVpnCount * VPNCONFIG::kSize);
    uint32_t seed = 12345; // its names, had they been stored, include one that Wine cannot draw
    for (uint8_t& b : noise) {
        seed = seed * 1103515245u + 12345u;
        b = uint8_t(seed >> 16);
    }
    std::vector<uint8_t> otherKey = BuildPlainDataFile(kDataFileSize, MakeSampleContent(u"他の鍵 "));
    otherKey.erase(otherKey.begin(), otherKey.begin() + kRecordsOffset);
    ASSERT_EQ(0u, CryptDataFile(otherKey));
    ASSERT_EQ(otherKey.size(), noise.size());

    std::vector<uint8_t> dataFile, after;
    ASSERT_EQ(0u, ReadWholeFile(Folder.File(L"corvel.dat"), dataFile));
    size_t failures = 0;
    for (const std::vector<uint8_t>* file : {&noise, &otherKey}) {
        SCOPED_TRACE(file == &noise ? "noise" : "another key");
        const std::wstring path = Folder.File(L"no-settings.bin");
        ASSERT_EQ(0u, WriteWholeFile(path, *file));
        SetFileDialogHook([&](bool, OPENFILENAMEW& ofn) {
            wcscpy_s(ofn.lpstrFile, ofn.nMaxFile, path.c_str());
            return TRUE;
        });
        ChooseMenuItem(*dialog, 32810);
        ++failures;
        ASSERT_TRUE(
            PumpUntil([&] { return BoxesWith(boxes, 213) == failures && !Frame->IsBusy(BusyFlag::Settings); },
                      kRequestsMs));
        EXPECT_EQ(boxes.Calls.size(), failures) << "the import failure only";
        EXPECT_EQ(WindowText(SettingControl(*dialog, 0, IDC_SET_NAME)), L"Site 1");
        EXPECT_EQ(TabTitle(::GetDlgItem(dialog->m_hWnd, IDC_SETTINGS_TAB), 20), L"20：Site 20");
        ASSERT_EQ(0u, ReadWholeFile(Folder.File(L"corvel.dat"), after));
        EXPECT_EQ(after, dataFile) << "corvel.dat byte for byte";
    }

    ChooseMenuItem(*dialog, 32800);
    ASSERT_TRUE(PumpUntil([&] { return Frame->GetSettingsDialog() == nullptr; }, kRequestsMs));
    Frame->SendMessage(WM_TRAY_NOTIFY, 0, WM_LBUTTONDBLCLK);
    ASSERT_TRUE(PumpUntil([&] { return Frame->GetSettingsDialog() != nullptr; }, kRequestsMs));
    dialog = dynamic_cast<CDlgVpnConnect*>(Frame->GetSettingsDialog());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(WindowText(SettingControl(*dialog, 19, IDC_SET_NAME)), L"Site 20");
}

} // namespace
} // namespace corvel
