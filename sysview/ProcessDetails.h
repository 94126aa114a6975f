// What the process manager shows of one process beyond the snapshot: its
// program file, icon, version texts and whether it runs interactively; its
// modules and its named handles as list rows; and ending it.
#pragma once

#include "sysview/NtApi.h"
#include "sysview/ProcessSampler.h"
#include "sysview/SystemProcessInfo.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// The describer of the process manager's refresh: the program file (the main
// module's path, mended), its small system icon, its version texts, and
// whether the parent process is not interactive.
PROCESS_DESCRIPTION DescribeProcess(const PROCESS_RECORD& process, const CSystemProcessInfo& snapshot);

// True when the process's token is not in the interactive group: the first
// of S-1-5-4 (interactive: false) and S-1-5-6 (service: true) among its
// groups decides; neither means true. False when the process or its token
// cannot be opened.
bool IsNonInteractiveProcess(uint32_t processId);

struct MODULE_ROW {
    std::wstring name;        // text after the last backslash
    std::wstring date;        // last write of the file, local time, by the date format; empty without a file
    std::wstring description; // FileDescription
    std::wstring company;     // CompanyName
    std::wstring path;        // the mended module path
};
// The modules of the process, in the order psapi lists them. `dateFormat`
// takes year, month and day ("%d:%02d:%02d").
std::vector<MODULE_ROW> ListModuleRows(uint32_t processId, const std::wstring& dateFormat);

struct HANDLE_ROW {
    std::wstring type; // object type name
    std::wstring name; // object name; a drive path for files where one maps
};
// The handles of the process that have a name, in the table's order.
std::vector<HANDLE_ROW> ListHandleRows(uint32_t processId, const std::atomic<bool>* stop = nullptr,
                                       const CNtApi& api = CNtApi::System());

// Ends the process with exit code 0. False when it cannot be opened or ended.
bool EndProcessById(uint32_t processId);
