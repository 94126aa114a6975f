// CVxBanner: a one-line banner that shows one text item at a time. An item
// stays for the hold time, then the next one slides in from below, the
// banner moving a few pixels per tick until it is in place; after the last
// item the first follows. While the mouse is over the banner the movement
// stops and the item's tooltip shows; leaving hides it and the movement goes
// on. A click hides the tooltip and sends the owner's message with the
// item's index in wParam. Without items the banner shows its empty text.
#pragma once

#include "controls/VxControl.h"
#include "ui/Palette.h"

#include <windows.h>

#include <string>
#include <vector>

class CVxBanner : public CVxControl {
public:
    struct Timing {
        UINT holdMs = 3294; // an item stays this long before the next slides in
        UINT tickMs = 100;  // one movement step
        int step = 2;       // pixels per step
    };

    // `clickMessage` is sent to the parent when an item is clicked.
    bool Create(HWND parent, int id, const RECT& rect, UINT clickMessage, DWORD style = WS_VISIBLE);
    bool CreateOver(HWND placeholder, UINT clickMessage);

    void SetTiming(const Timing& timing);
    void SetEmptyText(const std::wstring& text);
    void SetTextColour(COLORREF colour) { m_textColour = colour; }

    // Returns the new item's index.
    int AddItem(const std::wstring& text, const std::wstring& tooltip);
    void RemoveAllItems();

    int ItemCount() const { return static_cast<int>(m_items.size()); }
    const std::wstring& ItemText(int index) const { return m_items.at(static_cast<size_t>(index)).text; }
    const std::wstring& ItemTip(int index) const { return m_items.at(static_cast<size_t>(index)).tooltip; }
    // The item in place (or sliding out), -1 without items.
    int CurrentItem() const { return m_items.empty() ? -1 : m_current; }
    // Pixels the incoming item still has to travel (0 while an item rests).
    int SlideOffset() const { return m_offset; }
    bool MouseOver() const { return m_mouseOver; }
    HWND TooltipWindow() const { return m_tip; }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    struct Item {
        std::wstring text;
        std::wstring tooltip;
    };

    void Paint(HDC dc) override;
    void Tick();
    void DrawLine(HDC dc, const std::wstring& text, int top, int height);
    void AddTool();
    int NextItem() const { return (m_current + 1) % static_cast<int>(m_items.size()); }

    UINT m_clickMessage = 0;
    Timing m_timing;
    std::vector<Item> m_items;
    std::wstring m_emptyText;
    COLORREF m_textColour = ui::palette::kHeadingText;
    HFONT m_font = nullptr; // set with WM_SETFONT, not owned
    int m_current = 0;
    int m_offset = 0;
    UINT m_held = 0;        // ms the current item has rested
    bool m_mouseOver = false;
    HWND m_tip = nullptr;   // destroyed with the control
};
