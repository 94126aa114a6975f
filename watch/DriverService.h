// The driver's kernel service and device: the service control manager calls
// that install and start "Harrowmere", and the device open and control calls.
// Each step writes its one-line trace to standard output.
#pragma once

#include <windows.h>

#include <string>

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
