#pragma once
// The shared texts of the tray program, named by the resource ID of their built-in text:
// 128 and 200 to 228, filled once from "[stringtable]" when the main frame is created.
#include <array>
#include <functional>
#include <string>
#include <vector>

namespace corvel {

// Built-in text of the OLE failure box (resource string 100).
inline constexpr unsigned kOleInitFailedTextId = 100;
extern const wchar_t kOleInitFailedText[];

class CUiText {
public:
    static constexpr int kCount = 30;

    // Entry 0 is ID 128, entry k (1 to 29) ID 199 + k; -1 for any other ID.
    static int IndexOf(unsigned id);
    static unsigned IdAt(int index);
    // The lines of "[stringtable]" that are consumed but fill no entry (IDs 217, 220 to 226).
    static bool IsReserved(unsigned id);

    // Empty for an unknown or reserved ID.
    const std::wstring& Get(unsigned id) const;

    // Line k of the section fills entry k; an empty line, or a section not found (all lines
    // empty), takes builtin(id) instead. Reserved entries stay empty.
    void Fill(const std::vector<std::wstring>& lines, const std::function<std::wstring(unsigned)>& builtin);

private:
    std::array<std::wstring, kCount> m_texts;
};

// The program's built-in texts of the table, as its resources hold them; empty for a reserved
// or unknown ID.
const wchar_t* BuiltinUiText(unsigned id);

} // namespace corvel
