#include "controls/Placeholder.h"

#include <vector>

bool ReadPlaceholder(HWND placeholder, PLACEHOLDER* info)
{
    if (!placeholder || !IsWindow(placeholder) || !(GetWindowLongW(placeholder, GWL_STYLE) & WS_CHILD))
        return false;
    info->parent = GetParent(placeholder);
    info->id = GetDlgCtrlID(placeholder);
    GetWindowRect(placeholder, &info->rect);
    MapWindowPoints(nullptr, info->parent, reinterpret_cast<POINT*>(&info->rect), 2);
    const int len = GetWindowTextLengthW(placeholder);
    std::vector<wchar_t> text(static_cast<size_t>(len) + 1);
    GetWindowTextW(placeholder, text.data(), len + 1);
    info->text.assign(text.data());
    info->font = reinterpret_cast<HFONT>(SendMessageW(placeholder, WM_GETFONT, 0, 0));
    info->style = static_cast<DWORD>(GetWindowLongW(placeholder, GWL_STYLE));
    return true;
}

void ReplacePlaceholder(HWND placeholder, HWND control, HFONT font)
{
    SetWindowPos(control, placeholder, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (font)
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    DestroyWindow(placeholder);
}
