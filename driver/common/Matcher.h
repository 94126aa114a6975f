// Rule table image validation and operation matching. Freestanding (no
// exceptions, no standard library) so the driver and the unit tests use the
// very same code.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// 0 when the image is well formed, a negative code when it must be refused.
int MatchValidateImage(const uint8_t* image, uint32_t size);

// Matches one operation against a validated image. param2 may be null when the
// operation has one parameter. Returns 1 and stores the rule identity of the
// first matching record in image order, or 0 when no rule matches.
int MatchOperation(const uint8_t* image, uint32_t size, uint32_t kind,
                   const wchar_t* param1, const wchar_t* param2, uint32_t* ruleId);

#ifdef __cplusplus
}
#endif
