// Fuzz target: wildcard matching, compared with a plain reference (dynamic
// programming over pattern and text positions). The input is UTF-16LE: the
// low byte of its first unit gives the pattern's length, the pattern follows
// and the rest is the text; both end at a NUL. The pattern is also matched
// the way the driver reads it, from a one-record image, with and without its
// NUL (a payload without one ends with the payload).
#include "driver/common/Matcher.h"
#include "fuzz/FuzzInput.h"

#include <vector>

namespace {

using Units = std::vector<uint16_t>;

// Pattern character against text character, '?' included, as the matcher
// compares them (its case folding is its own and not under test here).
bool SameCharacter(uint16_t p, uint16_t t)
{
    const uint16_t pattern[2] = { p, 0 };
    const uint16_t text[2] = { t, 0 };
    return MatchWildcard(pattern, text) != 0;
}

// Whether the whole text matches the whole pattern.
bool Reference(const Units& p, const Units& t)
{
    // next[j]: p[i+1..] matches t[j..]; cur[j]: p[i..] matches t[j..].
    std::vector<char> next(t.size() + 1, 0), cur(t.size() + 1, 0);
    next[t.size()] = 1;
    for (size_t i = p.size(); i-- > 0;) {
        for (size_t j = t.size() + 1; j-- > 0;) {
            if (p[i] == '*')
                cur[j] = next[j] || (j < t.size() && cur[j + 1]);
            else
                cur[j] = j < t.size() && SameCharacter(p[i], t[j]) && next[j + 1];
        }
        next.swap(cur);
    }
    return next[0] != 0;
}

void Put32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

// A one-record image of kind 0 with the pattern as its only payload.
bool MatchThroughImage(const Units& pattern, bool withNul, const Units& text)
{
    std::vector<uint8_t> payload;
    for (uint16_t c : pattern) {
        payload.push_back(uint8_t(c));
        payload.push_back(uint8_t(c >> 8));
    }
    if (withNul)
        payload.insert(payload.end(), { 0, 0 });
    uint32_t recordSize = RULE_IMAGE_RECORD_MIN_SIZE + uint32_t(payload.size());
    uint32_t imageSize = RULE_IMAGE_HEADER_SIZE + recordSize;
    std::vector<uint8_t> image;
    Put32(image, RULE_IMAGE_HEADER_SIZE);
    Put32(image, imageSize);
    Put32(image, imageSize);
    Put32(image, 77);      // identity
    Put32(image, 0);       // kind 0, reserved
    Put32(image, recordSize);
    Put32(image, 1);       // one parameter
    Put32(image, 0);
    Put32(image, 0);
    image.insert(image.end(), payload.begin(), payload.end());
    Put32(image, 0);
    Units nulText = text;
    nulText.push_back(0);
    uint32_t id = 0;
    int found = MatchOperation(image.data(), imageSize, 0, reinterpret_cast<const wchar_t*>(nulText.data()),
                               nullptr, &id);
    FUZZ_CHECK(!found || id == 77);
    return found != 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Units units;
    for (size_t i = 0; i + 1 < size && units.size() < 600; i += 2)
        units.push_back(uint16_t(data[i] | data[i + 1] << 8));
    if (units.empty())
        return 0;
    size_t patternLength = units[0] & 0xFF;
    Units pattern, text;
    size_t i = 1;
    for (; i < units.size() && pattern.size() < patternLength; ++i) {
        if (!units[i]) {
            ++i; // a NUL ends the pattern early
            break;
        }
        pattern.push_back(units[i]);
    }
    for (; i < units.size() && units[i]; ++i)
        text.push_back(units[i]);

    bool expected = Reference(pattern, text);
    Units p = pattern, t = text;
    p.push_back(0);
    t.push_back(0);
    FUZZ_CHECK((MatchWildcard(p.data(), t.data()) != 0) == expected);
    FUZZ_CHECK(MatchThroughImage(pattern, true, text) == expected);
    // Without its NUL an empty payload is "any value".
    FUZZ_CHECK(MatchThroughImage(pattern, false, text) == (pattern.empty() || expected));
    return 0;
}
