#include "net/Freshness.h"

namespace {

bool Digits(const std::string& text, size_t at, size_t count, int* value)
{
    if (at + count > text.size())
        return false;
    int v = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + (text[i] - '0');
    }
    *value = v;
    return true;
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days from 1970-01-01 to the given date (the proleptic Gregorian calendar).
int64_t DaysFromEpoch(int year, int month, int day)
{
    static const int before[] = { 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334 };
    int64_t days = 0;
    for (int y = 1970; y < year; ++y)
        days += IsLeapYear(y) ? 366 : 365;
    days += before[month - 1] + (month > 2 && IsLeapYear(year) ? 1 : 0);
    return days + day - 1;
}

} // namespace

bool ParseSerial(const std::string& text, uint64_t* serial)
{
    if (text.empty() || text.size() > 19)
        return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    *serial = value;
    return true;
}

bool ParseUtcTime(const std::string& text, int64_t* seconds)
{
    int year, month, day, hour = 0, minute = 0, second = 0;
    if (text.size() != 10 && text.size() != 20)
        return false;
    if (!Digits(text, 0, 4, &year) || text[4] != '-' || !Digits(text, 5, 2, &month) || text[7] != '-' ||
        !Digits(text, 8, 2, &day))
        return false;
    if (text.size() == 20 && (text[10] != 'T' || !Digits(text, 11, 2, &hour) || text[13] != ':' ||
                              !Digits(text, 14, 2, &minute) || text[16] != ':' || !Digits(text, 17, 2, &second) ||
                              text[19] != 'Z'))
        return false;
    static const int length[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    if (year < 1970 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return false;
    if (day > length[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0))
        return false;
    *seconds = DaysFromEpoch(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

FreshnessResult CheckFreshness(const std::optional<std::string>& serialText,
                               const std::optional<std::string>& expiresText, const FRESHNESS_FLOOR& floor,
                               uint64_t* serial)
{
    uint64_t value = 0;
    if (!serialText || !ParseSerial(*serialText, &value))
        return FRESH_NO_SERIAL;
    if (value < floor.serial || (value == floor.serial && !floor.equalAllowed))
        return FRESH_OLD;
    int64_t expires = 0;
    if (!expiresText || !ParseUtcTime(*expiresText, &expires))
        return FRESH_NO_EXPIRY;
    if (expires <= floor.now)
        return FRESH_EXPIRED;
    if (serial)
        *serial = value;
    return FRESH_OK;
}
