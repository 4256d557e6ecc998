#pragma once
// The settings dialog's menu bar (menu 150): the command IDs, what an import or export command
// selects, its file dialog, and the texts "language.csv" gives the menu. The window applies them
// by position and keeps each popup's submenu.
#include "LanguageFile.h"
#include "Requests.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

inline constexpr unsigned kSettingsCloseCommand = 32800; // "閉じる(&Q)": WM_CLOSE to the dialog
inline constexpr unsigned kSettingsQuitCommand = 32801;  // "終了(&W)"
inline constexpr unsigned kImportCommandFirst = 32810;   // "一括"; then connections 1 to 20
inline constexpr unsigned kImportCommandLast = 32830;
inline constexpr unsigned kExportCommandFirst = 32831;
inline constexpr unsigned kExportCommandLast = 32851;
inline constexpr int kSettingsSubmenuItems = 21; // "一括" and the 20 connections

enum class SettingsFileCommand { None, Import, Export };

struct CSettingsFileSelection {
    SettingsFileCommand Command = SettingsFileCommand::None;
    uint8_t Selection = 0; // 0 all connections, n connection n only
};

// The command and selection of a menu ID; None for any ID outside the two submenus.
CSettingsFileSelection SelectionFromCommand(unsigned id);

// The CMD_IMPORT or CMD_EXPORT frame of a selection and the chosen path (UTF-16LE, no
// terminator); empty for None.
RequestFrame BuildSettingsFileRequest(const CSettingsFileSelection& selection, std::wstring_view path);

// The file dialog of a command: import opens, export saves; no parent window, modal.
struct CSettingsFileDialog {
    bool Open;
    const wchar_t* DefaultExtension;
    const wchar_t* InitialName;
    unsigned long Flags;
    const wchar_t* Filter; // '|'-separated, as CFileDialog takes it
};
CSettingsFileDialog SettingsFileDialogOf(SettingsFileCommand command);

enum class SettingsMenuLevel {
    Bar,    // the menu bar
    File,   // popup "ファイル(&F)" at bar position 0
    Import, // File position 0
    Export, // File position 1
};

struct CSettingsMenuText {
    SettingsMenuLevel Menu;
    int Position;
    unsigned CommandId; // 0 for a popup, whose submenu stays
    std::wstring Text;
};

// "[menusetvpnconnect]" among the first 700 lines, then "[menusetvpnconnect_2_0]" and
// "[menusetvpnconnect_2_1]" each searched on from the section before within 200 further lines
// counted across both. A section not found ends the reading. Only the lines that give a text
// are returned, in file order; the 20 connection items that the import and export sections
// give are replaced by the connection labels right after (MakeSettingsMenuLabel).
std::vector<CSettingsMenuText> ReadSettingsMenuTexts(CLanguageFile& file);

} // namespace corvel
