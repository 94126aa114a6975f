#include "base/Registry.h"

CRegKey& CRegKey::operator=(CRegKey&& other) noexcept
{
    if (this != &other) {
        Close();
        m_key = other.Detach();
    }
    return *this;
}

int CRegKey::Create(HKEY parent, const wchar_t* subKey, REGSAM access)
{
    Close();
    HKEY key = nullptr;
    if (RegCreateKeyExW(parent, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return -1;
    m_key = key;
    return 0;
}

int CRegKey::Open(HKEY parent, const wchar_t* subKey, REGSAM access)
{
    Close();
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, subKey, 0, access, &key) != ERROR_SUCCESS)
        return -1;
    m_key = key;
    return 0;
}

void CRegKey::Close()
{
    if (m_key) {
        RegCloseKey(m_key);
        m_key = nullptr;
    }
}

HKEY CRegKey::Detach()
{
    HKEY key = m_key;
    m_key = nullptr;
    return key;
}

int CRegKey::QueryDword(const wchar_t* name, uint32_t* value) const
{
    if (!m_key || !value)
        return -1;
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof(data);
    LONG status = RegQueryValueExW(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    if (status == ERROR_MORE_DATA)
        return -2;
    if (status != ERROR_SUCCESS)
        return -1;
    if (type != REG_DWORD || size != sizeof(data))
        return -2;
    *value = data;
    return 0;
}

int CRegKey::SetDword(const wchar_t* name, uint32_t value)
{
    if (!m_key)
        return -1;
    DWORD data = value;
    return RegSetValueExW(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data)) ==
                   ERROR_SUCCESS
               ? 0
               : -1;
}

int CRegKey::QueryString(const wchar_t* name, std::wstring* value) const
{
    if (!m_key || !value)
        return -1;
    // The value may change between the size query and the read; retry a
    // few times when it grows.
    for (int round = 0; round < 4; ++round) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExW(m_key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return -1;
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            return -2;
        if (size % sizeof(wchar_t) != 0 || size < sizeof(wchar_t))
            return -2;
        std::vector<wchar_t> buffer(size / sizeof(wchar_t));
        DWORD got = size;
        LONG status =
            RegQueryValueExW(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS)
            return -1;
        if ((type != REG_SZ && type != REG_EXPAND_SZ) || got % sizeof(wchar_t) != 0 || got < sizeof(wchar_t))
            return -2;
        size_t chars = got / sizeof(wchar_t);
        if (buffer[chars - 1] != L'\0')
            return -2;
        value->assign(buffer.data(), wcslen(buffer.data()));
        return 0;
    }
    return -1;
}

int CRegKey::SetString(const wchar_t* name, const std::wstring& value)
{
    if (!m_key)
        return -1;
    DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(m_key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) ==
                   ERROR_SUCCESS
               ? 0
               : -1;
}

int CRegKey::DeleteValue(const wchar_t* name)
{
    if (!m_key)
        return -1;
    return RegDeleteValueW(m_key, name) == ERROR_SUCCESS ? 0 : -1;
}

int CRegKey::SetBinary(const wchar_t* name, const void* data, DWORD size)
{
    if (!m_key)
        return -1;
    return RegSetValueExW(m_key, name, 0, REG_BINARY, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS ? 0 : -1;
}

int CRegKey::QueryRaw(const wchar_t* name, DWORD* type, std::vector<uint8_t>* data) const
{
    if (!m_key || !type || !data)
        return -1;
    for (int round = 0; round < 4; ++round) {
        DWORD size = 0;
        if (RegQueryValueExW(m_key, name, nullptr, type, nullptr, &size) != ERROR_SUCCESS)
            return -1;
        data->resize(size);
        LONG status = RegQueryValueExW(m_key, name, nullptr, type, data->data(), &size);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS)
            return -1;
        data->resize(size);
        return 0;
    }
    return -1;
}

int CRegKey::EnumSubKey(DWORD index, std::wstring* name) const
{
    if (!m_key || !name)
        return -2;
    // Key names have at most 255 characters.
    wchar_t buffer[256];
    DWORD length = 256;
    LONG status = RegEnumKeyExW(m_key, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS)
        return -1;
    if (status != ERROR_SUCCESS)
        return -2;
    name->assign(buffer, length);
    return 0;
}

int CRegKey::EnumValue(DWORD index, std::wstring* name, DWORD* type, std::vector<uint8_t>* data) const
{
    if (!m_key || !name || !type || !data)
        return -2;
    for (int round = 0; round < 4; ++round) {
        DWORD maxName = 0, maxData = 0;
        if (RegQueryInfoKeyW(m_key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                             &maxData, nullptr, nullptr) != ERROR_SUCCESS)
            return -2;
        std::vector<wchar_t> nameBuffer(maxName + 1);
        DWORD nameLength = maxName + 1;
        data->resize(maxData);
        DWORD size = maxData;
        LONG status = RegEnumValueW(m_key, index, nameBuffer.data(), &nameLength, nullptr, type, data->data(), &size);
        if (status == ERROR_MORE_DATA)
            continue; // the value grew in between
        if (status == ERROR_NO_MORE_ITEMS)
            return -1;
        if (status != ERROR_SUCCESS)
            return -2;
        name->assign(nameBuffer.data(), nameLength);
        data->resize(size);
        return 0;
    }
    return -2;
}
