// Rule table image validation and operation matching. Freestanding (no
// exceptions, no standard library) so the driver and the unit tests use the
// very same code.
//
// The rule table image, little-endian, offsets in bytes from its start:
//   header   12 bytes: offset of the first record of kind 0, 1, 2
//   records  from offset 12 to the end, back to back, each RULE_IMAGE_RECORD
//            followed by the parameter payloads and 4 zero bytes.
// A payload is the value of a parameter without its type: nothing (matches
// anything), a 32-bit Integer (4 bytes, any value), or a UTF-16 pattern with
// its NUL (`*` any run, `?` one character, letters compared without regard to
// case). A 4-byte payload is compared as the (at most two) UTF-16 units it
// holds, up to a NUL; an Integer's halves match no ordinary operation text.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RULE_IMAGE_HEADER_SIZE 12u
#define RULE_IMAGE_RECORD_MIN_SIZE 28u // record header, no payload, trailer
#define RULE_IMAGE_MAX_PARAMS 2u
#define RULE_IMAGE_KIND_COUNT 3u
#define RULE_IMAGE_INTEGER_SIZE 4u     // payload of an Integer parameter

#pragma pack(push, 1)
typedef struct RULE_IMAGE_HEADER {
    uint32_t kindOffset[RULE_IMAGE_KIND_COUNT]; // first record of kind 0, 1, 2
} RULE_IMAGE_HEADER;

typedef struct RULE_IMAGE_RECORD {
    uint32_t ruleId;       // identity the driver hands back when this rule matches
    uint16_t kind;         // operation kind 0, 1, 2
    uint16_t reserved;     // 0
    uint32_t size;         // whole record, 28 + payloads; the next record follows
    uint32_t paramCount;   // 0 to 2
    uint32_t payloadOffset[RULE_IMAGE_MAX_PARAMS]; // from byte 24 of the record
    // payloads follow, then 4 zero bytes
} RULE_IMAGE_RECORD;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(RULE_IMAGE_HEADER) == 12, "rule image header size");
static_assert(sizeof(RULE_IMAGE_RECORD) == 24, "rule image record header size");
static_assert(__builtin_offsetof(RULE_IMAGE_RECORD, kind) == 4, "record kind offset");
static_assert(__builtin_offsetof(RULE_IMAGE_RECORD, size) == 8, "record size offset");
static_assert(__builtin_offsetof(RULE_IMAGE_RECORD, paramCount) == 12, "record count offset");
static_assert(__builtin_offsetof(RULE_IMAGE_RECORD, payloadOffset) == 16, "record payload offsets");
#endif

// Reasons an image is refused.
#define MATCH_BAD_SIZE    (-1) // null, or shorter than the header
#define MATCH_BAD_HEADER  (-2) // header offsets outside the image, out of order,
                               // or not at a record boundary
#define MATCH_BAD_RECORD  (-3) // record shorter than 28 bytes, past the end, or
                               // of a kind above 2
#define MATCH_BAD_PARAMS  (-4) // more than 2 parameters, or payloads outside
                               // the record or out of order
#define MATCH_BAD_TEXT    (-5) // a payload that is neither Integer-sized (4 bytes)
                               // nor a NUL-terminated UTF-16 text

// 0 when the image is well formed, a negative code when it must be refused.
int MatchValidateImage(const uint8_t* image, uint32_t size);

// Matches one operation against a validated image. param2 may be null when the
// operation has one parameter. Returns 1 and stores the rule identity of the
// first matching record in image order, or 0 when no rule matches.
int MatchOperation(const uint8_t* image, uint32_t size, uint32_t kind,
                   const wchar_t* param1, const wchar_t* param2, uint32_t* ruleId);

// 1 when the NUL-terminated text matches the NUL-terminated pattern as a
// whole: `*` any run of characters (backslashes included), `?` exactly one
// character, other characters equal without regard to case. Time grows with
// the product of the lengths at most, whatever the number of `*`.
int MatchWildcard(const uint16_t* pattern, const uint16_t* text);

#ifdef __cplusplus
}
#endif
