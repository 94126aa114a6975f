#include "base/WindowPlacement.h"

#include <vector>

bool ParsePlacement(const std::wstring& text, STORED_PLACEMENT* placement)
{
    std::vector<int> n;
    if (!ParseNumberList(text, 6, NumberListRule::Exact, &n))
        return false;
    if (n[2] <= n[0] || n[3] <= n[1])
        return false;
    placement->normal = RECT{ n[0], n[1], n[2], n[3] };
    placement->showCmd = n[4];
    placement->flags = n[5];
    return true;
}

std::wstring FormatPlacement(const STORED_PLACEMENT& p)
{
    return FormatNumberList({ static_cast<int>(p.normal.left), static_cast<int>(p.normal.top),
                              static_cast<int>(p.normal.right), static_cast<int>(p.normal.bottom), p.showCmd,
                              p.flags });
}

int ShowCommandToRestore(int stored)
{
    if (stored == SW_HIDE || stored == SW_SHOWMINIMIZED || stored == SW_MINIMIZE)
        return SW_SHOW;
    if (stored < SW_HIDE || stored > SW_MAX)
        return SW_SHOWNORMAL; // not a show command at all
    return stored;
}

int LoadPlacement(const WindowStateKey& key, const wchar_t* name, STORED_PLACEMENT* placement)
{
    std::wstring text;
    int read = ReadWindowStateText(key, name, &text);
    if (read != 0)
        return read;
    return ParsePlacement(text, placement) ? 0 : -2;
}

int SavePlacement(const WindowStateKey& key, const wchar_t* name, const STORED_PLACEMENT& placement)
{
    return WriteWindowStateText(key, name, FormatPlacement(placement));
}
