#include "update/UpdateSchedule.h"

#include "base/Registry.h"

#include <ctime>

const wchar_t kLastUpdateTimeValue[] = L"LastUpdateTime";

namespace {
const int64_t kSecondsPerDay = 86400;
} // namespace

bool IsAutoUpdateDue(bool present, DWORD type, const std::vector<uint8_t>& data, int64_t now)
{
    if (!present || type != REG_BINARY || data.size() != sizeof(int64_t))
        return true;
    uint64_t bits = 0;
    for (size_t i = 0; i < sizeof(bits); ++i)
        bits |= static_cast<uint64_t>(data[i]) << (8 * i);
    const int64_t stored = static_cast<int64_t>(bits);
    // Whole days, rounded toward zero; a stored time later than now is due.
    const int64_t days = (now - stored) / kSecondsPerDay;
    return now < stored || days >= kAutoUpdateIntervalDays;
}

bool TakeAutoUpdateTurn(HKEY root, const wchar_t* key, int64_t now)
{
    CRegKey settings;
    if (settings.Create(root, key, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) != 0)
        return true;
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
    const bool present = settings.QueryRaw(kLastUpdateTimeValue, &type, &data) == 0;
    if (!IsAutoUpdateDue(present, type, data, now))
        return false;
    uint8_t bytes[sizeof(int64_t)];
    for (size_t i = 0; i < sizeof(bytes); ++i)
        bytes[i] = static_cast<uint8_t>(static_cast<uint64_t>(now) >> (8 * i));
    settings.SetBinary(kLastUpdateTimeValue, bytes, sizeof(bytes));
    return true;
}

int64_t CurrentUnixTime()
{
    return static_cast<int64_t>(_time64(nullptr));
}
