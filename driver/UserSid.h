// The user a requesting process runs as, for the registry rules written
// through HKEY_CURRENT_USER: the SID of its token's user, as text.
#pragma once

#include "driver/DriverState.h"

// A SID as text: "S-1-5-21-" and up to 15 sub-authorities of ten digits.
#define USER_SID_CHARS 184u

// The SID of the user of process `processId` ("S-1-5-21-..."), NUL-terminated
// in `out`. FALSE when the process is gone or its token cannot be read.
BOOLEAN ProcessUserSid(uint32_t processId, WCHAR* out, ULONG outChars);
