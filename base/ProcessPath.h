// The file of a process's main module, from its process id. The prompt shows
// it; the process tools list it.
#pragma once

#include <stdint.h>
#include <string>

// The path with the prefixes of kernel-style module names mended: a leading
// "\SystemRoot" (compared without regard to case) becomes `systemRoot`, a
// leading "\??\" is dropped ("\??\UNC\" becomes "\\"). Any other path comes
// back unchanged.
std::wstring FixProcessPath(const std::wstring& path, const std::wstring& systemRoot);

// The file of the main module of process `pid`, mended with FixProcessPath
// (SystemRoot from the environment, else the Windows folder); empty when the
// process cannot be opened or its name cannot be read.
std::wstring ProcessImagePath(uint32_t pid);
