// One refresh's data for the process manager, from stand-in process lists and
// system times (one processor): shares, first sightings, row placement and
// the texts of the memory and processor columns.
#include "sysview/ProcessSampler.h"

#include "unit/FakeNtApi.h"

#include <gtest/gtest.h>

namespace {

const int64_t kSecond = 10000000; // 100 ns units

const PROCESS_SAMPLE* Find(const PROCESS_REFRESH& refresh, uint32_t id)
{
    for (const PROCESS_SAMPLE& s : refresh.processes) {
        if (s.processId == id)
            return &s;
    }
    return nullptr;
}

} // namespace

TEST(ProcessSampler, SharesFromTheSecondRefreshAndFirstSightingsDescribed)
{
    fake::Reset();
    CNtApi api = fake::Api();
    int described = 0;
    CProcessSampler sampler([&](const PROCESS_RECORD& p, const CSystemProcessInfo&) {
        ++described;
        PROCESS_DESCRIPTION d;
        d.description = L"desc " + std::to_wstring(p.processId);
        return d;
    }, api);
    ASSERT_EQ(1, sampler.Processors());

    fake::g_processes = { { 0, 0, L"", 0, 0, 0 }, { 4, 0, L"System", 0, 0, 4096 },
                          { 100, 4, L"a.exe", kSecond / 10, 0, 1234567890 } };
    fake::g_timeOfDay.CurrentTime = 100 * kSecond;
    fake::g_idleTime = 50 * kSecond;
    PROCESS_REFRESH first = sampler.Sample();
    ASSERT_TRUE(first.haveSnapshot);
    EXPECT_EQ(0, first.cpuPercent);
    ASSERT_EQ(3u, first.processes.size());
    EXPECT_EQ(L"System Idle Process", first.processes[0].name);
    for (const PROCESS_SAMPLE& s : first.processes) {
        EXPECT_TRUE(s.described);
        EXPECT_EQ(-1, s.cpuShare);
    }
    EXPECT_EQ(L"desc 100", Find(first, 100)->description.description);

    // One second later: idle for a quarter, process 100 busy for a fifth;
    // process 4's previous total was 0, so its share stays as shown.
    fake::g_processes[2].kernel = kSecond / 5;
    fake::g_processes[2].user = kSecond / 10;
    fake::g_timeOfDay.CurrentTime += kSecond;
    fake::g_idleTime += kSecond / 4;
    PROCESS_REFRESH second = sampler.Sample();
    EXPECT_EQ(75, second.cpuPercent);
    EXPECT_EQ(20, Find(second, 100)->cpuShare);
    EXPECT_EQ(-1, Find(second, 4)->cpuShare);
    EXPECT_FALSE(Find(second, 100)->described);
    EXPECT_EQ(3, described);

    // A failed list leaves everything as it was; a process that went and an
    // id that comes back are a new process.
    std::vector<fake::PROCESS> all = fake::g_processes;
    fake::g_processes.clear();
    EXPECT_FALSE(sampler.Sample().haveSnapshot);
    fake::g_processes = { all[0], all[1] };
    EXPECT_EQ(nullptr, Find(sampler.Sample(), 100));
    fake::g_processes = all;
    EXPECT_TRUE(Find(sampler.Sample(), 100)->described);
    EXPECT_EQ(4, described);
}

TEST(ProcessSampler, NewRowsArePlacedUnderTheirParents)
{
    auto samples = [](std::vector<std::pair<uint32_t, uint32_t>> ids) {
        std::vector<PROCESS_SAMPLE> list;
        for (auto id : ids) {
            PROCESS_SAMPLE s;
            s.processId = id.first;
            s.parentProcessId = id.second;
            list.push_back(s);
        }
        return list;
    };
    auto plan = [](const std::vector<PROCESS_SAMPLE>& list, std::function<bool(uint32_t)> hasRow) {
        std::vector<std::tuple<uint32_t, bool, uint32_t>> out;
        for (const ROW_PLACEMENT& p : PlanNewRows(list, hasRow))
            out.emplace_back(list[p.sample].processId, p.underParent, p.underParent ? p.parentProcessId : 0);
        return out;
    };
    // 8's parent comes later and is added first; 12's parent is gone; 40
    // and 50 are each other's parents.
    auto fresh = samples({ { 0, 0 }, { 4, 0 }, { 8, 30 }, { 12, 99 }, { 30, 4 }, { 40, 50 }, { 50, 40 } });
    std::vector<std::tuple<uint32_t, bool, uint32_t>> expected = {
        { 0, false, 0 }, { 4, true, 0 }, { 30, true, 4 }, { 8, true, 30 }, { 12, false, 0 }, { 50, false, 0 }, { 40, true, 50 },
    };
    EXPECT_EQ(expected, plan(fresh, [](uint32_t) { return false; }));

    // Rows that exist are left alone; a newcomer hangs under its parent.
    auto later = samples({ { 4, 0 }, { 77, 4 }, { 78, 78 } });
    expected = { { 77, true, 4 }, { 78, false, 0 } };
    EXPECT_EQ(expected, plan(later, [](uint32_t id) { return id == 4; }));
}

TEST(ProcessSampler, ColumnTexts)
{
    const struct {
        uint64_t bytes;
        const wchar_t* text;
    } sets[] = { { 1234567890, L"1,205,632 K " }, { 0, L"0 K " }, { 1023, L"0 K " }, { 999 * 1024, L"999 K " },
                 { 1000 * 1024, L"1,000 K " }, { 123456789ull * 1024, L"123,456,789 K " } };
    for (const auto& s : sets)
        EXPECT_EQ(s.text, FormatWorkingSet(s.bytes));
    EXPECT_EQ(L"05", FormatShare(5));
    EXPECT_EQ(L"100", FormatShare(100));
}
