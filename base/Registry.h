// Registry access: CRegKey owns one open key (closed on every path out) and
// reads and writes the value kinds the program keeps: 32-bit numbers and
// texts. Every registry call of the program goes through here.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class CRegKey {
public:
    CRegKey() = default;
    ~CRegKey() { Close(); }
    CRegKey(CRegKey&& other) noexcept : m_key(other.Detach()) {}
    CRegKey& operator=(CRegKey&& other) noexcept;
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    // Creates the key or opens it when it exists (RegCreateKeyExW). 0, or -1.
    int Create(HKEY parent, const wchar_t* subKey, REGSAM access);
    // Opens an existing key (RegOpenKeyExW). 0, or -1.
    int Open(HKEY parent, const wchar_t* subKey, REGSAM access);
    void Close();

    HKEY Get() const { return m_key; }
    bool IsOpen() const { return m_key != nullptr; }
    HKEY Detach();

    // Reads a REG_DWORD of exactly 4 bytes. 0; -1 when the value is missing
    // or cannot be read; -2 when it has another type or size (value untouched).
    int QueryDword(const wchar_t* name, uint32_t* value) const;
    // Writes a REG_DWORD. 0, or -1.
    int SetDword(const wchar_t* name, uint32_t value);

    // Reads a REG_SZ or REG_EXPAND_SZ of any length (not expanded). 0; -1
    // when the value is missing or cannot be read; -2 when it is not a
    // NUL-terminated text of whole characters (value untouched).
    int QueryString(const wchar_t* name, std::wstring* value) const;
    // Writes a REG_SZ of 2 x length + 2 bytes. 0, or -1.
    int SetString(const wchar_t* name, const std::wstring& value);

    // Writes a REG_BINARY of `size` bytes. 0, or -1.
    int SetBinary(const wchar_t* name, const void* data, DWORD size);

    // Deletes a value. 0, or -1 (also when it did not exist).
    int DeleteValue(const wchar_t* name);

    // Type and raw bytes of a value of any type. 0, or -1 when it is missing
    // or cannot be read.
    int QueryRaw(const wchar_t* name, DWORD* type, std::vector<uint8_t>* data) const;
    // Name of subkey number index (0 upwards). 0; -1 past the last; -2 on
    // any other error.
    int EnumSubKey(DWORD index, std::wstring* name) const;
    // Name, type and raw bytes of value number index (0 upwards). 0; -1 past
    // the last; -2 on any other error.
    int EnumValue(DWORD index, std::wstring* name, DWORD* type, std::vector<uint8_t>* data) const;

private:
    HKEY m_key = nullptr;
};
