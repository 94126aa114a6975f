// Detached signatures of what arrives over the network (the update manifest,
// the promotion feed): Ed25519 over the BLAKE2b-512 digest of the file, with a
// second signature over the trusted comment, in the text form below. Public
// keys are compiled into the programs (net/TrustedKeys.h); nothing read at run
// time adds one. Plain code over libsodium with no system calls, so that it
// can be called on any platform (fuzzing included).
//
// Public key file:             Signature file ("<file>.minisig"):
//   untrusted comment: ...       untrusted comment: ...
//   base64(Ed | id | key)        base64(ED | id | signature)
//                                trusted comment: <text>
//                                base64(signature over signature | text)
//
// "ED" signs the digest of the file. The older form "Ed", which signs the
// file itself, is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Signature files are a few hundred bytes; a longer one is refused unread.
const size_t kMaxSignatureBytes = 4096;
// The name of a detached signature: the signed file's name plus this.
extern const char kSignatureSuffix[];      // ".minisig"
extern const wchar_t kSignatureSuffixW[];  // L".minisig"

struct PUBLIC_KEY {
    uint8_t id[8] = {};
    uint8_t key[32] = {};
};

// Reads a public key in the text form above (the comment line is optional;
// a bare base64 line is accepted). False when it is not one.
bool ParsePublicKey(const std::string& text, PUBLIC_KEY* key);

enum SignatureResult : int {
    SIGNATURE_OK = 0,
    SIGNATURE_MALFORMED = -1,   // missing, empty, too long, not four lines, bad base64, wrong lengths
    SIGNATURE_LEGACY = -2,      // the older form that signs the file itself
    SIGNATURE_UNKNOWN_KEY = -3, // signed with a key that is not trusted
    SIGNATURE_BAD = -4,         // the file does not match the signature
    SIGNATURE_BAD_COMMENT = -5, // the trusted comment does not match its signature
};

// Verifies `data` against the signature file text with the given keys.
// `trustedComment` receives the verified comment on success.
[[nodiscard]] SignatureResult VerifySignature(const std::string& data, const std::string& signatureText,
                                              const std::vector<PUBLIC_KEY>& keys,
                                              std::string* trustedComment = nullptr);

// The same with the keys compiled into this program.
[[nodiscard]] SignatureResult VerifyTrusted(const std::string& data, const std::string& signatureText);

// SHA-256 as 64 lower-case hex digits.
std::string Sha256Hex(const void* data, size_t size);
// Lower-case hex of `size` bytes.
std::string HexOf(const uint8_t* bytes, size_t size);
