#include "sysview/ProcessSampler.h"

#include <cwchar>
#include <set>

namespace {

const wchar_t kIdleProcessName[] = L"System Idle Process";

// A share of the processors over `elapsed`, truncated toward zero and kept
// within 0 to 100 (the counters of a short interval can overshoot).
int Share(double busy, double elapsed, int processors)
{
    double share = busy / elapsed * 100.0 / processors;
    if (share < 0)
        return 0;
    if (share > 100)
        return 100;
    return static_cast<int>(share);
}

} // namespace

CProcessSampler::CProcessSampler(Describer describe, const CNtApi& api)
    : m_describe(std::move(describe)), m_api(api), m_processors(QueryProcessorCount(api)), m_snapshot(false, api)
{
}

PROCESS_REFRESH CProcessSampler::Sample()
{
    SYSTEM_TIMES times;
    bool timesOk = QuerySystemTimes(&times, m_api);
    m_snapshot.Refresh();
    return Sample(m_snapshot, times, timesOk);
}

PROCESS_REFRESH CProcessSampler::Sample(const CSystemProcessInfo& snapshot, const SYSTEM_TIMES& times, bool timesOk)
{
    PROCESS_REFRESH refresh;
    double elapsed = 0;
    if (timesOk) {
        if (m_previousIdle != 0 && times.currentTime > m_previousTime) {
            elapsed = static_cast<double>(times.currentTime - m_previousTime);
            refresh.cpuPercent = 100 - Share(static_cast<double>(times.idleTime - m_previousIdle), elapsed, m_processors);
        }
        m_previousTime = times.currentTime;
        m_previousIdle = times.idleTime;
    }
    if (snapshot.Empty())
        return refresh;

    refresh.haveSnapshot = true;
    refresh.processes.reserve(snapshot.Count());
    std::map<uint32_t, Times> current;
    for (const auto& entry : snapshot.Processes()) {
        const PROCESS_RECORD& process = entry.second;
        PROCESS_SAMPLE sample;
        sample.processId = process.processId;
        sample.parentProcessId = process.parentProcessId;
        sample.name = process.imageName.empty() ? kIdleProcessName : process.imageName;
        sample.workingSetSize = process.workingSetSize;
        auto previous = m_previous.find(process.processId);
        if (previous == m_previous.end()) {
            sample.described = true;
            if (m_describe)
                sample.description = m_describe(process, snapshot);
        } else {
            int64_t before = previous->second.user + previous->second.kernel;
            if (before != 0 && elapsed > 0)
                sample.cpuShare = Share(static_cast<double>(process.userTime + process.kernelTime - before), elapsed,
                                        m_processors);
        }
        current[process.processId] = Times{ process.userTime, process.kernelTime };
        refresh.processes.push_back(std::move(sample));
    }
    // Processes that are gone are forgotten: an id that comes back later is a
    // new process and is described again.
    m_previous.swap(current);
    return refresh;
}

std::vector<ROW_PLACEMENT> PlanNewRows(const std::vector<PROCESS_SAMPLE>& samples,
                                       const std::function<bool(uint32_t processId)>& hasRow)
{
    std::map<uint32_t, size_t> byId;
    for (size_t i = 0; i < samples.size(); ++i)
        byId[samples[i].processId] = i;
    std::set<uint32_t> placed;
    std::set<uint32_t> adding;
    std::vector<ROW_PLACEMENT> plan;
    auto hasPlace = [&](uint32_t id) { return placed.count(id) || hasRow(id); };

    std::function<void(size_t)> add = [&](size_t i) {
        uint32_t id = samples[i].processId;
        uint32_t parent = samples[i].parentProcessId;
        adding.insert(id);
        bool under = false;
        if (id != 0 && !adding.count(parent)) {
            if (hasPlace(parent)) {
                under = true;
            } else {
                auto it = byId.find(parent);
                if (it != byId.end()) {
                    add(it->second);
                    under = true;
                }
            }
        }
        plan.push_back(ROW_PLACEMENT{ i, under, parent });
        placed.insert(id);
        adding.erase(id);
    };
    for (size_t i = 0; i < samples.size(); ++i) {
        if (!hasPlace(samples[i].processId))
            add(i);
    }
    return plan;
}

std::wstring FormatWorkingSet(uint64_t bytes)
{
    std::wstring digits = std::to_wstring(bytes >> 10);
    std::wstring text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += L',';
        text += digits[i];
    }
    return text + L" K ";
}

std::wstring FormatShare(int percent)
{
    wchar_t text[16];
    swprintf(text, 16, L"%02d", percent);
    return text;
}
