// The serial of the last manifest and of the last feed the guard accepted,
// kept with the settings (the current user's "Software\Harrowmere" key, as
// the values "UpdateSerial" and "FeedSerial", REG_QWORD). A value that is
// missing or of another type reads as 0; the serial built into the program
// (kReleaseSerial) is the floor either way, so deleting the value cannot
// bring back a manifest older than the program.
#pragma once

#include "base/Config.h"

#include <windows.h>

#include <cstdint>
#include <string>

extern const wchar_t kUpdateSerialValue[]; // "UpdateSerial"
extern const wchar_t kFeedSerialValue[];   // "FeedSerial"

// The serial of the manifest this program was released with; a release
// raises it (docs/signing.md).
const uint64_t kReleaseSerial = 1;

// Where the serials are kept.
struct SERIAL_STORE {
    HKEY root = HKEY_CURRENT_USER;
    std::wstring key = L"Software\\Harrowmere";
};

// The settings key of a configuration (tests give theirs a scratch key; an
// empty key keeps nothing).
SERIAL_STORE SettingsSerialStore(const ConfigPlaces& places);

// The larger of the stored serial and kReleaseSerial.
uint64_t AcceptedSerial(const SERIAL_STORE& store, const wchar_t* value);
// Stores a newly accepted serial (never lowers the stored one). False when
// it cannot be written.
bool StoreAcceptedSerial(const SERIAL_STORE& store, const wchar_t* value, uint64_t serial);
