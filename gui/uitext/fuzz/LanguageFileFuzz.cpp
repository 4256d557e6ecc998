// "language.csv" as every reader walks it: each section in turn, and the settings menu's
// onward search across its two submenu sections.
#include "LanguageFile.h"
#include "RasErrorTexts.h"

#include <cstdlib>
#include <string>

using namespace corvel;

namespace {

// Byte for character: enough to drive the line and section logic without a code page.
std::wstring Widen(std::string_view bytes) {
    return std::wstring(bytes.begin(), bytes.end());
}

const LanguageSection kSections[] = {
    sections::OleInitFailed,         sections::StringTable,         sections::MainMenu,
    sections::ConnectionSettingPage, sections::ConnectionPage,      sections::CredentialsDialog,
    sections::StartupWaitDialog,     sections::DisconnectingDialog, sections::ConnectingDialog,
    sections::SettingsDialog,        sections::VersionBox,          sections::CliConnectingDialog,
    sections::CliCredentialsDialog,
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    for (const LanguageSection& section : kSections) {
        CLanguageFile file(text, Widen);
        std::vector<std::wstring> lines = ReadSection(file, section.Name, size_t(section.Lines));
        if (lines.size() != size_t(section.Lines)) {
            std::abort();
        }
    }
    CLanguageFile menu(text, Widen);
    if (menu.SeekSection(sections::SettingsMenu.Name)) {
        menu.ReadEntries(size_t(sections::SettingsMenu.Lines));
        menu.ResetCount();
        if (menu.SeekSection(sections::SettingsImportMenu.Name, sections::kSettingsSubmenuLineLimit)) {
            menu.ReadEntries(size_t(sections::SettingsImportMenu.Lines));
            menu.SeekSection(sections::SettingsExportMenu.Name, sections::kSettingsSubmenuLineLimit);
        }
    }
    return 0;
}
