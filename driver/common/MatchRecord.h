// The record-level pieces of the matcher, shared by the walk over the image
// (Matcher.cpp) and the index (MatchIndex.cpp). Freestanding like both.
#pragma once

#include "driver/common/CaseFold.h"
#include "driver/common/Matcher.h"

#include <stddef.h>

namespace match {

// Image fields are read byte by byte because records need not be aligned.
inline uint32_t Read32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline uint16_t Read16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

// Folds a UTF-16 unit the way the system compares names: to its upper case
// through the table of every letter pair of the BMP. Patterns and texts are
// compared this way (two units match when their folds are equal), and the
// index keys are made of folded units too.
inline uint16_t Fold(uint16_t c)
{
    return CaseUpper(c);
}

struct RecordView {
    uint32_t ruleId;
    uint32_t kind;
    uint32_t size;
    uint32_t count;
    const uint8_t* payload;  // record + 24
    uint32_t payloadSize;    // size - 28
    uint32_t offset[RULE_IMAGE_MAX_PARAMS];
};

// Reads the record at `pos`; false when it does not fit the image.
bool ReadRecord(const uint8_t* image, uint32_t size, uint32_t pos, RecordView* r);

// Start and size of payload i of a record whose offsets are inside it.
void PayloadBounds(const RecordView& r, uint32_t i, uint32_t* start, uint32_t* length);

// Whether the parameter count and payload offsets stay inside the record, so
// that matching can read it even when the image was never validated.
bool PayloadsInside(const RecordView& r);

// Whether the operation's parameters match every parameter of the record
// (the kind is the caller's to compare). A payload is read as a pattern of
// at most length / 2 units that ends at its NUL.
bool RecordMatches(const RecordView& r, const uint16_t* const params[RULE_IMAGE_MAX_PARAMS]);

// The image offset of the first record in image order that matches the
// operation, 0 when none does (no record starts before offset 12). The walk
// over every record, and the same answer through an index that
// MatchBuildIndex built for this image (the walk when the index is null or
// was built for another image).
uint32_t FirstMatchOffset(const uint8_t* image, uint32_t size, uint32_t kind,
                          const uint16_t* const params[RULE_IMAGE_MAX_PARAMS]);
uint32_t FirstMatchOffsetIndexed(const uint8_t* image, uint32_t size, const void* index, uint32_t kind,
                                 const uint16_t* const params[RULE_IMAGE_MAX_PARAMS]);

} // namespace match
