// What the registry path picker reads from the registry, without windows:
// the five hives, the subkeys of a key, the values of a key with their type
// names and data as the picker shows them, and the key path it hands back.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#define REGISTRY_HIVE_COUNT 5

struct REGISTRY_HIVE {
    const wchar_t* name; // "HKEY_CLASSES_ROOT"...
    HKEY key;
};
// In the picker's order: classes root, current user, local machine, users,
// current configuration.
extern const REGISTRY_HIVE g_registryHives[REGISTRY_HIVE_COUNT];

// The key under a tree path: names[0] a hive name, then the key names down
// from it. Gives the hive and the relative path in which every key name is
// followed by a backslash (empty for the hive itself); false when names[0]
// is not a hive.
bool LocateRegistryKey(const std::vector<std::wstring>& names, HKEY* hive, std::wstring* relativePath);
// The names joined by backslashes, without a trailing one
// ("HKEY_LOCAL_MACHINE\SOFTWARE\Classes").
std::wstring JoinRegistryPath(const std::vector<std::wstring>& names);

// Names of the subkeys of hive\relativePath in enumeration order; empty when
// the key cannot be opened or has none. Empty names are left out.
std::vector<std::wstring> EnumRegistrySubKeys(HKEY hive, const std::wstring& relativePath);

// Data of one value as much as the picker shows: at most this many bytes.
#define REGISTRY_DATA_SHOWN 32767

struct REGISTRY_VALUE_ROW {
    std::wstring name;
    std::wstring typeName; // "REG_SZ"..., empty for other types
    std::wstring data;     // shown data; ends in "..." when the value was longer
    bool text;             // a text type (string picture) or not
};

// The type column's text for a value type, empty for types not shown.
const wchar_t* RegistryTypeName(DWORD type);
// The data column's text: strings up to their first NUL, multi-strings with
// their NULs as spaces, a double word as "0x%08X(%ld)", binary kinds as "%02X "
// per byte; other types nothing. `truncated`: the value held more than these
// bytes, and "..." follows what is shown.
std::wstring FormatRegistryData(DWORD type, const uint8_t* data, size_t size, bool truncated);

// One row per value of hive\relativePath in enumeration order, the default
// (unnamed) value left out; empty when the key cannot be opened.
std::vector<REGISTRY_VALUE_ROW> EnumRegistryValues(HKEY hive, const std::wstring& relativePath);
