// An index over a rule table image, so that matching an operation does not
// walk every record. Freestanding like the matcher (no exceptions, no
// standard library, no allocation): the caller provides the memory, the
// driver when a table is set, the program's copy in user mode.
//
// Every text that matches a pattern contains each literal run of the pattern
// (the characters between wildcards), folded as the matcher folds case, and
// starts and ends with the pattern's literal start and end. The index files
// each record under one key of one of its parameters, the one the fewest
// other patterns share: three folded characters of a literal run, or a
// literal start or end of one or two characters. Records without any (only
// wildcards, short inner runs, empty payloads) go to a fallback list per
// kind. Matching looks up the keys of the operation's texts and checks the
// records found there with the matcher itself, earliest first, so the answer
// is the walk's answer.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Bytes the index of `image` takes: 0 when there is no record to index
// (matching then walks the image, which is as fast). At most twice the image
// size.
uint32_t MatchIndexSize(const uint8_t* image, uint32_t size);

// Builds the index of `image` into `index`: `indexSize` bytes, at least
// MatchIndexSize, aligned to 4 bytes. The image is expected to be validated;
// an unvalidated one is read only within its records, as MatchOperation
// reads it. 0 when built; MATCH_BAD_SIZE when there is nothing to index or
// the buffer is too small or misaligned.
int MatchBuildIndex(const uint8_t* image, uint32_t size, void* index, uint32_t indexSize);

// MatchOperation's answer (the first matching record in image order) through
// the index that MatchBuildIndex built for this image. With a null index, or
// one built for an image of another size, the image is walked instead.
int MatchOperationIndexed(const uint8_t* image, uint32_t size, const void* index, uint32_t kind,
                          const wchar_t* param1, const wchar_t* param2, uint32_t* ruleId);

#ifdef __cplusplus
}
#endif
