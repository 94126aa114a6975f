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

} // namespace fuzz
