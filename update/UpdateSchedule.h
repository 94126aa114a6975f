// The automatic update schedule: an automatic run starts when the last
// automatic start, kept as "LastUpdateTime" in the settings key, is at least
// five days ago. The time is stored before the run starts, so a failed run
// counts as well.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

extern const wchar_t kLastUpdateTimeValue[]; // "LastUpdateTime"
const int64_t kAutoUpdateIntervalDays = 5;

// Whether a run is due at `now` (seconds since 1970-01-01 UTC) given the
// stored value: due unless it is an 8-byte REG_BINARY little-endian signed
// count of seconds that lies 0 to 5 days (exclusive) before now. A missing
// value, another type or size, or a time in the future are due.
bool IsAutoUpdateDue(bool present, DWORD type, const std::vector<uint8_t>& data, int64_t now);

// Checks the stored time under `root`\`key` and, when a run is due, stores
// `now` first. True when a run is due; also when the key cannot be opened or
// created (then nothing is stored).
bool TakeAutoUpdateTurn(HKEY root, const wchar_t* key, int64_t now);

// The current time in seconds since 1970-01-01 UTC.
int64_t CurrentUnixTime();
