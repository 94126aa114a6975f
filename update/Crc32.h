// CRC-32 as both programs compute it for the update files: reflected
// polynomial 0xEDB88320, initial value 0xFFFFFFFF, final complement.
#pragma once

#include <cstddef>
#include <cstdint>

// The CRC-32 of `size` bytes, continuing from `crc` (the CRC-32 of the bytes
// before them; 0 to start).
uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);

// The CRC-32 of a whole file, read in blocks of 4096 bytes; 0 when the file
// cannot be opened or read. The CRC-32 of an empty file is 0 as well.
uint32_t FileCrc32(const wchar_t* path);
