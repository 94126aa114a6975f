// CBalloonHelp: the balloon that points at a place on the screen (the
// notification icon) with the system's information icon, a bold title, a
// text of one or more lines and a footer link. At most one balloon exists in
// the process: showing another while one is up replaces the content,
// position, owner and kind of the one shown and restarts its timer. It
// closes by itself after 5000 ms; a click on the footer link closes it and
// sends WM_BALLOON_OFF (wParam: the kind) to the owner.
//
// A topmost popup that never takes the focus. User-interface thread only.
#pragma once

#include "base/Handles.h"
#include "controls/VxControl.h"

#include <windows.h>

#include <string>

// Where a balloon of a given body size goes for an anchor point on a screen.
struct BALLOON_PLACEMENT {
    RECT window;   // screen rectangle of the window, stem included
    RECT body;     // the rounded body in window coordinates
    POINT stem[3]; // the stem triangle in window coordinates; stem[2] is the tip
    bool above;    // the body is above the anchor (stem at its bottom)
};

class CBalloonHelp : public CVxControl {
public:
    // Shows the balloon, or refreshes the one shown, pointing at `anchor`
    // (screen coordinates). `kind` travels back with the notify message.
    static void Show(HWND owner, int kind, const std::wstring& title, const std::wstring& text,
                     const std::wstring& footer, POINT anchor);
    // The balloon shown now, or null.
    static HWND Current();
    static CBalloonHelp* Instance();
    // Closes the balloon shown, if any.
    static void Close();
    // How long a balloon stays up (5000 ms unless changed).
    static void SetTimeout(UINT milliseconds);
    static UINT Timeout();
    // The message posted to the owner when the user clicks the footer
    // (wParam: the kind); 0, the default, posts nothing.
    static void SetNotifyMessage(UINT message);

    // Where a body of `body` size goes so that the stem's tip is at
    // `anchor` and all of it lies on `screen`: above the anchor when the
    // anchor is in the lower half of the screen, below it otherwise.
    static BALLOON_PLACEMENT Place(SIZE body, POINT anchor, const RECT& screen);

    HWND Owner() const { return m_owner; }
    int Kind() const { return m_kind; }
    const std::wstring& Title() const { return m_title; }
    const std::wstring& Text() const { return m_text; }
    const std::wstring& Footer() const { return m_footer; }
    POINT Anchor() const { return m_anchor; }
    // The footer link in client coordinates (empty without a footer).
    RECT FooterRect() const { return m_footerRect; }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage() override;

private:
    CBalloonHelp() = default;
    bool CreateWindowOnce();
    void Layout();
    void Paint(HDC dc) override;
    void FooterClicked();

    HWND m_owner = nullptr;
    int m_kind = 0;
    std::wstring m_title, m_text, m_footer;
    POINT m_anchor = {};
    BALLOON_PLACEMENT m_place = {};
    RECT m_iconRect = {}, m_titleRect = {}, m_textRect = {}, m_footerRect = {};
    bool m_linkPressed = false;
    ui::CFont m_titleFont, m_textFont, m_linkFont;
    ui::CGdiObject<HRGN> m_shape; // our copy of the window region, for painting
};
