// CResizableDlg: a dialog whose controls follow its size by anchors, with a
// size grip, a minimum size (the template's), and its placement kept between
// runs ("%d,%d,%d,%d,%d,%d" under a name of its own, see base/WindowPlacement).
//
// An anchor says how far each corner of a control follows the dialog's
// growth, per axis, in percent: a control anchored top-left to bottom-right
// stretches with the dialog, one anchored bottom-right to bottom-right moves
// with the lower right corner. The template needs WS_THICKFRAME.
//
// Derived dialogs call CResizableDlg::OnInitDialog first, add their anchors,
// then RestorePlacement; their OnMessage and OnDestroy overrides pass on to
// this class.
#pragma once

#include "base/WindowState.h"
#include "ui/Dialog.h"

#include <windows.h>

#include <string>
#include <vector>

struct ANCHOR {
    int x; // percent of the horizontal growth, 0 to 100
    int y; // percent of the vertical growth
};
constexpr ANCHOR ANCHOR_TOP_LEFT{ 0, 0 };
constexpr ANCHOR ANCHOR_TOP_RIGHT{ 100, 0 };
constexpr ANCHOR ANCHOR_BOTTOM_LEFT{ 0, 100 };
constexpr ANCHOR ANCHOR_BOTTOM_RIGHT{ 100, 100 };

class CResizableDlg : public ui::CDialog {
public:
    explicit CResizableDlg(UINT templateId) : ui::CDialog(templateId) {}

    // Keep the placement under `name` of `key`: restored by RestorePlacement,
    // saved when the window is destroyed. Set before the window is created;
    // an empty name keeps nothing.
    void SetPlacementStore(const WindowStateKey& key, const std::wstring& name)
    {
        m_stateKey = key;
        m_placementName = name;
    }
    const WindowStateKey& StateKey() const { return m_stateKey; }

    // The smallest size the user can give the window (the template's size).
    SIZE MinimumSize() const { return m_minSize; }

protected:
    BOOL OnInitDialog() override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnDestroy() override;

    void AddAnchor(int id, ANCHOR topLeft, ANCHOR bottomRight) { AddAnchor(Item(id), topLeft, bottomRight); }
    void AddAnchor(HWND control, ANCHOR topLeft, ANCHOR bottomRight);
    // Moves the edges of an anchored control by the given amounts, as if the
    // template had placed it there, and lays the dialog out again unless
    // `arrange` is false (several shifts in a row: arrange after the last).
    // False when the control has no anchor.
    bool ShiftAnchor(HWND control, int dLeft, int dTop, int dRight, int dBottom, bool arrange = true);
    // Places every anchored control for the current client size.
    void ArrangeLayout();

    // Applies the stored placement when there is a usable one (see
    // ShowCommandToRestore); true when applied.
    bool RestorePlacement();
    void SavePlacement() const;

    // The size grip at the lower right corner (shown by default; hidden while
    // maximised). A dialog with a status bar that has its own grip hides it.
    void ShowSizeGrip(bool show);

private:
    struct Anchored {
        HWND hwnd;
        ANCHOR topLeft;
        ANCHOR bottomRight;
        RECT base; // where it is for the template's client size
    };
    Anchored* FindAnchor(HWND control);
    RECT PlaceFor(const Anchored& a, int dx, int dy) const;

    std::vector<Anchored> m_anchors;
    SIZE m_baseClient = {};
    SIZE m_minSize = {};
    HWND m_grip = nullptr;
    bool m_gripWanted = true;
    WindowStateKey m_stateKey;
    std::wstring m_placementName;
};
