// The public keys this program trusts, compiled in: the release key and the
// backup key (keys/*.pub), and in the test builds the throwaway key of the
// build folder as well. The list is defined by a source file that the build
// generates from the key files; each executable links exactly one.
#pragma once

#include <cstddef>

// The base64 lines of the trusted public keys, and their number.
extern const char* const kTrustedKeyLines[];
extern const size_t kTrustedKeyCount;
