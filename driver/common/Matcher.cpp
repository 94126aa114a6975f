// Freestanding: built into the kernel driver as well, so no standard library,
// no exceptions, no allocation and no recursion.
#include "driver/common/Matcher.h"
#include "driver/common/MatchRecord.h"

namespace match {

// The pattern is read from image bytes (little-endian UTF-16) and ends at its
// NUL or after `units` characters, whichever comes first, so a pattern can
// never be read past its payload. Greedy star with backtracking to the last
// star only: each star can only move forward, so the work is bounded by
// pattern length times text length.
bool WildcardMatch(const uint8_t* pattern, size_t units, const uint16_t* text)
{
    size_t p = 0, t = 0;
    size_t starP = 0, starT = 0;
    bool haveStar = false;
    for (;;) {
        uint16_t pc = p < units ? Read16(pattern + 2 * p) : 0;
        uint16_t tc = text[t];
        if (tc == 0) {
            while (pc == '*') {
                ++p;
                pc = p < units ? Read16(pattern + 2 * p) : 0;
            }
            return pc == 0;
        }
        if (pc == '*') {
            haveStar = true;
            starP = ++p; // the star first matches nothing
            starT = t;
            continue;
        }
        if (pc != 0 && (pc == '?' || Fold(pc) == Fold(tc))) {
            ++p;
            ++t;
            continue;
        }
        if (!haveStar)
            return false;
        // Let the last star swallow one more character and retry after it.
        p = starP;
        t = ++starT;
    }
}

bool ReadRecord(const uint8_t* image, uint32_t size, uint32_t pos, RecordView* r)
{
    if (pos > size || size - pos < RULE_IMAGE_RECORD_MIN_SIZE)
        return false;
    const uint8_t* rec = image + pos;
    r->ruleId = Read32(rec + 0);
    r->kind = Read16(rec + 4);
    r->size = Read32(rec + 8);
    r->count = Read32(rec + 12);
    r->offset[0] = Read32(rec + 16);
    r->offset[1] = Read32(rec + 20);
    if (r->size < RULE_IMAGE_RECORD_MIN_SIZE || r->size > size - pos)
        return false;
    r->payload = rec + sizeof(RULE_IMAGE_RECORD);
    r->payloadSize = r->size - RULE_IMAGE_RECORD_MIN_SIZE;
    return true;
}

void PayloadBounds(const RecordView& r, uint32_t i, uint32_t* start, uint32_t* length)
{
    uint32_t end = (i + 1 < r.count) ? r.offset[i + 1] : r.payloadSize;
    *start = r.offset[i];
    *length = end - r.offset[i];
}

int ValidateRecord(const RecordView& r)
{
    if (r.kind >= RULE_IMAGE_KIND_COUNT)
        return MATCH_BAD_RECORD;
    if (r.count > RULE_IMAGE_MAX_PARAMS)
        return MATCH_BAD_PARAMS;
    if (r.count == 0)
        return r.payloadSize == 0 ? 0 : MATCH_BAD_PARAMS;
    if (r.offset[0] != 0)
        return MATCH_BAD_PARAMS;
    if (r.count == 2 && r.offset[1] > r.payloadSize)
        return MATCH_BAD_PARAMS;
    for (uint32_t i = 0; i < r.count; ++i) {
        uint32_t start, length;
        PayloadBounds(r, i, &start, &length);
        if (length == 0)
            continue; // matches anything
        if (length == RULE_IMAGE_INTEGER_SIZE)
            continue; // an Integer's four bytes need no NUL
        if (length % 2 != 0)
            return MATCH_BAD_TEXT;
        bool terminated = false;
        for (uint32_t j = 0; j < length && !terminated; j += 2)
            terminated = Read16(r.payload + start + j) == 0;
        if (!terminated)
            return MATCH_BAD_TEXT;
    }
    return 0;
}

// The structural part of ValidateRecord, enough for matching to stay inside
// the record even on an image that was never validated.
bool PayloadsInside(const RecordView& r)
{
    if (r.count > RULE_IMAGE_MAX_PARAMS)
        return false;
    if (r.count >= 1 && r.offset[0] > r.payloadSize)
        return false;
    return r.count < 2 || (r.offset[0] <= r.offset[1] && r.offset[1] <= r.payloadSize);
}

bool RecordMatches(const RecordView& r, const uint16_t* const params[RULE_IMAGE_MAX_PARAMS])
{
    for (uint32_t i = 0; i < r.count && i < RULE_IMAGE_MAX_PARAMS; ++i) {
        if (!params[i])
            return false; // the rule has a parameter the operation lacks
        uint32_t start, length;
        PayloadBounds(r, i, &start, &length);
        if (length == 0)
            continue;
        if (!WildcardMatch(r.payload + start, length / 2, params[i]))
            return false;
    }
    return true;
}

uint32_t FirstMatchOffset(const uint8_t* image, uint32_t size, uint32_t kind,
                          const uint16_t* const params[RULE_IMAGE_MAX_PARAMS])
{
    if (!image || size < RULE_IMAGE_HEADER_SIZE || kind >= RULE_IMAGE_KIND_COUNT)
        return 0;
    // Every record counts, whatever the header says: with several program
    // entries the header only describes the runs of the last one.
    uint32_t pos = RULE_IMAGE_HEADER_SIZE;
    while (pos < size) {
        RecordView r;
        if (!ReadRecord(image, size, pos, &r))
            return 0;
        if (r.kind == kind && PayloadsInside(r) && RecordMatches(r, params))
            return pos;
        pos += r.size;
    }
    return 0;
}

} // namespace match

using namespace match;

extern "C" int MatchValidateImage(const uint8_t* image, uint32_t size)
{
    if (!image || size < RULE_IMAGE_HEADER_SIZE)
        return MATCH_BAD_SIZE;
    uint32_t header[RULE_IMAGE_KIND_COUNT];
    for (uint32_t k = 0; k < RULE_IMAGE_KIND_COUNT; ++k) {
        header[k] = Read32(image + 4 * k);
        if (header[k] < RULE_IMAGE_HEADER_SIZE || header[k] > size)
            return MATCH_BAD_HEADER;
        if (k > 0 && header[k] < header[k - 1])
            return MATCH_BAD_HEADER;
    }
    bool atBoundary[RULE_IMAGE_KIND_COUNT] = {false, false, false};
    uint32_t pos = RULE_IMAGE_HEADER_SIZE;
    for (;;) {
        for (uint32_t k = 0; k < RULE_IMAGE_KIND_COUNT; ++k) {
            if (header[k] == pos)
                atBoundary[k] = true;
        }
        if (pos == size)
            break;
        RecordView r;
        if (!ReadRecord(image, size, pos, &r))
            return MATCH_BAD_RECORD;
        int result = ValidateRecord(r);
        if (result != 0)
            return result;
        pos += r.size;
    }
    for (uint32_t k = 0; k < RULE_IMAGE_KIND_COUNT; ++k) {
        if (!atBoundary[k])
            return MATCH_BAD_HEADER;
    }
    return 0;
}

extern "C" int MatchOperation(const uint8_t* image, uint32_t size, uint32_t kind,
                              const wchar_t* param1, const wchar_t* param2, uint32_t* ruleId)
{
    static_assert(sizeof(wchar_t) == 2, "operation texts are UTF-16");
    const uint16_t* params[RULE_IMAGE_MAX_PARAMS] = {
        reinterpret_cast<const uint16_t*>(param1), reinterpret_cast<const uint16_t*>(param2)};
    uint32_t pos = FirstMatchOffset(image, size, kind, params);
    RecordView r;
    if (pos == 0 || !ReadRecord(image, size, pos, &r))
        return 0;
    if (ruleId)
        *ruleId = r.ruleId;
    return 1;
}

extern "C" int MatchWildcard(const uint16_t* pattern, const uint16_t* text)
{
    if (!pattern || !text)
        return 0;
    size_t units = 0;
    while (pattern[units])
        ++units;
    return WildcardMatch(reinterpret_cast<const uint8_t*>(pattern), units, text) ? 1 : 0;
}
