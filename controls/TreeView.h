// CTreeView: drives a tree control (from a template) through typed calls
// instead of raw TVM_ messages. It holds the handle only; the tree and its
// items belong to the window that owns the control.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

class CTreeView {
public:
    explicit CTreeView(HWND tree = nullptr) : m_hWnd(tree) {}

    HWND Hwnd() const { return m_hWnd; }

    // The images of the items (TVSIL_NORMAL); null takes them away. The
    // caller keeps owning the list.
    void SetImages(HIMAGELIST images) const;

    // Appends an item as the last child of `parent` (TVI_ROOT: the top
    // level), with a value of the owner's and optional images; null on failure.
    HTREEITEM Insert(HTREEITEM parent, const std::wstring& text, LPARAM data = 0, int image = -1,
                     int selectedImage = -1) const;
    void Delete(HTREEITEM item) const;
    void DeleteAll() const;
    void SetText(HTREEITEM item, const std::wstring& text) const;
    // The item's text (at most 511 characters).
    std::wstring Text(HTREEITEM item) const;
    // The owner's value of the item; false when the item is not in the tree.
    bool Data(HTREEITEM item, LPARAM* data) const;

    void Expand(HTREEITEM item) const;
    void Select(HTREEITEM item) const;
    HTREEITEM Selected() const;
    HTREEITEM Parent(HTREEITEM item) const;
    HTREEITEM FirstChild(HTREEITEM item) const;
    HTREEITEM NextSibling(HTREEITEM item) const;
    // The item under a point of the screen, or null.
    HTREEITEM ItemAt(POINT screen) const;

private:
    HTREEITEM Next(HTREEITEM item, UINT how) const;

    HWND m_hWnd;
};
