#include "net/FileBytes.h"

#include "base/Handles.h"

#include <windows.h>

bool ReadFileBytes(const std::wstring& path, uint64_t maxBytes, std::string* bytes)
{
    ui::CHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.Get(), &size) || static_cast<uint64_t>(size.QuadPart) > maxBytes)
        return false;
    std::string read(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!read.empty() &&
        (!ReadFile(file.Get(), &read[0], static_cast<DWORD>(read.size()), &got, nullptr) || got != read.size()))
        return false;
    bytes->swap(read);
    return true;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    ui::CHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    if (bytes.empty() ||
        (WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size()))
        return true;
    file.Close();
    DeleteFileW(path.c_str());
    return false;
}
