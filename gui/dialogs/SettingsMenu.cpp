#include "SettingsMenu.h"

#include "SettingValues.h"

namespace corvel {

CSettingsFileSelection SelectionFromCommand(unsigned id) {
    CSettingsFileSelection selection;
    if (id >= kImportCommandFirst && id <= kImportCommandLast) {
        selection.Command = SettingsFileCommand::Import;
        selection.Selection = uint8_t(id - kImportCommandFirst);
    } else if (id >= kExportCommandFirst && id <= kExportCommandLast) {
        selection.Command = SettingsFileCommand::Export;
        selection.Selection = uint8_t(id - kExportCommandFirst);
    }
    return selection;
}

RequestFrame BuildSettingsFileRequest(const CSettingsFileSelection& selection, std::wstring_view path) {
    switch (selection.Command) {
    case SettingsFileCommand::Import:
        return BuildImportRequest(Utf16FromWide(path), selection.Selection);
    case SettingsFileCommand::Export:
        return BuildExportRequest(Utf16FromWide(path), selection.Selection);
    case SettingsFileCommand::None:
        break;
    }
    return RequestFrame();
}

CSettingsFileDialog SettingsFileDialogOf(SettingsFileCommand command) {
    static constexpr wchar_t kFilter[] = L"Binary File (*.bin)|*.bin|All File(*.*)|*.*||";
    static constexpr wchar_t kInitialName[] = L"*.bin";
    // Appended to a name typed without one (the dialog takes the extension without its dot).
    static constexpr wchar_t kExtension[] = L"bin";
    // Open: OFN_LONGNAMES | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY. Save: OFN_LONGNAMES |
    // OFN_OVERWRITEPROMPT; an export must be able to name a file that does not exist yet.
    if (command == SettingsFileCommand::Export)
        return CSettingsFileDialog{false, kExtension, kInitialName, 0x200002, kFilter};
    return CSettingsFileDialog{true, kExtension, kInitialName, 0x201004, kFilter};
}

namespace {

void AddTexts(std::vector<CSettingsMenuText>& out, const std::vector<std::wstring>& lines,
              SettingsMenuLevel menu, unsigned firstCommand) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].empty())
            out.push_back(CSettingsMenuText{menu, int(i), firstCommand + unsigned(i), lines[i]});
    }
}

} // namespace

std::vector<CSettingsMenuText> ReadSettingsMenuTexts(CLanguageFile& file) {
    std::vector<CSettingsMenuText> texts;
    if (!file.SeekSection(sections::SettingsMenu.Name))
        return texts;
    // Lines 1 to 5: bar position 0, File positions 0 and 1 (popups), 3 (Close) and 4 (Quit).
    static const CSettingsMenuText kMainTargets[] = {
        {SettingsMenuLevel::Bar, 0, 0, {}},
        {SettingsMenuLevel::File, 0, 0, {}},
        {SettingsMenuLevel::File, 1, 0, {}},
        {SettingsMenuLevel::File, 3, kSettingsCloseCommand, {}},
        {SettingsMenuLevel::File, 4, kSettingsQuitCommand, {}},
    };
    for (const CSettingsMenuText& target : kMainTargets) {
        std::wstring line = file.ReadEntry();
        if (line.empty())
            continue;
        CSettingsMenuText text = target;
        text.Text = std::move(line);
        texts.push_back(std::move(text));
    }

    file.ResetCount();
    if (!file.SeekSection(sections::SettingsImportMenu.Name, sections::kSettingsSubmenuLineLimit))
        return texts;
    file.ResetCount();
    AddTexts(texts, file.ReadEntries(size_t(sections::SettingsImportMenu.Lines)), SettingsMenuLevel::Import,
             kImportCommandFirst);
    // The same counter goes on: the export section must follow within the rest of the 200 lines.
    if (!file.SeekSection(sections::SettingsExportMenu.Name, sections::kSettingsSubmenuLineLimit))
        return texts;
    AddTexts(texts, file.ReadEntries(size_t(sections::SettingsExportMenu.Lines)), SettingsMenuLevel::Export,
             kExportCommandFirst);
    return texts;
}

} // namespace corvel
