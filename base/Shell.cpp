#include "base/Shell.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>

bool IsWebAddress(const std::wstring& address)
{
    auto startsWith = [&address](const wchar_t* prefix) {
        const size_t n = wcslen(prefix);
        return address.size() > n && _wcsnicmp(address.c_str(), prefix, n) == 0;
    };
    if (!startsWith(L"http://") && !startsWith(L"https://"))
        return false;
    for (wchar_t c : address)
        if (c < 0x20 || c == 0x7F)
            return false;
    return true;
}

bool OpenAddress(HWND owner, const std::wstring& address)
{
    if (!IsWebAddress(address)) {
        printf("OpenAddress refused: %ls\n", address.c_str());
        fflush(stdout);
        return false;
    }
    HINSTANCE result = ShellExecuteW(owner, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

bool StartProgram(const std::wstring& path, const wchar_t* arguments)
{
    HINSTANCE result = ShellExecuteW(nullptr, L"open", path.c_str(), arguments, nullptr, SW_SHOW);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

bool ShowFileProperties(HWND owner, const std::wstring& path)
{
    // The property sheet verb needs COM on the calling thread.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOW sei = {};
    sei.cbSize = sizeof(sei);
    sei.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    sei.hwnd = owner;
    sei.lpVerb = L"properties";
    sei.lpFile = path.c_str();
    sei.nShow = SW_SHOW;
    BOOL ok = ShellExecuteExW(&sei);
    if (SUCCEEDED(com))
        CoUninitialize();
    return ok != FALSE;
}

HICON ShellFileIcon(const std::wstring& path, bool small)
{
    SHFILEINFOW info = {};
    UINT flags = SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | (small ? SHGFI_SMALLICON : 0);
    HIMAGELIST list = reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoW(path.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof(info), flags));
    return list ? ImageList_GetIcon(list, info.iIcon, ILD_NORMAL) : nullptr;
}

HIMAGELIST ShellSmallImageList()
{
    SHFILEINFOW info = {};
    return reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(L"C:\\", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof(info),
                                                       SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES));
}

int ShellSmallIconIndex(const std::wstring& path)
{
    if (path.empty())
        return -1;
    SHFILEINFOW info = {};
    DWORD_PTR list = SHGetFileInfoW(path.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                                    SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES);
    return list ? info.iIcon : -1;
}
