#pragma once
// The program's icon in the notification area: its data, the add (again when a shell starts
// afresh), the icon it shows and its removal. The frame owns it and says when.
#include <windows.h>
#include <shellapi.h>

namespace corvel {

class CTrayIcon {
public:
    // The icon of `window`, which receives `callbackMessage`: 145 (not connected), tip "Corvel".
    // Nothing is added yet.
    void Fill(HWND window, UINT callbackMessage);
    // From the start-up's add on the icon is wanted, until Remove.
    void Add();
    // TaskbarCreated: a shell that starts (or restarts) after us has lost our icon. True when
    // it was wanted and has been added again.
    bool OnTaskbarCreated();
    // 130 or 145. An add that failed at start-up (no shell tray yet) is made good here.
    void Show(UINT iconId);
    void Remove();

    const NOTIFYICONDATAW& Data() const { return m_data; }
    // The icon shown now (130 or 145); 0 before Fill.
    UINT IconId() const { return m_iconId; }

private:
    void AddNow();

    NOTIFYICONDATAW m_data{};
    UINT m_iconId = 0;
    bool m_added = false;
    bool m_wanted = false;
};

} // namespace corvel
