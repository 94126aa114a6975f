// Freestanding: built into the kernel driver as well, so no standard library,
// no exceptions, no allocation and no recursion.
//
// The index is an array of 32-bit words in the caller's memory:
//   header    magic, image size, record count n, slot mask, fallback[3]
//   offsets   n: image offset of each indexed record, in image order
//   keys      n: the key the record is filed under, 0 in a fallback list
//   next      n: the next entry of the same chain, kNone at its end
//   slots     s: first entry of the chain of each hash slot (s a power of
//             two, at least 4n, so chains stay short)
// Entries are numbered in image order and every chain runs in that order, so
// the first match found in a chain is that chain's earliest, and a chain is
// left as soon as it reaches an entry later than the best match so far.
#include "driver/common/MatchIndex.h"
#include "driver/common/MatchRecord.h"

using namespace match;

namespace {

const uint32_t kMagic = 0x78496D48u; // "HmIx"
const uint32_t kNone = 0xFFFFFFFFu;
const uint32_t kCounterMax = 0xFFFFu;

enum {
    kWordMagic,
    kWordImageSize,
    kWordCount,
    kWordSlotMask,
    kWordFallback, // three words, one per kind
    kHeaderWords = kWordFallback + RULE_IMAGE_KIND_COUNT
};

struct IndexView {
    uint32_t count;
    uint32_t slotMask;
    uint32_t* fallback;
    uint32_t* offsets;
    uint32_t* keys;
    uint32_t* next;
    uint32_t* slots;
};

void Lay(uint32_t* words, uint32_t count, uint32_t slotCount, IndexView* v)
{
    v->count = count;
    v->slotMask = slotCount - 1;
    v->fallback = words + kWordFallback;
    v->offsets = words + kHeaderWords;
    v->keys = v->offsets + count;
    v->next = v->keys + count;
    v->slots = v->next + count;
}

uint32_t SlotCountFor(uint32_t count)
{
    uint32_t slots = 1;
    while (slots < 4 * count)
        slots <<= 1;
    return slots;
}

// A record the walk would consider: a known kind and payloads inside it.
bool Indexable(const RecordView& r)
{
    return r.kind < RULE_IMAGE_KIND_COUNT && PayloadsInside(r);
}

// Calls visit(pos) for every record in image order up to the first one that
// does not fit the image, where the walk stops too.
template <class Visit>
void ForEachRecord(const uint8_t* image, uint32_t size, Visit&& visit)
{
    uint32_t pos = RULE_IMAGE_HEADER_SIZE;
    RecordView r;
    while (pos < size && ReadRecord(image, size, pos, &r)) {
        visit(pos, r);
        pos += r.size;
    }
}

uint32_t CountIndexable(const uint8_t* image, uint32_t size)
{
    uint32_t count = 0;
    if (image && size >= RULE_IMAGE_HEADER_SIZE)
        ForEachRecord(image, size, [&](uint32_t, const RecordView& r) { count += Indexable(r); });
    return count;
}

// Each record takes at least 28 image bytes and at most 4 * (3 + 8) index
// bytes, so the index stays below twice the image. 0 for no record, or when
// the index would not fit 32 bits.
uint32_t IndexBytes(uint32_t count)
{
    if (count == 0)
        return 0;
    uint64_t words = uint64_t(kHeaderWords) + 3u * uint64_t(count) + SlotCountFor(count);
    return words * 4 > 0xFFFFFFFFu ? 0 : uint32_t(words * 4);
}

// Keys: three folded characters anywhere in a text (a run), or the first or
// last one or two folded characters of a text, for patterns whose literal at
// that end is that short.
enum KeyFamily { kRun, kPrefix1, kPrefix2, kSuffix1, kSuffix2, kFamilyCount };

// The key of parameter `param` of kind `kind` in family `family`; never 0,
// which marks the fallback.
uint32_t Key(uint32_t kind, uint32_t param, uint32_t family, uint16_t a, uint16_t b, uint16_t c)
{
    uint32_t tag = (kind * RULE_IMAGE_MAX_PARAMS + param) * kFamilyCount + family;
    uint32_t h = (uint32_t(a) | uint32_t(b) << 16) * 0x9E3779B1u;
    h ^= (uint32_t(c) | tag << 16) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0xC2B2AE3Du;
    h ^= h >> 13;
    return h ? h : 1;
}

// Calls visit(key) for every key a text matching the record must produce:
// each run of three literal characters of its patterns, and a pattern's
// literal start or end when it is shorter than three characters. A payload
// is read exactly as the matcher reads it: length / 2 units at most, up to
// its NUL.
template <class Visit>
void ForEachPatternKey(const RecordView& r, Visit&& visit)
{
    for (uint32_t i = 0; i < r.count; ++i) {
        uint32_t start, length;
        PayloadBounds(r, i, &start, &length);
        const uint8_t* pattern = r.payload + start;
        uint16_t first[2] = {0, 0}, a = 0, b = 0;
        uint32_t run = 0, leading = 0;
        bool wild = false;
        for (uint32_t u = 0; u < length / 2; ++u) {
            uint16_t c = Read16(pattern + 2 * u);
            if (c == 0)
                break;
            if (c == '*' || c == '?') {
                wild = true;
                run = 0;
                continue;
            }
            c = Fold(c);
            if (run >= 2)
                visit(Key(r.kind, i, kRun, a, b, c));
            if (!wild && leading < 2)
                first[leading] = c;
            leading += !wild;
            a = b;
            b = c;
            ++run;
        }
        if (leading == 1 || leading == 2)
            visit(Key(r.kind, i, leading == 1 ? kPrefix1 : kPrefix2, first[0], first[1], 0));
        if (run == 1)
            visit(Key(r.kind, i, kSuffix1, b, 0, 0));
        else if (run == 2)
            visit(Key(r.kind, i, kSuffix2, a, b, 0));
    }
}

// Gram counts while the index is built: 16-bit saturating counters, two to a
// word, over the slot area. Different grams may share a counter; that only
// makes a choice of key less sharp, never wrong.
uint32_t CounterOf(const IndexView& v, uint32_t key)
{
    uint32_t at = key & (2 * v.slotMask + 1);
    return (v.slots[at / 2] >> (16 * (at & 1))) & kCounterMax;
}

void Bump(const IndexView& v, uint32_t key)
{
    uint32_t at = key & (2 * v.slotMask + 1);
    if (CounterOf(v, key) < kCounterMax)
        v.slots[at / 2] += 1u << (16 * (at & 1));
}

// One operation on its way through the index: the best (earliest) matching
// entry so far, kNone while there is none.
struct Query {
    const uint8_t* image;
    uint32_t size;
    IndexView v;
    uint32_t kind;
    const uint16_t* params[RULE_IMAGE_MAX_PARAMS];
    uint32_t best;

    bool Matches(uint32_t entry) const
    {
        RecordView r;
        return ReadRecord(image, size, v.offsets[entry], &r) && r.kind == kind && PayloadsInside(r) &&
               RecordMatches(r, params);
    }

    // Follows a chain up to `best`; key 0 takes every entry (fallback lists).
    void Walk(uint32_t first, uint32_t key)
    {
        for (uint32_t e = first; e < best && e < v.count; e = v.next[e]) {
            if ((key == 0 || v.keys[e] == key) && Matches(e)) {
                best = e;
                return;
            }
        }
    }

    void Probe(uint32_t key)
    {
        uint32_t first = v.slots[key & v.slotMask];
        if (first < best)
            Walk(first, key);
    }

    // Every key the text of parameter i produces.
    void ProbeText(uint32_t i)
    {
        const uint16_t* t = params[i];
        uint16_t first[2] = {0, 0}, a = 0, b = 0;
        uint32_t n = 0;
        for (; t[n] && best != 0; ++n) {
            uint16_t c = Fold(t[n]);
            if (n >= 2)
                Probe(Key(kind, i, kRun, a, b, c));
            else
                first[n] = c;
            a = b;
            b = c;
        }
        if (n >= 1) {
            Probe(Key(kind, i, kPrefix1, first[0], 0, 0));
            Probe(Key(kind, i, kSuffix1, b, 0, 0));
        }
        if (n >= 2) {
            Probe(Key(kind, i, kPrefix2, first[0], first[1], 0));
            Probe(Key(kind, i, kSuffix2, a, b, 0));
        }
    }
};

} // namespace

extern "C" uint32_t MatchIndexSize(const uint8_t* image, uint32_t size)
{
    return IndexBytes(CountIndexable(image, size));
}

extern "C" int MatchBuildIndex(const uint8_t* image, uint32_t size, void* index, uint32_t indexSize)
{
    uint32_t count = CountIndexable(image, size);
    uint32_t need = IndexBytes(count);
    if (need == 0 || !index || indexSize < need || (reinterpret_cast<uintptr_t>(index) & 3) != 0)
        return MATCH_BAD_SIZE;
    uint32_t* words = static_cast<uint32_t*>(index);
    IndexView v;
    Lay(words, count, SlotCountFor(count), &v);

    uint32_t n = 0;
    ForEachRecord(image, size, [&](uint32_t pos, const RecordView& r) {
        if (Indexable(r))
            v.offsets[n++] = pos;
    });

    // Count how many patterns share each run, then file each record under
    // its rarest run.
    for (uint32_t s = 0; s <= v.slotMask; ++s)
        v.slots[s] = 0;
    RecordView r;
    for (uint32_t e = 0; e < count; ++e) {
        ReadRecord(image, size, v.offsets[e], &r);
        ForEachPatternKey(r, [&](uint32_t key) { Bump(v, key); });
    }
    for (uint32_t e = 0; e < count; ++e) {
        ReadRecord(image, size, v.offsets[e], &r);
        uint32_t chosen = 0, fewest = kNone;
        ForEachPatternKey(r, [&](uint32_t key) {
            uint32_t shared = CounterOf(v, key);
            if (shared < fewest) {
                fewest = shared;
                chosen = key;
            }
        });
        v.keys[e] = chosen;
    }

    // Chains, built from the last entry back so that each runs in image order.
    for (uint32_t s = 0; s <= v.slotMask; ++s)
        v.slots[s] = kNone;
    for (uint32_t k = 0; k < RULE_IMAGE_KIND_COUNT; ++k)
        v.fallback[k] = kNone;
    for (uint32_t e = count; e-- > 0;) {
        uint32_t* head;
        if (v.keys[e] != 0) {
            head = &v.slots[v.keys[e] & v.slotMask];
        } else {
            ReadRecord(image, size, v.offsets[e], &r);
            head = &v.fallback[r.kind];
        }
        v.next[e] = *head;
        *head = e;
    }
    words[kWordMagic] = kMagic;
    words[kWordImageSize] = size;
    words[kWordCount] = count;
    words[kWordSlotMask] = v.slotMask;
    return 0;
}

namespace match {

uint32_t FirstMatchOffsetIndexed(const uint8_t* image, uint32_t size, const void* index, uint32_t kind,
                                 const uint16_t* const params[RULE_IMAGE_MAX_PARAMS])
{
    const uint32_t* words = static_cast<const uint32_t*>(index);
    if (!words || words[kWordMagic] != kMagic || words[kWordImageSize] != size)
        return FirstMatchOffset(image, size, kind, params);
    if (!image || size < RULE_IMAGE_HEADER_SIZE || kind >= RULE_IMAGE_KIND_COUNT)
        return 0;
    Query q = {image, size, {}, kind, {params[0], params[1]}, kNone};
    // Only read through: the view's pointers are not written here.
    Lay(const_cast<uint32_t*>(words), words[kWordCount], words[kWordSlotMask] + 1, &q.v);
    q.Walk(q.v.fallback[kind], 0);
    for (uint32_t i = 0; i < RULE_IMAGE_MAX_PARAMS && q.best != 0; ++i) {
        if (q.params[i])
            q.ProbeText(i);
    }
    return q.best == kNone ? 0 : q.v.offsets[q.best];
}

} // namespace match

extern "C" int MatchOperationIndexed(const uint8_t* image, uint32_t size, const void* index,
                                     uint32_t kind, const wchar_t* param1, const wchar_t* param2,
                                     uint32_t* ruleId)
{
    static_assert(sizeof(wchar_t) == 2, "operation texts are UTF-16");
    const uint16_t* params[RULE_IMAGE_MAX_PARAMS] = {
        reinterpret_cast<const uint16_t*>(param1), reinterpret_cast<const uint16_t*>(param2)};
    uint32_t pos = FirstMatchOffsetIndexed(image, size, index, kind, params);
    RecordView r;
    if (pos == 0 || !ReadRecord(image, size, pos, &r))
        return 0;
    if (ruleId)
        *ruleId = r.ruleId;
    return 1;
}
