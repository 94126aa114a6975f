#include "net/Signature.h"

#include "net/TrustedKeys.h"

#include <sodium.h>

#include <cstring>
#include <mutex>

const char kSignatureSuffix[] = ".minisig";
const wchar_t kSignatureSuffixW[] = L".minisig";

namespace {

const char kUntrustedPrefix[] = "untrusted comment: ";
const char kTrustedPrefix[] = "trusted comment: ";
const size_t kKeyBytes = 2 + 8 + 32;
const size_t kSignatureBytes = 2 + 8 + crypto_sign_BYTES;
// Longest trusted comment a signer writes.
const size_t kMaxCommentBytes = 1024;

void InitOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Fails only when the library cannot set itself up; the checks
        // below then fail closed.
        if (sodium_init() < 0)
            return;
    });
}

// The lines of a text, without their "\r\n" or "\n"; a final line break adds
// no empty line.
std::vector<std::string> LinesOf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// Strict base64 of exactly `size` bytes: no blanks, no other characters.
bool DecodeExactly(const std::string& text, uint8_t* out, size_t size)
{
    size_t length = 0;
    const char* end = nullptr;
    if (text.empty() || text.size() > 4 * ((size + 2) / 3))
        return false;
    if (sodium_base642bin(out, size, text.data(), text.size(), nullptr, &length, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0)
        return false;
    return length == size && end == text.data() + text.size();
}

} // namespace

bool ParsePublicKey(const std::string& text, PUBLIC_KEY* key)
{
    std::vector<std::string> lines = LinesOf(text);
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    if (lines.size() == 2 && StartsWith(lines[0], kUntrustedPrefix))
        lines.erase(lines.begin());
    if (lines.size() != 1)
        return false;
    uint8_t bytes[kKeyBytes];
    if (!DecodeExactly(lines[0], bytes, sizeof(bytes)) || bytes[0] != 'E' || bytes[1] != 'd')
        return false;
    std::memcpy(key->id, bytes + 2, sizeof(key->id));
    std::memcpy(key->key, bytes + 10, sizeof(key->key));
    return true;
}

SignatureResult VerifySignature(const std::string& data, const std::string& signatureText,
                                const std::vector<PUBLIC_KEY>& keys, std::string* trustedComment)
{
    InitOnce();
    if (signatureText.empty() || signatureText.size() > kMaxSignatureBytes)
        return SIGNATURE_MALFORMED;
    std::vector<std::string> lines = LinesOf(signatureText);
    while (lines.size() > 4 && lines.back().empty())
        lines.pop_back();
    if (lines.size() != 4 || !StartsWith(lines[0], kUntrustedPrefix) || !StartsWith(lines[2], kTrustedPrefix))
        return SIGNATURE_MALFORMED;
    uint8_t signature[kSignatureBytes];
    uint8_t global[crypto_sign_BYTES];
    const std::string comment = lines[2].substr(std::strlen(kTrustedPrefix));
    if (comment.size() > kMaxCommentBytes || !DecodeExactly(lines[1], signature, sizeof(signature)) ||
        !DecodeExactly(lines[3], global, sizeof(global)))
        return SIGNATURE_MALFORMED;
    if (signature[0] != 'E' || (signature[1] != 'D' && signature[1] != 'd'))
        return SIGNATURE_MALFORMED;
    if (signature[1] == 'd')
        return SIGNATURE_LEGACY;

    const PUBLIC_KEY* key = nullptr;
    for (const PUBLIC_KEY& candidate : keys)
        if (std::memcmp(candidate.id, signature + 2, sizeof(candidate.id)) == 0)
            key = &candidate;
    if (!key)
        return SIGNATURE_UNKNOWN_KEY;

    uint8_t digest[crypto_generichash_BYTES_MAX];
    crypto_generichash(digest, sizeof(digest), reinterpret_cast<const unsigned char*>(data.data()), data.size(),
                       nullptr, 0);
    if (crypto_sign_verify_detached(signature + 10, digest, sizeof(digest), key->key) != 0)
        return SIGNATURE_BAD;

    // The trusted comment is signed together with the file's signature.
    std::string signedComment(reinterpret_cast<const char*>(signature + 10), crypto_sign_BYTES);
    signedComment += comment;
    if (crypto_sign_verify_detached(global, reinterpret_cast<const unsigned char*>(signedComment.data()),
                                    signedComment.size(), key->key) != 0)
        return SIGNATURE_BAD_COMMENT;
    if (trustedComment)
        *trustedComment = comment;
    return SIGNATURE_OK;
}

SignatureResult VerifyTrusted(const std::string& data, const std::string& signatureText)
{
    // Parsed once; a key line that does not parse is left out (the build
    // checks them, so none does).
    static const std::vector<PUBLIC_KEY> keys = [] {
        std::vector<PUBLIC_KEY> parsed;
        for (size_t i = 0; i < kTrustedKeyCount; ++i) {
            PUBLIC_KEY key;
            if (ParsePublicKey(kTrustedKeyLines[i], &key))
                parsed.push_back(key);
        }
        return parsed;
    }();
    return VerifySignature(data, signatureText, keys);
}

std::string HexOf(const uint8_t* bytes, size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 15];
    }
    return hex;
}

std::string Sha256Hex(const void* data, size_t size)
{
    InitOnce();
    uint8_t digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, static_cast<const unsigned char*>(data), size);
    return HexOf(digest, sizeof(digest));
}
