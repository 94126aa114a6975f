// What the signature-first targets share: the input is either a signature
// text and the signed bytes (split at the first NUL), checked as they are, or
// (first byte 'S') bytes that the target signs itself with a key of its own,
// so that the reader behind the check is reached as it is in the programs:
// only with bytes whose signature holds.
#pragma once

#include "net/Signature.h"

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace fuzz {

struct SIGNED_INPUT {
    std::string data;
    std::string signature;
    bool signedHere = false; // the target made the signature
};

// Splits the input as above.
SIGNED_INPUT ReadSignedInput(const uint8_t* data, size_t size);

// The target's own key, the only one its checks trust.
const std::vector<PUBLIC_KEY>& FuzzKeys();

// VerifySignature with FuzzKeys, with the properties every outcome must
// have: a signature made here holds, and the result is a known outcome.
SignatureResult CheckSignature(const SIGNED_INPUT& input);

} // namespace fuzz
