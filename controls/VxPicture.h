// CVxPicture: a picture that may be animated (GIF frames with their delays),
// decoded with GDI+ and drawn scaled to fit the control, centred on a
// background colour. An optional tooltip. A click sends WM_COMMAND with
// STN_CLICKED and the control's id to the parent, as a notifying static does.
#pragma once

#include "controls/GdiPlusImage.h"
#include "controls/VxControl.h"
#include "ui/Palette.h"

#include <windows.h>

#include <string>

class CVxPicture : public CVxControl {
public:
    bool Create(HWND parent, int id, const RECT& rect, DWORD style = WS_VISIBLE);
    bool CreateOver(HWND placeholder);

    // Stops and unloads the current picture, then loads the new one and
    // starts its animation. False (and an empty control) when it cannot be
    // decoded.
    bool LoadFile(const std::wstring& path);
    bool LoadResource(HINSTANCE module, const wchar_t* type, UINT id);
    void Unload();

    void SetBackColour(COLORREF colour) { m_back = colour; }
    void SetTooltip(const std::wstring& text);
    const std::wstring& Tooltip() const { return m_tipText; }
    HWND TooltipWindow() const { return m_tip; }

    bool IsEmpty() const { return m_image.frames.empty(); }
    int FrameCount() const { return static_cast<int>(m_image.frames.size()); }
    int CurrentFrame() const { return m_frame; }
    // The bitmap drawn now (null when empty).
    HBITMAP CurrentBitmap() const;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    bool Show(bool decoded);
    void Paint(HDC dc) override;
    void ScheduleNextFrame();

    DECODED_IMAGE m_image;
    int m_frame = 0;
    COLORREF m_back = ui::palette::kPageGround;
    HWND m_tip = nullptr; // destroyed with the control
    std::wstring m_tipText;
    bool m_pressed = false;
};
