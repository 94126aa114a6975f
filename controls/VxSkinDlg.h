// CVxSkinDlg: a dialog that draws its own frame: a caption band with the
// window icon and title (dragging it moves the window), a tiled background
// and a border. Subclasses paint their own parts on top in PaintExtra.
#pragma once

#include "base/Handles.h"
#include "ui/Dialog.h"

class CVxSkinDlg : public ui::CDialog {
public:
    explicit CVxSkinDlg(UINT templateId) : CDialog(templateId) {}

    // Height of the caption band in pixels.
    static const int kCaptionHeight = 24;

protected:
    // Loads the caption, border and background tiles (bitmap resources).
    void LoadSkin(UINT caption, UINT border, UINT background);
    // The small icon drawn in the caption band.
    void SetCaptionIcon(HICON icon) { m_captionIcon = icon; }

    BOOL OnPaint() override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind) override;

    // Called after the skin is painted, on the same device context.
    virtual void PaintExtra(HDC dc) {}

private:
    void PaintSkin(HDC dc, const RECT& client);

    ui::CBitmap m_caption;
    ui::CBitmap m_border;
    ui::CBitmap m_background;
    ui::CBrush m_backgroundBrush;
    HICON m_captionIcon = nullptr;
};

// Tiles `bitmap` over `rect` of `dc`.
void TileBitmap(HDC dc, HBITMAP bitmap, const RECT& rect);
