#include "sysview/RegistryBrowse.h"

#include "base/Registry.h"

#include <cwchar>

const REGISTRY_HIVE g_registryHives[REGISTRY_HIVE_COUNT] = {
    { L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT },   { L"HKEY_CURRENT_USER", HKEY_CURRENT_USER },
    { L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE }, { L"HKEY_USERS", HKEY_USERS },
    { L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG },
};

bool LocateRegistryKey(const std::vector<std::wstring>& names, HKEY* hive, std::wstring* relativePath)
{
    if (names.empty())
        return false;
    for (const REGISTRY_HIVE& h : g_registryHives) {
        if (names[0] != h.name)
            continue;
        std::wstring path;
        for (size_t i = 1; i < names.size(); ++i)
            path += names[i] + L"\\";
        *hive = h.key;
        *relativePath = path;
        return true;
    }
    return false;
}

std::wstring JoinRegistryPath(const std::vector<std::wstring>& names)
{
    std::wstring path;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i)
            path += L'\\';
        path += names[i];
    }
    return path;
}

namespace {

// Opens hive\relativePath; an empty path opens the hive itself.
bool OpenKey(CRegKey* key, HKEY hive, const std::wstring& relativePath, REGSAM access)
{
    return key->Open(hive, relativePath.empty() ? L"" : relativePath.c_str(), access) == 0;
}

std::wstring TextUpToNul(const wchar_t* chars, size_t count)
{
    size_t n = 0;
    while (n < count && chars[n] != L'\0')
        ++n;
    return std::wstring(chars, n);
}

} // namespace

std::vector<std::wstring> EnumRegistrySubKeys(HKEY hive, const std::wstring& relativePath)
{
    std::vector<std::wstring> names;
    CRegKey key;
    if (!OpenKey(&key, hive, relativePath, KEY_ENUMERATE_SUB_KEYS))
        return names;
    std::wstring name;
    for (DWORD i = 0; key.EnumSubKey(i, &name) == 0; ++i) {
        if (!name.empty())
            names.push_back(name);
    }
    return names;
}

const wchar_t* RegistryTypeName(DWORD type)
{
    switch (type) {
    case REG_SZ: return L"REG_SZ";
    case REG_EXPAND_SZ: return L"REG_EXPAND_SZ";
    case REG_BINARY: return L"REG_BINARY";
    case REG_DWORD: return L"REG_DWORD";
    case REG_MULTI_SZ: return L"REG_MULTI_SZ";
    case REG_RESOURCE_LIST: return L"REG_RESOURCE_LIST";
    case REG_FULL_RESOURCE_DESCRIPTOR: return L"REG_FULL_RESOURCE_DESCRIPTOR";
    case REG_RESOURCE_REQUIREMENTS_LIST: return L"REG_RESOURCE_REQUIREMENTS_LIST";
    }
    return L"";
}

std::wstring FormatRegistryData(DWORD type, const uint8_t* data, size_t size, bool truncated)
{
    std::wstring text;
    std::vector<wchar_t> chars(size / sizeof(wchar_t));
    if (!chars.empty())
        memcpy(chars.data(), data, chars.size() * sizeof(wchar_t));
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        text = TextUpToNul(chars.data(), chars.size());
        break;
    case REG_MULTI_SZ:
        // Every NUL but the last separates two strings.
        for (size_t i = 0; i + 1 < chars.size(); ++i) {
            if (chars[i] == L'\0')
                chars[i] = L' ';
        }
        text = TextUpToNul(chars.data(), chars.size());
        break;
    case REG_DWORD:
        if (size >= 4) {
            uint32_t value;
            memcpy(&value, data, 4);
            wchar_t buffer[32];
            swprintf(buffer, 32, L"0x%08X(%ld)", value, static_cast<long>(static_cast<int32_t>(value)));
            return buffer;
        }
        [[fallthrough]]; // too short for a number: its bytes
    case REG_BINARY:
    case REG_RESOURCE_LIST:
    case REG_FULL_RESOURCE_DESCRIPTOR:
    case REG_RESOURCE_REQUIREMENTS_LIST: {
        static const wchar_t kHex[] = L"0123456789ABCDEF";
        text.reserve(size * 3 + 3);
        for (size_t i = 0; i < size; ++i) {
            text += kHex[data[i] >> 4];
            text += kHex[data[i] & 15];
            text += L' ';
        }
        break;
    }
    default:
        return std::wstring();
    }
    if (truncated)
        text += L"...";
    return text;
}

std::vector<REGISTRY_VALUE_ROW> EnumRegistryValues(HKEY hive, const std::wstring& relativePath)
{
    std::vector<REGISTRY_VALUE_ROW> rows;
    CRegKey key;
    if (!OpenKey(&key, hive, relativePath, KEY_READ))
        return rows;
    std::wstring name;
    DWORD type = 0;
    std::vector<uint8_t> data;
    for (DWORD i = 0;; ++i) {
        // Ends with the last value, or when the key went away meanwhile.
        if (key.EnumValue(i, &name, &type, &data) != 0)
            break;
        if (name.empty())
            continue; // the key's default value
        const bool truncated = data.size() > REGISTRY_DATA_SHOWN;
        const size_t shown = truncated ? REGISTRY_DATA_SHOWN : data.size();
        REGISTRY_VALUE_ROW row;
        row.name = name;
        row.typeName = RegistryTypeName(type);
        row.data = FormatRegistryData(type, data.data(), shown, truncated);
        row.text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
        rows.push_back(std::move(row));
    }
    return rows;
}
