// Helpers shared by the fuzz targets: checks that end the run with a
// message, and scratch files for readers that take a path.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

// Stops the run (libFuzzer keeps the input as a crash) when a property of
// the code under test does not hold.
#define FUZZ_CHECK(condition)                                                                    \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            abort();                                                                             \
        }                                                                                        \
    } while (0)

namespace fuzz {

// The path, as the program's UTF-16 text, of a file of this name in this
// process's scratch folder (removed when the process ends).
std::wstring ScratchPath(const char* name);

// Writes the bytes into that file and returns its path; the run stops when
// the file cannot be written.
std::wstring ScratchFile(const char* name, const uint8_t* data, size_t size);

// Bytes as UTF-16 text one to one, as the shim's "ANSI code page"
// (Latin-1) converts them.
std::wstring Widen(const std::string& bytes);

// A reference for names that arrive over the network: whether base \ folder
// \ name, as the system resolves it, names something strictly inside base.
// Every part after base must be a real name: not empty, "." or ".." (dots
// and blanks at the end of a part are dropped by the system), without a
// drive or stream colon, and not a device (CON, NUL, COM1, LPT1... also
// with an extension or blanks before it). Forward slashes separate parts.
bool JoinsInside(const std::wstring& folder, const std::wstring& name);

} // namespace fuzz
