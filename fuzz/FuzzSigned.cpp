#include "fuzz/FuzzSigned.h"

#include "fuzz/FuzzInput.h"
#include "net/TrustedKeys.h"

#include <sodium.h>

#include <cstring>

// The programs' compiled-in key list: none in the fuzz targets, which pass
// their own key to VerifySignature.
const char* const kTrustedKeyLines[] = { "" };
const size_t kTrustedKeyCount = 0;

namespace fuzz {

namespace {

struct FUZZ_KEY {
    PUBLIC_KEY key;
    uint8_t secret[crypto_sign_SECRETKEYBYTES];
};

const FUZZ_KEY& Key()
{
    static const FUZZ_KEY key = [] {
        FUZZ_CHECK(sodium_init() >= 0);
        FUZZ_KEY k;
        uint8_t seed[crypto_sign_SEEDBYTES] = { 'h', 'm', 'f', 'u', 'z', 'z' };
        crypto_sign_seed_keypair(k.key.key, k.secret, seed);
        std::memcpy(k.key.id, "fuzzkey!", sizeof(k.key.id));
        return k;
    }();
    return key;
}

std::string Base64(const uint8_t* bytes, size_t size)
{
    std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(&text[0], text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(std::strlen(text.c_str()));
    return text;
}

std::string SignHere(const std::string& data)
{
    const FUZZ_KEY& key = Key();
    uint8_t signature[2 + 8 + crypto_sign_BYTES] = { 'E', 'D' };
    std::memcpy(signature + 2, key.key.id, 8);
    uint8_t digest[crypto_generichash_BYTES_MAX];
    crypto_generichash(digest, sizeof(digest), reinterpret_cast<const uint8_t*>(data.data()), data.size(), nullptr, 0);
    crypto_sign_detached(signature + 10, nullptr, digest, sizeof(digest), key.secret);
    const std::string comment = "fuzz";
    std::string global(reinterpret_cast<const char*>(signature + 10), crypto_sign_BYTES);
    global += comment;
    uint8_t globalSignature[crypto_sign_BYTES];
    crypto_sign_detached(globalSignature, nullptr, reinterpret_cast<const uint8_t*>(global.data()), global.size(),
                         key.secret);
    return "untrusted comment: fuzz\n" + Base64(signature, sizeof(signature)) + "\ntrusted comment: " + comment +
           "\n" + Base64(globalSignature, sizeof(globalSignature)) + "\n";
}

} // namespace

SIGNED_INPUT ReadSignedInput(const uint8_t* data, size_t size)
{
    SIGNED_INPUT input;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!bytes.empty() && bytes[0] == 'S') {
        input.data = bytes.substr(1);
        input.signature = SignHere(input.data);
        input.signedHere = true;
        return input;
    }
    const size_t split = bytes.find('\0');
    input.signature = bytes.substr(0, split);
    if (split != std::string::npos)
        input.data = bytes.substr(split + 1);
    return input;
}

const std::vector<PUBLIC_KEY>& FuzzKeys()
{
    static const std::vector<PUBLIC_KEY> keys = { Key().key };
    return keys;
}

SignatureResult CheckSignature(const SIGNED_INPUT& input)
{
    std::string comment;
    const SignatureResult result = VerifySignature(input.data, input.signature, FuzzKeys(), &comment);
    FUZZ_CHECK(result <= SIGNATURE_OK && result >= SIGNATURE_BAD_COMMENT);
    if (input.signedHere)
        FUZZ_CHECK(result == SIGNATURE_OK && comment == "fuzz");
    if (result != SIGNATURE_OK)
        FUZZ_CHECK(comment.empty());
    return result;
}

} // namespace fuzz
