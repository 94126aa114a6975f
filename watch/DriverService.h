// The driver's kernel service and device: the service control manager calls
// that install and start "Harrowmere", and the device open and control calls.
// Each step writes its one-line trace to standard output.
#pragma once

#include <windows.h>

#include <stdint.h>
#include <string>
#include <vector>

struct RuleSet;

#define HM_SERVICE_NAME L"Harrowmere"
#define HM_DRIVER_FILE L"Harrowmere.sys"

// Device path for the service: "\\.\Global\Harrowmere" from Windows 2000 on
// (major version 5 or more), "\\.\Harrowmere" before.
std::wstring DevicePath(DWORD majorVersion);

// Creates the service (kept unchanged when it exists), starts it and opens
// the device. 1 with the handle in *device, 0 otherwise; *error receives the
// last error after the device open.
int InstallDriver(const wchar_t* driverPath, HANDLE* device, DWORD* error);

// Starts the service; true when it runs (started now, already running, or
// disabled, which the device open then tells).
bool StartDriverService(SC_HANDLE service);

// Opens the device. 1 with the handle in *device, 0 otherwise.
int OpenDevice(HANDLE* device);

// DeviceIoControl with buffers; true on success, *returned gets the bytes out.
bool DeviceControl(HANDLE device, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                   DWORD* returned = nullptr);

// Sends an image with IOCTL_WATCH_SET_RULES; the driver copies it during the
// call. 0 when sent; -1 when the device is not open or the image is empty;
// -2 when the driver refused it.
int SendRuleImage(HANDLE device, const std::vector<uint8_t>& image);

// BuildRuleImage and SendRuleImage; nothing is built while the device is not
// open. The caller holds whatever lock guards the set. An empty set is sent as
// the header alone so that the driver drops the rules of the previous image.
// Result as SendRuleImage.
int UploadRuleTable(HANDLE device, const RuleSet* set);
