// A page of the main window: a modeless child dialog on the white page
// ground. Enter and Escape do not close a page (IDOK and IDCANCEL are
// swallowed), and closing it destroys it. Every page derives from CPage and
// passes what it does not handle itself on to it.
#pragma once

#include "base/Handles.h"
#include "ui/Dialog.h"

#include <windows.h>

namespace ui {

class CPage : public CDialog {
public:
    explicit CPage(UINT templateId);

protected:
    // IDOK and IDCANCEL: handled (nothing happens). Everything else: FALSE.
    BOOL OnCommand(int id, int code, HWND control) override;
    // Destroys the page.
    BOOL OnClose() override;
    // The dialog and its static controls on the page ground.
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind) override;

    // The page ground's brush, for painting the client area.
    HBRUSH GroundBrush() const { return m_ground.Get(); }

private:
    CBrush m_ground;
};

} // namespace ui
