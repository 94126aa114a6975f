#include "update/Crc32.h"

#include "base/Handles.h"

#include <windows.h>

#include <array>

namespace {

std::array<uint32_t, 256> MakeTable()
{
    std::array<uint32_t, 256> table = {};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

const std::array<uint32_t, 256> kTable = MakeTable();

} // namespace

uint32_t Crc32(const void* data, size_t size, uint32_t crc)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint32_t reg = ~crc;
    for (size_t i = 0; i < size; ++i)
        reg = kTable[(reg ^ bytes[i]) & 0xFF] ^ (reg >> 8);
    return ~reg;
}

uint32_t FileCrc32(const wchar_t* path)
{
    ui::CHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return 0;
    uint32_t crc = 0;
    char block[4096];
    DWORD got = 0;
    for (;;) {
        if (!ReadFile(file.Get(), block, sizeof(block), &got, nullptr))
            return 0;
        if (got == 0)
            return crc;
        crc = Crc32(block, got, crc);
    }
}
