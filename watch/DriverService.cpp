#include "watch/DriverService.h"

#include "driver/common/WatchProtocol.h"
#include "rules/RuleImage.h"

#include <cstdio>

std::wstring DevicePath(DWORD majorVersion)
{
    wchar_t path[64];
    _snwprintf(path, 64, majorVersion >= 5 ? L"\\\\.\\Global\\%ls" : L"\\\\.\\%ls", HM_SERVICE_NAME);
    path[63] = 0;
    return path;
}

bool StartDriverService(SC_HANDLE service)
{
    BOOL started = StartServiceW(service, 0, nullptr);
    DWORD error = GetLastError();
    printf("StartService = %d, Error = %d\n", started, static_cast<int>(error));
    fflush(stdout);
    return started || error == ERROR_SERVICE_ALREADY_RUNNING || error == ERROR_SERVICE_DISABLED;
}

int OpenDevice(HANDLE* device)
{
    DWORD major = LOBYTE(LOWORD(GetVersion()));
    HANDLE h = CreateFileW(DevicePath(major).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    printf("CreateFile = %p\n", h);
    fflush(stdout);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    *device = h;
    return 1;
}

int InstallDriver(const wchar_t* driverPath, HANDLE* device, DWORD* error)
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE created = nullptr;
    if (manager)
        created = CreateServiceW(manager, HM_SERVICE_NAME, HM_SERVICE_NAME, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                 SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, driverPath, nullptr, nullptr, nullptr,
                                 nullptr, nullptr);
    printf("InstallDriver = %p\n", static_cast<void*>(created));
    fflush(stdout);
    if (created)
        CloseServiceHandle(created);

    if (manager) {
        if (SC_HANDLE service = OpenServiceW(manager, HM_SERVICE_NAME, SERVICE_ALL_ACCESS)) {
            StartDriverService(service);
            CloseServiceHandle(service);
        }
    }
    int result = OpenDevice(device);
    if (error)
        *error = GetLastError();
    if (manager)
        CloseServiceHandle(manager);
    return result;
}

bool DeviceControl(HANDLE device, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                   DWORD* returned)
{
    DWORD got = 0;
    BOOL ok = DeviceIoControl(device, code, const_cast<void*>(in), inSize, out, outSize, &got, nullptr);
    if (returned)
        *returned = got;
    return ok != FALSE;
}

int SendRuleImage(HANDLE device, const std::vector<uint8_t>& image)
{
    if (!device || device == INVALID_HANDLE_VALUE || image.empty())
        return -1;
    bool ok = DeviceControl(device, IOCTL_WATCH_SET_RULES, image.data(), static_cast<DWORD>(image.size()), nullptr, 0);
    return ok ? 0 : -2;
}

int UploadRuleTable(HANDLE device, const RuleSet* set)
{
    if (!device || device == INVALID_HANDLE_VALUE)
        return -1;
    return SendRuleImage(device, BuildRuleImage(set));
}
