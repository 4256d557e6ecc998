// The frame window: a top-level window of a framework class, loaded from one resource ID.
#pragma once

#include "Window.h"

namespace corvel {

class CFrameWnd : public CWnd {
public:
    CFrameWnd() = default;
    // Destroys a window still alive here, while this is still a CFrameWnd.
    ~CFrameWnd() override;

    // Creates the frame: title from string `resourceId` (up to its first '\n'), menu `resourceId` when
    // there is one. PreCreateWindow may change everything first. FALSE when creation failed.
    BOOL LoadFrame(UINT resourceId, DWORD style = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE,
                   CWnd* parent = nullptr);

    // Base: the window class is one of class style 0 with no cursor, brush or icon (the frame stays
    // hidden), extended style WS_EX_CLIENTEDGE. FALSE ends creation.
    virtual BOOL PreCreateWindow(CREATESTRUCTW& cs);
};

} // namespace corvel
