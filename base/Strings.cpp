#include "base/Strings.h"

#include "res/resource.h"

#include <cstdarg>
#include <cwchar>
#include <vector>

namespace ui {

HINSTANCE ResourceModule()
{
    return GetModuleHandleW(nullptr);
}

std::wstring LoadStr(UINT id)
{
    // With a zero buffer size LoadStringW hands back a pointer into the
    // resource itself, so no length limit applies.
    const wchar_t* text = nullptr;
    int len = LoadStringW(ResourceModule(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (len <= 0 || !text)
        return std::wstring();
    return std::wstring(text, static_cast<size_t>(len));
}

std::wstring FormatStr(const wchar_t* format, ...)
{
    std::vector<wchar_t> buf(256);
    for (;;) {
        va_list args;
        va_start(args, format);
        int n = _vsnwprintf(buf.data(), buf.size(), format, args);
        va_end(args);
        if (n >= 0 && static_cast<size_t>(n) < buf.size())
            return std::wstring(buf.data(), static_cast<size_t>(n));
        if (buf.size() >= (1u << 20))
            return std::wstring(buf.data(), buf.size() - 1);
        buf.resize(buf.size() * 2);
    }
}

int ErrorBox(HWND owner, const std::wstring& text)
{
    return MessageBoxW(owner, text.c_str(), LoadStr(IDS_CAPTION_ERROR).c_str(), MB_OK | MB_ICONERROR);
}

int WarningBox(HWND owner, const std::wstring& text, UINT buttons)
{
    return MessageBoxW(owner, text.c_str(), LoadStr(IDS_CAPTION_WARNING).c_str(), buttons | MB_ICONWARNING);
}

} // namespace ui
