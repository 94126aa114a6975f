#include "base/ShellDialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include <vector>

bool ChooseFile(HWND owner, bool save, const std::wstring& filter, const wchar_t* extension,
                const std::wstring& fileName, std::wstring* path)
{
    std::wstring filterParts = filter;
    for (wchar_t& c : filterParts) {
        if (c == L'|')
            c = L'\0';
    }
    filterParts.push_back(L'\0');
    std::vector<wchar_t> buffer(32768, L'\0');
    fileName.copy(buffer.data(), buffer.size() - 1);

    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filterParts.c_str();
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrDefExt = extension;
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                (save ? OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST : OFN_FILEMUSTEXIST);
    const BOOL chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!chosen)
        return false;
    *path = buffer.data();
    return true;
}

bool BrowseForPath(HWND owner, const std::wstring& title, std::wstring* path)
{
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_BROWSEINCLUDEFILES | BIF_EDITBOX | BIF_VALIDATE | BIF_NONEWFOLDERBUTTON;
    bool chosen = false;
    if (PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info)) {
        wchar_t buffer[MAX_PATH] = {};
        if (SHGetPathFromIDListW(item, buffer)) {
            *path = buffer;
            chosen = true;
        }
        CoTaskMemFree(item);
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return chosen;
}
