// Loading the sensor into a process that is already running: a remote
// thread in it calls LoadLibraryW on the sensor's path. A process that
// already has the sensor only counts one more reference (the sensor pins
// itself and is never unloaded).
#pragma once

#include <windows.h>

#include <string>

enum class SensorDelivery {
    Delivered,          // the sensor is loaded
    Excluded,           // a process that must never be guarded (sensor/SensorFiles.h)
    OtherArchitecture,  // a process of the other width: this guard's sensor cannot load there
    Refused,            // the process could not be opened or refused the thread (too early, too late)
};

// The sensor's path beside the guard: <program folder>\HarrowmereSensor64.dll
// (or ...32.dll in the 32-bit guard).
std::wstring SensorPathIn(const std::wstring& programFolder);

// Loads the sensor at `sensorPath` into process `pid` whose image base name
// is `imageName`; waits up to `waitMs` for the load to finish, or until
// `cancel` (an event, may be null) is set. A process whose threads cannot
// run yet (created suspended, still starting) answers Refused when the wait
// ends; its remote thread loads the sensor once the process runs.
SensorDelivery DeliverSensor(DWORD pid, const wchar_t* imageName, const std::wstring& sensorPath,
                             DWORD waitMs = 1000, HANDLE cancel = nullptr);
