// What keeps an old signed file from being served again: a "Serial" that
// only grows, and an "Expires" date after which the file counts for nothing.
// The manifest and the feed carry both under their signature. Plain code, no
// system calls (fuzzing included).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// A serial: 1 to 19 decimal digits, nothing else (no sign, no blank).
bool ParseSerial(const std::string& text, uint64_t* serial);

// A UTC time, "YYYY-MM-DD" (the start of that day) or
// "YYYY-MM-DDTHH:MM:SSZ", as seconds since 1970-01-01 00:00 UTC. Years 1970
// to 9999; the day must exist in its month.
bool ParseUtcTime(const std::string& text, int64_t* seconds);

// What the file's serial must exceed and what "now" is.
struct FRESHNESS_FLOOR {
    uint64_t serial = 0;      // the larger of the last accepted serial and the built-in one
    bool equalAllowed = false; // the file already accepted once (read again from disk) may equal it
    int64_t now = 0;          // seconds since 1970-01-01 UTC
};

enum FreshnessResult : int {
    FRESH_OK = 0,
    FRESH_NO_SERIAL = -1, // "Serial" absent or not a serial
    FRESH_OLD = -2,       // not above the floor (or, where allowed, equal to it)
    FRESH_NO_EXPIRY = -3, // "Expires" absent or not a date
    FRESH_EXPIRED = -4,   // "Expires" is now or earlier
};

// Checks a file's serial and expiry; `serial` receives the serial read.
FreshnessResult CheckFreshness(const std::optional<std::string>& serialText,
                               const std::optional<std::string>& expiresText, const FRESHNESS_FLOOR& floor,
                               uint64_t* serial = nullptr);
