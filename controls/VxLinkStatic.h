// CVxLinkStatic: a text label drawn as a link (underlined, blue unless
// given another colour) with the hand cursor. A click calls the callback
// when one is set, otherwise it sends WM_COMMAND with STN_CLICKED and the
// control's id to the parent, as a static control with SS_NOTIFY does.
#pragma once

#include "base/Handles.h"
#include "controls/VxColorStatic.h"

#include <functional>

class CVxLinkStatic : public CVxColorStatic {
public:
    CVxLinkStatic();

    void SetLinkColour(COLORREF colour) { SetTextColour(colour); }
    void SetCallback(std::function<void()> callback) { m_callback = std::move(callback); }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    const wchar_t* ClassName() const override { return L"HmVxLinkStatic"; }
    HCURSOR Cursor() const override { return LoadCursorW(nullptr, IDC_HAND); }
    HFONT DrawFont() const override;
    void FontChanged() override { m_linkFont.Reset(); }

private:
    void Clicked();

    mutable ui::CFont m_linkFont; // underlined copy of the font, made on first use
    std::function<void()> m_callback;
    bool m_pressed = false;
};
