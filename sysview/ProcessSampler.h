// The data behind one refresh of the process manager, gathered away from the
// window: the system's processor use since the last refresh, every process
// with its processor share and working set, and, once per process, what the
// window shows of it that does not change (program file, icon, version texts,
// whether its parent is interactive). The window only applies the result.
#pragma once

#include "sysview/NtApi.h"
#include "sysview/SystemProcessInfo.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct PROCESS_DESCRIPTION {
    std::wstring programPath;  // normalised path of the program file, or empty
    int icon = -1;             // system small-icon index, -1 without one
    bool hasVersion = false;
    std::wstring description;  // FileDescription
    std::wstring company;      // CompanyName
    bool nonInteractiveParent = false;
};

struct PROCESS_SAMPLE {
    uint32_t processId = 0;
    uint32_t parentProcessId = 0;
    std::wstring name;           // the image name; "System Idle Process" when the system gives none
    uint64_t workingSetSize = 0; // bytes
    int cpuShare = -1;           // percent; -1 keeps the value shown so far
    bool described = false;      // first sample of the process: description is set
    PROCESS_DESCRIPTION description;
};

struct PROCESS_REFRESH {
    int cpuPercent = 0;            // processor use of the system, 0 on the first refresh
    bool haveSnapshot = false;     // false: leave the list and the count as they are
    std::vector<PROCESS_SAMPLE> processes; // ascending process id
};

class CProcessSampler {
public:
    using Describer = std::function<PROCESS_DESCRIPTION(const PROCESS_RECORD& process, const CSystemProcessInfo& snapshot)>;

    // Reads the processor count once.
    explicit CProcessSampler(Describer describe, const CNtApi& api = CNtApi::System());

    // One refresh from the live system.
    PROCESS_REFRESH Sample();
    // One refresh from a given snapshot and system times (timesOk false: the
    // time queries failed).
    PROCESS_REFRESH Sample(const CSystemProcessInfo& snapshot, const SYSTEM_TIMES& times, bool timesOk);

    int Processors() const { return m_processors; }

private:
    struct Times {
        int64_t user;
        int64_t kernel;
    };

    Describer m_describe;
    const CNtApi& m_api;
    int m_processors;
    int64_t m_previousTime = 0;
    int64_t m_previousIdle = 0;
    std::map<uint32_t, Times> m_previous;
    CSystemProcessInfo m_snapshot;
};

// Where each process that has no row yet gets its row, in the order the rows
// are to be added: under its parent's row when the parent has a row, or gets
// one first (a parent later in the list is added before its child); at the
// top level for process 0, for a parent that is gone, and where the parents
// lead back to a process being added.
struct ROW_PLACEMENT {
    size_t sample;             // index into the samples
    bool underParent;          // false: top level
    uint32_t parentProcessId;  // the row to hang under
};
std::vector<ROW_PLACEMENT> PlanNewRows(const std::vector<PROCESS_SAMPLE>& samples,
                                       const std::function<bool(uint32_t processId)>& hasRow);

// A working set as the list shows it: kilobytes with a comma before every
// group of three digits, then " K " (1,234,567,890 bytes: "1,205,632 K ").
std::wstring FormatWorkingSet(uint64_t bytes);
// A processor share as the list shows it ("%02d").
std::wstring FormatShare(int percent);
