#include "sysview/DevicePath.h"

#include "base/LateBound.h"
#include <windows.h>

#include <cwctype>
#include <vector>

namespace {

const wchar_t kRedirector[] = L"\\Device\\LanmanRedirector\\";
const size_t kRedirectorLength = 25;
const wchar_t kObjectPrefix[] = L"\\??\\";
const size_t kObjectPrefixLength = 4;
// Substitutions can chain (Y: for Z:\a, Z: for C:\b); a loop of them ends here.
const int kMaxSubstitutions = 8;

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix)
{
    return text.size() >= prefix.size() && EqualNoCaseOrdinal(text.substr(0, prefix.size()).c_str(), prefix.c_str());
}

bool IsDrivePath(const std::wstring& path)
{
    return path.size() >= 2 && path[1] == L':' && std::iswalpha(path[0]) && path[0] < 128;
}

// \??\X:... is the drive path X:... behind the object manager's prefix.
bool IsObjectDrivePath(const std::wstring& path)
{
    return StartsWithNoCase(path, kObjectPrefix) && IsDrivePath(path.substr(kObjectPrefixLength));
}

int LetterIndex(wchar_t c)
{
    return static_cast<int>(std::towupper(c) - L'A');
}

bool SystemTarget(wchar_t letter, std::wstring* target)
{
    wchar_t drive[3] = { letter, L':', L'\0' };
    std::vector<wchar_t> buffer(4096);
    if (QueryDosDeviceW(drive, buffer.data(), static_cast<DWORD>(buffer.size())) == 0)
        return false;
    buffer.back() = L'\0';
    *target = buffer.data();
    return true;
}

} // namespace

bool ComparableTarget(const std::wstring& target, std::wstring* comparable)
{
    if (!StartsWithNoCase(target, kRedirector)) {
        *comparable = target;
        return true;
    }
    // ;X:<logon id>\server\share. The logon id is hexadecimal; the server and
    // share path is everything after its backslash, spaces included.
    size_t p = kRedirectorLength;
    if (target.size() < p + 4 || target[p] != L';' || target[p + 2] != L':')
        return false;
    p += 3;
    size_t digits = p;
    while (p < target.size() && std::iswxdigit(target[p]))
        ++p;
    if (p == digits || p >= target.size() || target[p] != L'\\' || p + 1 >= target.size())
        return false;
    *comparable = std::wstring(kRedirector) + target.substr(p + 1);
    return true;
}

CDeviceMap::CDeviceMap() : CDeviceMap(TargetQuery(SystemTarget)) {}

CDeviceMap::CDeviceMap(const TargetQuery& query)
{
    for (int i = 0; i < 26; ++i) {
        std::wstring target;
        if (!query(static_cast<wchar_t>(L'A' + i), &target) || target.empty())
            continue;
        m_raw[i] = target;
        std::wstring comparable;
        if (ComparableTarget(target, &comparable))
            m_comparable[i] = comparable;
    }
}

bool CDeviceMap::ToDrivePath(const std::wstring& devicePath, std::wstring* drivePath) const
{
    if (IsObjectDrivePath(devicePath)) {
        *drivePath = devicePath.substr(kObjectPrefixLength);
        return true;
    }
    for (int i = 0; i < 26; ++i) {
        const std::wstring& target = m_comparable[i];
        // A substituted drive's target is a drive path behind \??\; no device
        // path starts with it.
        if (target.empty() || StartsWithNoCase(target, kObjectPrefix) || !StartsWithNoCase(devicePath, target))
            continue;
        // \Device\HarddiskVolume1 is not the start of \Device\HarddiskVolume10.
        if (devicePath.size() > target.size() && devicePath[target.size()] != L'\\' && target.back() != L'\\')
            continue;
        *drivePath = std::wstring(1, static_cast<wchar_t>(L'A' + i)) + L":" + devicePath.substr(target.size());
        return true;
    }
    return false;
}

bool CDeviceMap::ToDevicePath(const std::wstring& drivePath, std::wstring* devicePath) const
{
    if (!IsDrivePath(drivePath))
        return false;
    int i = LetterIndex(drivePath[0]);
    if (m_raw[i].empty())
        return false;
    if (StartsWithNoCase(m_raw[i], kObjectPrefix)) {
        *devicePath = m_raw[i].substr(kObjectPrefixLength) + drivePath.substr(2);
        return true;
    }
    if (m_comparable[i].empty())
        return false;
    *devicePath = m_comparable[i] + drivePath.substr(2);
    return true;
}

std::wstring CDeviceMap::Canonical(const std::wstring& path) const
{
    std::wstring current = path;
    for (int step = 0; step < kMaxSubstitutions; ++step) {
        if (IsObjectDrivePath(current))
            current.erase(0, kObjectPrefixLength);
        std::wstring device;
        if (!ToDevicePath(current, &device))
            break;
        current = device;
    }
    return current;
}

bool DevicePathToDrivePath(const std::wstring& devicePath, std::wstring* drivePath)
{
    return CDeviceMap().ToDrivePath(devicePath, drivePath);
}

bool DrivePathToDevicePath(const std::wstring& drivePath, std::wstring* devicePath)
{
    return CDeviceMap().ToDevicePath(drivePath, devicePath);
}
