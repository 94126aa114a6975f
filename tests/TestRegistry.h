// Registry calls of the tests that the platform floor's headers lack:
// Windows XP has neither RegDeleteTree nor RegSetKeyValue.
#pragma once

#include <windows.h>
#include <shlwapi.h>

namespace testreg {

// Deletes the key with all its subkeys and values.
inline LSTATUS DeleteTree(HKEY root, const wchar_t* path)
{
    return SHDeleteKeyW(root, path);
}

// Writes one value, creating the key when it is missing.
inline LSTATUS SetValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD type, const void* data,
                        DWORD size)
{
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    status = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return status;
}

} // namespace testreg
