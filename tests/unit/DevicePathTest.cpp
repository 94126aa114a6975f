// Device path translation over a stand-in table of drive targets (local
// volumes, a network redirection, a substituted drive), and once against the
// Wine prefix's own drives.
#include "sysview/DevicePath.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>

namespace {

const std::map<wchar_t, std::wstring> kTargets = {
    { L'C', L"\\Device\\HarddiskVolume1" },
    { L'D', L"\\Device\\HarddiskVolume10" },
    { L'M', L"\\Device\\LanmanRedirector\\;M:bad" },
    { L'N', L"\\Device\\LanmanRedirector\\;N:00000000000a2b3f\\server\\share two" },
    { L'Z', L"\\??\\C:\\work" },
};

CDeviceMap FakeMap()
{
    return CDeviceMap([](wchar_t letter, std::wstring* target) {
        auto it = kTargets.find(letter);
        if (it == kTargets.end())
            return false;
        *target = it->second;
        return true;
    });
}

} // namespace

TEST(DevicePath, DeviceToDrive)
{
    const struct {
        const wchar_t* device;
        const wchar_t* drive; // null: no translation
    } cases[] = {
        { L"\\Device\\HarddiskVolume1\\Windows\\x.dll", L"C:\\Windows\\x.dll" },
        { L"\\device\\HARDDISKVOLUME10\\a", L"D:\\a" },
        { L"\\Device\\HarddiskVolume1", L"C:" },
        { L"\\Device\\HarddiskVolume2\\a", nullptr },
        { L"\\Device\\HarddiskVolume1x\\a", nullptr },
        { L"\\Device\\LanmanRedirector\\server\\share two\\f.txt", L"N:\\f.txt" },
        { L"\\??\\C:\\held.dat", L"C:\\held.dat" },
        { L"\\??\\C:\\work\\x", L"C:\\work\\x" },
    };
    CDeviceMap map = FakeMap();
    for (const auto& c : cases) {
        std::wstring drive = L"unchanged";
        EXPECT_EQ(c.drive != nullptr, map.ToDrivePath(c.device, &drive)) << c.device;
        EXPECT_EQ(c.drive ? c.drive : L"unchanged", drive) << c.device;
    }
}

TEST(DevicePath, DriveToDeviceAndCanonicalForm)
{
    const struct {
        const wchar_t* drive;
        const wchar_t* device; // null: no translation
        const wchar_t* canonical;
    } cases[] = {
        { L"C:\\Windows", L"\\Device\\HarddiskVolume1\\Windows", L"\\Device\\HarddiskVolume1\\Windows" },
        { L"c:\\x", L"\\Device\\HarddiskVolume1\\x", L"\\Device\\HarddiskVolume1\\x" },
        { L"Z:\\docs", L"C:\\work\\docs", L"\\Device\\HarddiskVolume1\\work\\docs" },
        { L"N:\\f.txt", L"\\Device\\LanmanRedirector\\server\\share two\\f.txt",
          L"\\Device\\LanmanRedirector\\server\\share two\\f.txt" },
        { L"M:\\x", nullptr, L"M:\\x" },
        { L"Q:\\x", nullptr, L"Q:\\x" },
        { L"\\\\server\\x", nullptr, L"\\\\server\\x" },
        { L"\\??\\C:\\held.dat", nullptr, L"\\Device\\HarddiskVolume1\\held.dat" },
    };
    CDeviceMap map = FakeMap();
    for (const auto& c : cases) {
        std::wstring device = L"unchanged";
        EXPECT_EQ(c.device != nullptr, map.ToDevicePath(c.drive, &device)) << c.drive;
        EXPECT_EQ(c.device ? c.device : L"unchanged", device) << c.drive;
        EXPECT_EQ(c.canonical, map.Canonical(c.drive)) << c.drive;
    }
}

TEST(DevicePath, NetworkTargetsInComparableForm)
{
    const struct {
        const wchar_t* target;
        const wchar_t* comparable; // null: unusable
    } cases[] = {
        { L"\\Device\\LanmanRedirector\\;Q:12345\\srv\\share", L"\\Device\\LanmanRedirector\\srv\\share" },
        { L"\\Device\\LanmanRedirector\\;Q:0000000000003e7a\\srv\\a b", L"\\Device\\LanmanRedirector\\srv\\a b" },
        { L"\\Device\\LanmanRedirector\\Q:1\\srv", nullptr },
        { L"\\Device\\LanmanRedirector\\;Q:\\srv", nullptr },
        { L"\\Device\\LanmanRedirector\\;Q:12", nullptr },
        { L"\\Device\\HarddiskVolume3", L"\\Device\\HarddiskVolume3" },
    };
    for (const auto& c : cases) {
        std::wstring comparable;
        EXPECT_EQ(c.comparable != nullptr, ComparableTarget(c.target, &comparable)) << c.target;
        if (c.comparable) {
            EXPECT_EQ(c.comparable, comparable);
        }
    }
}

TEST(DevicePath, PrefixDrivesTranslateBothWays)
{
    wchar_t target[4096] = {};
    ASSERT_NE(0u, QueryDosDeviceW(L"C:", target, 4096));
    std::wstring device, drive;
    ASSERT_TRUE(DrivePathToDevicePath(L"C:\\windows\\x.dll", &device));
    EXPECT_EQ(std::wstring(target) + L"\\windows\\x.dll", device);
    ASSERT_TRUE(DevicePathToDrivePath(device, &drive));
    EXPECT_EQ(L"C:\\windows\\x.dll", drive);
}
