// Upper case of a UTF-16 unit as the system compares file and registry names:
// the simple upper-case mapping of the Basic Multilingual Plane, kept where
// it round-trips (see scripts/gen-case-table.py). Two names are the same name
// when their units' upper cases are equal. Freestanding: the driver, the
// sensor and the program use it alike. CaseTable.h is generated into the
// build folder.
#pragma once

#include "CaseTable.h"

#include <stdint.h>

inline uint16_t CaseUpper(uint16_t c)
{
    return uint16_t(c + casetable::kCaseDelta[casetable::kCaseBlock[c >> 8]][c & 0xFF]);
}
