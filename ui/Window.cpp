#include "ui/Window.h"

#include "base/Strings.h"

#include <vector>

namespace ui {

std::wstring WindowText(HWND window)
{
    std::vector<wchar_t> text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1);
    GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    return text.data();
}

HICON SetWindowIcons(HWND window, UINT id)
{
    HICON smallIcon = nullptr;
    for (WPARAM kind : { ICON_BIG, ICON_SMALL }) {
        const int px = GetSystemMetrics(kind == ICON_BIG ? SM_CXICON : SM_CXSMICON);
        HICON icon = static_cast<HICON>(
            LoadImageW(ResourceModule(), MAKEINTRESOURCEW(id), IMAGE_ICON, px, px, LR_SHARED));
        SendMessageW(window, WM_SETICON, kind, reinterpret_cast<LPARAM>(icon));
        smallIcon = icon;
    }
    return smallIcon;
}

UINT TrackMenu(HMENU menu, POINT at, HWND owner)
{
    SetForegroundWindow(owner);
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0, owner, nullptr));
    // The owner's next message lets the menu close properly when the user
    // clicks outside it.
    PostMessageW(owner, WM_NULL, 0, 0);
    return chosen;
}

RECT ChildRect(HWND parent, HWND child)
{
    RECT r = {};
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::wstring TreeItemText(HWND tree, HTREEITEM item)
{
    wchar_t text[512] = {};
    TVITEMW tv = {};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = 512;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    return text;
}

CWindow::~CWindow()
{
    Destroy();
}

bool CWindow::Create(const wchar_t* className, UINT classStyle, HCURSOR cursor, HBRUSH background,
                     const wchar_t* title, DWORD style, DWORD exStyle, int x, int y, int cx, int cy,
                     HWND parent, HMENU menuOrId)
{
    WNDCLASSEXW wc = { sizeof(wc) };
    if (!GetClassInfoExW(ResourceModule(), className, &wc)) {
        wc.cbSize = sizeof(wc);
        wc.style = classStyle;
        wc.lpfnWndProc = StaticWndProc;
        wc.hInstance = ResourceModule();
        wc.hCursor = cursor;
        wc.hbrBackground = background;
        wc.lpszClassName = className;
        if (!RegisterClassExW(&wc))
            return false;
    }
    HWND hwnd = CreateWindowExW(exStyle, className, title, style, x, y, cx, cy, parent, menuOrId,
                                ResourceModule(), this);
    return hwnd != nullptr;
}

void CWindow::Destroy()
{
    HWND hwnd = m_hWnd;
    if (hwnd && ::IsWindow(hwnd)) {
        // WM_NCDESTROY clears the handle; a window that deletes itself in
        // OnFinalMessage is gone after this call, so nothing may touch it.
        DestroyWindow(hwnd);
        return;
    }
    m_hWnd = nullptr;
}

CWindow* CWindow::FromHandle(HWND hwnd)
{
    if (!hwnd || GetWindowLongPtrW(hwnd, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(StaticWndProc))
        return nullptr;
    return reinterpret_cast<CWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

LRESULT CWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(m_hWnd, msg, wParam, lParam);
}

LRESULT CALLBACK CWindow::StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    CWindow* self;
    if (msg == WM_NCCREATE) {
        self = static_cast<CWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_hWnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<CWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    LRESULT result = self->WindowProc(msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
        self->OnFinalMessage();
    }
    return result;
}

} // namespace ui
