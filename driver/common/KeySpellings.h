// Every spelling of a registry key name, for matching. A real operation names
// its key the kernel's way (\REGISTRY\MACHINE\SOFTWARE\x, from the key
// handle); rules may name it so too, or through the predefined keys a program
// sees (HKEY_LOCAL_MACHINE\SOFTWARE\x, HKLM\SOFTWARE\x). A RegSetValue
// operation is matched in each spelling of its key, and the verdict is the
// earliest record in image order that matches any of them: exactly what one
// walk over the image that tried every spelling at each record would find.
// Freestanding like the matcher (no standard library, no allocation).
//
// The spellings of a kernel name (SID is the requesting user's):
//   \REGISTRY\MACHINE\...                      HKEY_LOCAL_MACHINE\..., HKLM\...
//   \REGISTRY\MACHINE\SOFTWARE\Classes\...     HKEY_CLASSES_ROOT\..., HKCR\...
//   \REGISTRY\MACHINE\SYSTEM\CurrentControlSet\Hardware Profiles\Current\...
//                                              HKEY_CURRENT_CONFIG\..., HKCC\...
//   \REGISTRY\USER\...                         HKEY_USERS\..., HKU\...
//   \REGISTRY\USER\SID\...                     HKEY_CURRENT_USER\..., HKCU\...
//   \REGISTRY\USER\SID_Classes\...             HKEY_CLASSES_ROOT\..., HKCR\...,
//                                              HKEY_CURRENT_USER\Software\Classes\...
//   \REGISTRY\USER\SID\Software\Classes\...    HKEY_CLASSES_ROOT\..., HKCR\...
// (the last two are the user's half of the merged classes view: its own hive
// on Windows, a key of the user's hive under Wine). A name given in one of the
// right-hand forms is first turned into its kernel form (HKEY_CLASSES_ROOT
// into the machine's half), then spelt every way. Prefixes compare without
// regard to case and end at a backslash or at the end of the name.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Room the spellings need beyond the name and the SID, in UTF-16 units.
#define KEY_SPELLING_EXTRA_CHARS 80u

// Units of scratch that MatchKeyOperation needs for a key name of
// `nameChars` and a SID of `sidChars` units: two spellings at a time.
#define KEY_SPELLING_SCRATCH_CHARS(nameChars, sidChars) \
    (2u * ((nameChars) + (sidChars) + KEY_SPELLING_EXTRA_CHARS))

// Matches a RegSetValue operation (kind 1) on key `keyName` and value
// `valueName` (may be null) in every spelling of the key, through the index
// when there is one (as MatchOperationIndexed). `userSid` is the requesting
// user's SID as text ("S-1-5-21-..."), or null when it is not known: the
// HKEY_CURRENT_USER spellings are then left out. `scratch` holds the
// spellings; a spelling longer than half of it is left out (size it with
// KEY_SPELLING_SCRATCH_CHARS and none is). Returns 1 and the rule identity of
// the earliest matching record, or 0.
int MatchKeyOperation(const uint8_t* image, uint32_t size, const void* index, const wchar_t* keyName,
                      const wchar_t* valueName, const wchar_t* userSid, wchar_t* scratch,
                      uint32_t scratchChars, uint32_t* ruleId);

// Calls `visit(context, spelling)` for every spelling of `keyName` (the name
// as given first, then its kernel form when that differs, then the others),
// each NUL-terminated in `scratch` as above. Returns how many were visited.
uint32_t ForEachKeySpelling(const wchar_t* keyName, const wchar_t* userSid, wchar_t* scratch,
                            uint32_t scratchChars, void (*visit)(void* context, const wchar_t* spelling),
                            void* context);

#ifdef __cplusplus
}
#endif
