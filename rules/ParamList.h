// The parameter list: one contiguous record that carries the parameters of an
// operation, both those the driver reports with a request and the patterns of
// a rule. Little-endian, every field 32-bit unsigned.
//
//   PARAM_LIST  size | kind | count | offset[0] | offset[1] | entries...
//   PARAM_ENTRY size | type | value
//
// Entry offsets count from the end of the list header (byte 20); entries lie
// back to back, so entry 1's offset is entry 0's size.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

namespace ParamType {
enum : uint32_t {
    Any = 0,       // no value; shown as "*"
    Integer = 1,   // 32-bit number
    String = 2,    // UTF-16 text with its NUL
    Wildcards = 3, // UTF-16 pattern with its NUL
    Path = 4,      // UTF-16 path with its NUL
};
}

#define PARAM_MAX_ENTRIES 2

#pragma pack(push, 1)
struct PARAM_ENTRY {
    uint32_t size; // of the entry, this header included
    uint32_t type; // ParamType
    // value follows: nothing, a uint32_t, or UTF-16 text with its NUL
};

struct PARAM_LIST {
    uint32_t size;  // of the whole block in bytes
    uint32_t kind;  // operation kind
    uint32_t count; // number of entries, at most PARAM_MAX_ENTRIES
    uint32_t offset[PARAM_MAX_ENTRIES]; // from byte 20; offset[1] unused with one entry
    // entries follow
};
#pragma pack(pop)

static_assert(sizeof(PARAM_ENTRY) == 8, "PARAM_ENTRY header size");
static_assert(offsetof(PARAM_ENTRY, type) == 4, "PARAM_ENTRY type offset");
static_assert(sizeof(PARAM_LIST) == 20, "PARAM_LIST header size");
static_assert(offsetof(PARAM_LIST, kind) == 4, "PARAM_LIST kind offset");
static_assert(offsetof(PARAM_LIST, count) == 8, "PARAM_LIST count offset");
static_assert(offsetof(PARAM_LIST, offset) == 12, "PARAM_LIST offset table");
static_assert(sizeof(wchar_t) == 2, "parameter texts are UTF-16");

// Size field of a list with no entries as the rule reader and the rule dialog
// start it; BuildParamList adds one more byte of slack (24 + entries).
#define PARAM_LIST_EMPTY_SIZE 23u

// Format letters, one per entry: '*' Any (no argument), 'n' Integer (a
// uint32_t), 's' String, 'w' Wildcards, 'p' Path (a const wchar_t* each; null
// is stored as the empty text). Requests use "s" and "ss".

// Total size of the entries that the format and arguments describe; 0 for an
// empty format. Unknown letters count nothing.
uint32_t ParamListSize(const char* format, ...);
uint32_t ParamListSizeV(const char* format, va_list args);

// A new list of size 24 + ParamListSize, owned by the caller, released with
// FreeParamList. Null when memory runs out or the format has more than two
// letters.
PARAM_LIST* BuildParamList(uint32_t kind, const char* format, ...);
PARAM_LIST* BuildParamListV(uint32_t kind, const char* format, va_list args);

// Writes kind, count and entries into a list whose size field is already set.
// 1 on success; 0 when the size field is below 23, the format has more than two
// letters, or the entries do not fit within the size field.
int FillParamList(PARAM_LIST* list, uint32_t kind, const char* format, ...);
int FillParamListV(PARAM_LIST* list, uint32_t kind, const char* format, va_list args);

void FreeParamList(PARAM_LIST* list);

// A byte copy of exactly list->size bytes; null for a null list or when memory
// runs out.
PARAM_LIST* CopyParamList(const PARAM_LIST* list);

// Entry `index`, or null when the index is not below the count or the entry
// does not lie within the list's size.
const PARAM_ENTRY* ParamEntryAt(const PARAM_LIST* list, uint32_t index);

// The value of a String, Wildcards or Path entry; null for other types.
const wchar_t* ParamEntryText(const PARAM_ENTRY* entry);

// The number of an Integer entry; 0 for other types.
uint32_t ParamEntryInteger(const PARAM_ENTRY* entry);

// True when both lists have the same kind and the same entries (types and
// values); the size fields may differ by their slack.
bool ParamListEqual(const PARAM_LIST* a, const PARAM_LIST* b);

// Text of entry `index` into buffer (capacity in characters, the NUL
// included): "*" for Any, "%u" for Integer, the text for String, Wildcards and
// Path, "[Invalid param type]" for other types; cut to fit. An index past the
// last entry writes the empty text. Returns the length of the text written.
int FormatParam(const PARAM_LIST* list, uint32_t index, wchar_t* buffer, int capacity);

// "<kind display name> (<param 0>, <param 1>)", every piece cut to the room
// left. Returns the length of the text written plus one (0 when capacity is 0).
int FormatParamList(const PARAM_LIST* list, wchar_t* buffer, int capacity);
