// Translation between the device paths that the system reports for file
// objects (\Device\HarddiskVolume1\Windows\x.dll) and drive paths
// (C:\Windows\x.dll), through the drive letters' device mappings
// (QueryDosDeviceW). Object names of the form \??\C:\x are drive paths behind
// the object manager's prefix (Wine names files so) and translate to C:\x.
// All comparisons ignore letter case.
#pragma once

#include <functional>
#include <string>

// The device targets of the 26 drive letters, read once, in the form that
// object names use: a network redirection target
// \Device\LanmanRedirector\;X:<logon id>\server\share becomes
// \Device\LanmanRedirector\server\share.
class CDeviceMap {
public:
    // The first target of drive `letter` ("X:"), false when it has none.
    using TargetQuery = std::function<bool(wchar_t letter, std::wstring* target)>;

    CDeviceMap();                        // QueryDosDeviceW
    explicit CDeviceMap(const TargetQuery& query);

    // The drive path for a device path: the first letter (A to Z) whose
    // target is the device path's leading part, up to a backslash or its
    // end, with that part replaced by "X:". False when no letter maps it.
    bool ToDrivePath(const std::wstring& devicePath, std::wstring* drivePath) const;
    // The device path for a drive path: its letter's target followed by the
    // rest of the path; a substituted drive (target \??\C:\work) gives the
    // drive path that it stands for. False when the letter has no target.
    bool ToDevicePath(const std::wstring& drivePath, std::wstring* devicePath) const;
    // A file name in device form for comparisons: drive paths and \??\ names
    // translated with ToDevicePath, everything else as it is.
    std::wstring Canonical(const std::wstring& path) const;

private:
    std::wstring m_raw[26];
    std::wstring m_comparable[26]; // empty: no usable target
};

// The comparable form of a drive's target (see CDeviceMap); false when a
// network redirection target does not have the expected shape.
bool ComparableTarget(const std::wstring& target, std::wstring* comparable);

// Free functions over a fresh map; the output is unchanged on failure.
bool DevicePathToDrivePath(const std::wstring& devicePath, std::wstring* drivePath);
bool DrivePathToDevicePath(const std::wstring& drivePath, std::wstring* devicePath);
