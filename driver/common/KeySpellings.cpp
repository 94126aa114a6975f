// Freestanding: built into the kernel driver as well, so no standard library,
// no exceptions, no allocation and no recursion.
#include "driver/common/KeySpellings.h"
#include "driver/common/MatchRecord.h"

using namespace match;

namespace {

// A prefix of a key name: ASCII text, the requesting user's SID, ASCII text.
struct Prefix {
    const char* head;
    bool sid;
    const char* tail;
};

const uint32_t kMaxAliases = 4;

// A kernel prefix and the names the predefined keys give it. Longer kernel
// prefixes come after the shorter ones they extend; every one applies.
struct Root {
    Prefix kernel;
    const char* aliases[kMaxAliases];
};

const Root kRoots[] = {
    {{"\\REGISTRY\\MACHINE", false, ""}, {"HKEY_LOCAL_MACHINE", "HKLM", nullptr, nullptr}},
    {{"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes", false, ""}, {"HKEY_CLASSES_ROOT", "HKCR", nullptr, nullptr}},
    {{"\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current", false, ""},
     {"HKEY_CURRENT_CONFIG", "HKCC", nullptr, nullptr}},
    {{"\\REGISTRY\\USER", false, ""}, {"HKEY_USERS", "HKU", nullptr, nullptr}},
    {{"\\REGISTRY\\USER\\", true, ""}, {"HKEY_CURRENT_USER", "HKCU", nullptr, nullptr}},
    {{"\\REGISTRY\\USER\\", true, "_Classes"},
     {"HKEY_CLASSES_ROOT", "HKCR", "HKEY_CURRENT_USER\\Software\\Classes", "HKCU\\Software\\Classes"}},
    {{"\\REGISTRY\\USER\\", true, "\\Software\\Classes"}, {"HKEY_CLASSES_ROOT", "HKCR", nullptr, nullptr}},
};

bool SameLetter(uint16_t a, uint16_t b)
{
    return Fold(a) == Fold(b);
}

// Units of `text` that spell the ASCII `literal` from `at`, or -1.
int32_t SpellsAscii(const uint16_t* text, uint32_t at, const char* literal)
{
    uint32_t n = 0;
    for (; literal[n]; ++n) {
        if (!text[at + n] || !SameLetter(text[at + n], uint16_t(uint8_t(literal[n]))))
            return -1;
    }
    return int32_t(n);
}

int32_t SpellsWide(const uint16_t* text, uint32_t at, const uint16_t* literal)
{
    uint32_t n = 0;
    for (; literal[n]; ++n) {
        if (!text[at + n] || !SameLetter(text[at + n], literal[n]))
            return -1;
    }
    return int32_t(n);
}

// Length of the prefix at the start of `text` when the text begins with it
// and goes on with a backslash or ends there; 0 otherwise.
uint32_t PrefixLength(const uint16_t* text, const Prefix& p, const uint16_t* sid)
{
    if (p.sid && (!sid || !sid[0]))
        return 0;
    int32_t head = SpellsAscii(text, 0, p.head);
    if (head < 0)
        return 0;
    uint32_t at = uint32_t(head);
    if (p.sid) {
        int32_t s = SpellsWide(text, at, sid);
        if (s < 0)
            return 0;
        at += uint32_t(s);
    }
    int32_t tail = SpellsAscii(text, at, p.tail);
    if (tail < 0)
        return 0;
    at += uint32_t(tail);
    return (text[at] == 0 || text[at] == '\\') ? at : 0;
}

// Writes pieces into a buffer of `capacity` units; `ok` turns false when they
// do not fit with their NUL.
struct Writer {
    uint16_t* out;
    uint32_t capacity;
    uint32_t length;
    bool ok;

    void Unit(uint16_t c)
    {
        if (length + 1 < capacity)
            out[length++] = c;
        else
            ok = false;
    }
    void Ascii(const char* s)
    {
        for (; *s; ++s)
            Unit(uint16_t(uint8_t(*s)));
    }
    void Wide(const uint16_t* s)
    {
        for (; *s; ++s)
            Unit(*s);
    }
    void Prefix(const ::Prefix& p, const uint16_t* sid)
    {
        Ascii(p.head);
        if (p.sid)
            Wide(sid);
        Ascii(p.tail);
    }
    bool Finish()
    {
        if (capacity == 0)
            return false;
        out[length < capacity ? length : capacity - 1] = 0;
        return ok;
    }
};

// Unit for unit the same text: a spelling that repeats the name as given.
bool SameText(const uint16_t* a, const uint16_t* b)
{
    uint32_t i = 0;
    for (; a[i] && a[i] == b[i]; ++i) {
    }
    return a[i] == b[i];
}

uint32_t AliasLength(const uint16_t* text, const char* alias)
{
    int32_t n = SpellsAscii(text, 0, alias);
    return (n > 0 && (text[n] == 0 || text[n] == '\\')) ? uint32_t(n) : 0;
}

// The kernel form of a name given through a predefined key, into `out`; false
// when the name is in no such form (or does not fit).
bool KernelForm(const uint16_t* name, const uint16_t* sid, uint16_t* out, uint32_t capacity)
{
    for (const Root& root : kRoots) {
        if (root.kernel.sid && (!sid || !sid[0]))
            continue;
        for (const char* alias : root.aliases) {
            uint32_t n = alias ? AliasLength(name, alias) : 0;
            if (n == 0)
                continue;
            Writer w = {out, capacity, 0, true};
            w.Prefix(root.kernel, sid);
            w.Wide(name + n);
            return w.Finish();
        }
    }
    return false;
}

template <class Visit>
uint32_t Spell(const uint16_t* name, const uint16_t* sid, uint16_t* scratch, uint32_t scratchChars,
               Visit&& visit)
{
    if (!name)
        return 0;
    uint32_t half = scratchChars / 2;
    uint16_t* kernel = scratch;
    uint16_t* spelling = scratch + half;
    uint32_t count = 1;
    visit(name);
    const uint16_t* base = name;
    if (scratch && half > 0 && KernelForm(name, sid, kernel, half)) {
        base = kernel;
        ++count;
        visit(kernel);
    }
    if (!scratch || half == 0)
        return count;
    for (const Root& root : kRoots) {
        uint32_t n = PrefixLength(base, root.kernel, sid);
        if (n == 0)
            continue;
        for (const char* alias : root.aliases) {
            if (!alias)
                continue;
            Writer w = {spelling, half, 0, true};
            w.Ascii(alias);
            w.Wide(base + n);
            // The name as given is already visited.
            if (w.Finish() && !SameText(name, spelling)) {
                ++count;
                visit(spelling);
            }
        }
    }
    return count;
}

} // namespace

extern "C" int MatchKeyOperation(const uint8_t* image, uint32_t size, const void* index, const wchar_t* keyName,
                                 const wchar_t* valueName, const wchar_t* userSid, wchar_t* scratch,
                                 uint32_t scratchChars, uint32_t* ruleId)
{
    static_assert(sizeof(wchar_t) == 2, "operation texts are UTF-16");
    uint32_t best = 0;
    const uint16_t* value = reinterpret_cast<const uint16_t*>(valueName);
    Spell(reinterpret_cast<const uint16_t*>(keyName), reinterpret_cast<const uint16_t*>(userSid),
          reinterpret_cast<uint16_t*>(scratch), scratch ? scratchChars : 0, [&](const uint16_t* spelling) {
              const uint16_t* params[RULE_IMAGE_MAX_PARAMS] = {spelling, value};
              uint32_t pos = FirstMatchOffsetIndexed(image, size, index, 1, params);
              if (pos != 0 && (best == 0 || pos < best))
                  best = pos;
          });
    RecordView r;
    if (best == 0 || !ReadRecord(image, size, best, &r))
        return 0;
    if (ruleId)
        *ruleId = r.ruleId;
    return 1;
}

extern "C" uint32_t ForEachKeySpelling(const wchar_t* keyName, const wchar_t* userSid, wchar_t* scratch,
                                       uint32_t scratchChars, void (*visit)(void* context, const wchar_t* spelling),
                                       void* context)
{
    return Spell(reinterpret_cast<const uint16_t*>(keyName), reinterpret_cast<const uint16_t*>(userSid),
                 reinterpret_cast<uint16_t*>(scratch), scratch ? scratchChars : 0,
                 [&](const uint16_t* spelling) {
                     if (visit)
                         visit(context, reinterpret_cast<const wchar_t*>(spelling));
                 });
}
