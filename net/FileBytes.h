// Whole files as bytes, for what arrives over the network and is checked
// before it is used: read with a size cap, written in one go.
#pragma once

#include <cstdint>
#include <string>

// Reads the whole file; false when it cannot be opened or read, or when it
// is longer than `maxBytes`.
bool ReadFileBytes(const std::wstring& path, uint64_t maxBytes, std::string* bytes);

// Creates or truncates the file and writes `bytes`; false (and no file left
// behind) when that fails.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
