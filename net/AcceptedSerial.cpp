#include "net/AcceptedSerial.h"

#include "base/Registry.h"

#include <vector>

const wchar_t kUpdateSerialValue[] = L"UpdateSerial";
const wchar_t kFeedSerialValue[] = L"FeedSerial";

namespace {

uint64_t StoredSerial(const SERIAL_STORE& store, const wchar_t* value)
{
    CRegKey key;
    if (store.key.empty() || key.Open(store.root, store.key.c_str(), KEY_QUERY_VALUE) != 0)
        return 0;
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
    if (key.QueryRaw(value, &type, &data) != 0 || type != REG_QWORD || data.size() != sizeof(uint64_t))
        return 0;
    uint64_t serial = 0;
    for (size_t i = 0; i < sizeof(serial); ++i)
        serial |= static_cast<uint64_t>(data[i]) << (8 * i);
    return serial;
}

} // namespace

SERIAL_STORE SettingsSerialStore(const ConfigPlaces& places)
{
    return SERIAL_STORE{ places.root, places.settingsKey };
}

uint64_t AcceptedSerial(const SERIAL_STORE& store, const wchar_t* value)
{
    const uint64_t stored = StoredSerial(store, value);
    return stored > kReleaseSerial ? stored : kReleaseSerial;
}

bool StoreAcceptedSerial(const SERIAL_STORE& store, const wchar_t* value, uint64_t serial)
{
    if (store.key.empty())
        return false;
    if (serial <= StoredSerial(store, value))
        return true;
    CRegKey key;
    if (key.Create(store.root, store.key.c_str(), KEY_QUERY_VALUE | KEY_SET_VALUE) != 0)
        return false;
    return RegSetValueExW(key.Get(), value, 0, REG_QWORD, reinterpret_cast<const BYTE*>(&serial),
                          sizeof(serial)) == ERROR_SUCCESS;
}
