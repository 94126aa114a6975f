// Loading the sensor into a process that is already running: a remote
// thread in it calls LoadLibraryW on the sensor's path. A process that
// already has the sensor only counts one more reference (the sensor pins
// itself and is never unloaded).
#pragma once

#include "base/Handles.h"

#include <windows.h>

#include <string>

enum class SensorDelivery {
    Delivered,          // the sensor is loaded
    Excluded,           // a process that must never be guarded (sensor/SensorFiles.h)
    OtherArchitecture,  // a process of the other width: this guard's sensor cannot load there
    Refused,            // the process could not be opened or refused the thread (too early, too late)
    Unfinished,         // the remote thread runs, or waits to run, after the wait ended
    AlreadyGuarded,     // the process carries the sensor already (its mark is there)
};

// Whether process `pid` carries a loaded sensor (the sensor's mark exists).
bool HasSensorMark(DWORD pid);

// A load whose remote thread had not finished when its wait ended (a process
// still starting, or busy under its loader lock): the process, the thread
// and the path's memory in the process, kept so that a later look can finish
// it without starting another thread.
struct SensorLoad {
    ui::CHandle process;
    ui::CHandle thread;
    void* remotePath = nullptr;
};

// The sensor's path beside the guard: <program folder>\HarrowmereSensor64.dll
// (or ...32.dll in the 32-bit guard).
std::wstring SensorPathIn(const std::wstring& programFolder);

// Loads the sensor at `sensorPath` into process `pid` whose image base name
// is `imageName` (Refused while it is empty: the process is still being
// created); waits up to `waitMs` for the load to finish, or until
// `cancel` (an event, may be null) is set. A process whose threads cannot
// run yet (created suspended, still starting) has its remote thread load the
// sensor once it runs: when the wait ends before that, the answer is
// Unfinished with the load in `*unfinished`, or Refused without it.
SensorDelivery DeliverSensor(DWORD pid, const wchar_t* imageName, const std::wstring& sensorPath,
                             DWORD waitMs = 1000, HANDLE cancel = nullptr, SensorLoad* unfinished = nullptr);

// Looks at an unfinished load without waiting: Delivered or Refused once its
// thread has ended (the path's memory is then freed), Refused when the
// process has ended, Unfinished while the thread still runs or waits.
SensorDelivery FinishSensorLoad(SensorLoad* load);
