// The stand-in driver under Wine, seen from the program's side: the test plays
// a minimal program (shared record, two events, rule image, control codes)
// and injects operations with WatchSim or the injection control code.
#include "e2e/DriverHarness.h"

#include "base/TextConv.h"
#include "driver/common/Matcher.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <future>
#include <map>

namespace drivertest {
namespace {

const uint32_t kGuardedFile = 0x1001;
const uint32_t kRunKey = 0x2002;
const uint32_t kTools = 0x3003;
const uint32_t kLongFile = 0x4004;
const uint32_t kLongKey = 0x5005;

std::vector<TestRule> StandardRules()
{
    return {
        { 0, kGuardedFile, { L"C:\\Guarded\\*" } },
        { 1, kRunKey, { L"HKEY_LOCAL_MACHINE\\Software\\Run*", L"Evil*" } },
        { 2, kTools, { L"*\\Tools\\*.exe" } },
        { 0, kLongFile, { L"C:\\Long\\*" } },
        { 1, kLongKey, { L"HKEY_CURRENT_USER\\Long\\*", L"" } },
    };
}

std::string VerdictLine(unsigned verdict, uint32_t rule)
{
    char line[64];
    if (rule)
        snprintf(line, sizeof(line), "verdict=%u rule=0x%08X", verdict, unsigned(rule));
    else
        snprintf(line, sizeof(line), "verdict=%u rule=none", verdict);
    return line;
}

std::string FirstLine(const std::string& text)
{
    return text.substr(0, text.find_first_of("\r\n"));
}

// The verdict the program side gives, chosen by the first parameter.
TestProgram::Policy VerdictByParam(std::map<std::wstring, uint16_t> verdicts)
{
    return [verdicts](const SeenRequest& r) {
        auto it = verdicts.find(r.param1);
        return it == verdicts.end() ? uint16_t(WATCH_VERDICT_ACCEPT) : it->second;
    };
}

std::future<WATCH_INJECT_RESULT> InjectLater(uint32_t kind, std::wstring param1, std::wstring param2 = L"")
{
    return std::async(std::launch::async, [=] {
        WATCH_INJECT_RESULT result = { 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF };
        InjectOperation(kind, param1, param2, &result);
        return result;
    });
}

std::future<WatchSimRun> WatchSimLater(std::vector<std::wstring> arguments)
{
    return std::async(std::launch::async, [=] { return RunWatchSim(arguments); });
}

class DriverProtocol : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(StartDriverService(0)); }
    static void TearDownTestSuite() { StopDriverService(); }

    void SetUp() override
    {
        // A test may have stopped the driver; bring it back.
        HANDLE device = OpenDriverDevice();
        if (device == INVALID_HANDLE_VALUE)
            ASSERT_TRUE(StartDriverService(0));
        else
            CloseHandle(device);
        ASSERT_TRUE(program_.Start(BuildTestImage(StandardRules())));
    }
    void TearDown() override { program_.Stop(); }

    TestProgram program_;
};

TEST_F(DriverProtocol, UnmatchedOperationsAreAcceptedWithoutAskingTheProgram)
{
    program_.SetPolicy([](const SeenRequest&) { return uint16_t(WATCH_VERDICT_REJECT); });
    const std::vector<std::vector<std::wstring>> cases = {
        { L"OpenFile", L"C:\\Free\\a.txt" },
        { L"Execute", L"C:\\Guarded\\a.txt" }, // the pattern of another kind
        { L"RegSetValue", L"HKEY_LOCAL_MACHINE\\Software\\Run", L"Harmless" },
    };
    for (const auto& args : cases) {
        WatchSimRun run = RunWatchSim(args);
        EXPECT_EQ(0u, run.exitCode) << run.err;
        EXPECT_EQ(VerdictLine(0, 0), FirstLine(run.out)) << args[1];
    }
    EXPECT_TRUE(program_.Seen().empty());
}

TEST_F(DriverProtocol, MatchingRuleAsksTheProgramAndItsVerdictComesBack)
{
    struct Case {
        std::vector<std::wstring> args;
        uint16_t kind;
        uint32_t rule;
        uint16_t verdict;
    };
    const std::vector<Case> cases = {
        { { L"OpenFile", L"C:\\Guarded\\a.txt" }, 0, kGuardedFile, 2 },
        { { L"RegSetValue", L"HKEY_LOCAL_MACHINE\\Software\\Run", L"Evil.exe" }, 1, kRunKey, 1 },
        { { L"Execute", L"D:\\Tools\\x.exe" }, 2, kTools, 0 },
    };
    std::map<std::wstring, uint16_t> verdicts;
    for (const Case& c : cases)
        verdicts[c.args[1]] = c.verdict;
    program_.SetPolicy(VerdictByParam(verdicts));

    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        WatchSimRun run = RunWatchSim(c.args);
        EXPECT_EQ(0u, run.exitCode) << run.err;
        EXPECT_EQ(VerdictLine(c.verdict, c.rule), FirstLine(run.out));
        std::vector<SeenRequest> seen = program_.Seen();
        ASSERT_EQ(i + 1, seen.size());
        const SeenRequest& r = seen.back();
        EXPECT_EQ(c.kind, r.kind);
        EXPECT_EQ(c.rule, r.ruleId);
        EXPECT_EQ(c.args[1], r.param1);
        EXPECT_EQ(c.kind == 1 ? c.args[2] : L"", r.param2);
        EXPECT_EQ("WatchSim.exe", r.processName);
        EXPECT_EQ(run.pid, r.processId);
        EXPECT_EQ(WATCH_VERDICT_ACCEPT, r.presetVerdict);
    }
}

TEST_F(DriverProtocol, RequestFromTheProgramsOwnProcessIsStillAsked)
{
    program_.SetPolicy([](const SeenRequest&) { return uint16_t(WATCH_VERDICT_ACCEPT); });
    std::wstring ownPid = std::to_wstring(GetCurrentProcessId());
    WatchSimRun run = RunWatchSim({ L"OpenFile", L"C:\\Guarded\\own.txt", L"--pid", ownPid });
    EXPECT_EQ(VerdictLine(0, kGuardedFile), FirstLine(run.out));
    std::vector<SeenRequest> seen = program_.Seen();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(GetCurrentProcessId(), seen[0].processId);
}

TEST_F(DriverProtocol, StoppedMonitoringAcceptsWithoutAskingAndStartResumes)
{
    program_.SetPolicy([](const SeenRequest&) { return uint16_t(WATCH_VERDICT_REJECT); });
    ASSERT_TRUE(program_.Control(IOCTL_WATCH_STOP, nullptr, 0));
    EXPECT_EQ(VerdictLine(0, 0), FirstLine(RunWatchSim({ L"OpenFile", L"C:\\Guarded\\a" }).out));
    EXPECT_TRUE(program_.Seen().empty());

    ASSERT_TRUE(program_.Control(IOCTL_WATCH_START, nullptr, 0));
    EXPECT_EQ(VerdictLine(2, kGuardedFile), FirstLine(RunWatchSim({ L"OpenFile", L"C:\\Guarded\\a" }).out));
    EXPECT_EQ(1u, program_.Seen().size());
}

TEST_F(DriverProtocol, MalformedImageIsRefusedAndThePreviousRulesStay)
{
    program_.SetPolicy([](const SeenRequest&) { return uint16_t(WATCH_VERDICT_FEIGN); });
    std::vector<uint8_t> good = BuildTestImage({ { 0, 0x7007, { L"C:\\New\\*" } } });
    std::vector<uint8_t> pastEnd = good;
    pastEnd[0] = 200; // first record of kind 0 beyond the image
    std::vector<uint8_t> hugeRecord = good;
    hugeRecord[12 + 8] = 0xFF; // record size beyond the image
    std::vector<uint8_t> unterminated = good;
    unterminated[unterminated.size() - 6] = 'x'; // the pattern's NUL overwritten
    unterminated[unterminated.size() - 5] = 0;
    const std::vector<std::vector<uint8_t>> malformed = {
        { 1, 2, 3, 4, 5 }, pastEnd, hugeRecord, unterminated,
    };
    for (const auto& image : malformed) {
        SetLastError(0);
        EXPECT_FALSE(program_.Control(IOCTL_WATCH_SET_RULES, image.data(), DWORD(image.size())));
        EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    }
    EXPECT_EQ(VerdictLine(1, kGuardedFile), FirstLine(RunWatchSim({ L"OpenFile", L"C:\\Guarded\\a" }).out));

    ASSERT_TRUE(program_.Control(IOCTL_WATCH_SET_RULES, good.data(), DWORD(good.size())));
    EXPECT_EQ(VerdictLine(0, 0), FirstLine(RunWatchSim({ L"OpenFile", L"C:\\Guarded\\a" }).out));
    EXPECT_EQ(VerdictLine(1, 0x7007), FirstLine(RunWatchSim({ L"OpenFile", L"C:\\New\\b" }).out));
}

TEST_F(DriverProtocol, LargeTableAnswersWithTheFirstMatchingRuleInImageOrder)
{
    // Overlapping rules: an operation often matches several, and the earliest
    // in the image must win, as the plain walk over the image finds it.
    std::vector<TestRule> rules;
    for (uint32_t i = 0; i < 3000; ++i) {
        std::wstring n = std::to_wstring(i % 1000);
        const std::vector<std::wstring> patterns[] = { { L"C:\\Data\\*\\file" + n + L".*" },
                                                       { L"*\\FILE" + n + L"?txt" },
                                                       { L"HKEY_*\\App" + n, L"v" + n } };
        rules.push_back({ uint16_t(i % 3 == 2), 0x10000 + i, patterns[i % 3] });
    }
    std::vector<uint8_t> image = BuildTestImage(rules);
    ASSERT_TRUE(program_.Control(IOCTL_WATCH_SET_RULES, image.data(), DWORD(image.size())));

    int matched = 0;
    for (std::wstring n : { L"0", L"12", L"333", L"501", L"999", L"1000" }) {
        for (const std::wstring& path : { L"C:\\Data\\x\\file" + n + L".txt", L"D:\\y\\File" + n + L".txt",
                                          L"HKEY_LOCAL_MACHINE\\APP" + n }) {
            for (uint32_t kind : { 0u, 1u }) {
                std::wstring value = L"V" + n;
                uint32_t expected = 0;
                if (!MatchOperation(image.data(), uint32_t(image.size()), kind, path.c_str(),
                                    kind == 1 ? value.c_str() : nullptr, &expected))
                    expected = 0;
                WATCH_INJECT_RESULT result = {};
                ASSERT_TRUE(InjectOperation(kind, path, value, &result));
                EXPECT_EQ(expected, result.matched ? result.ruleId : 0u) << kind << " " << WideToUtf8(path);
                matched += expected != 0;
            }
        }
    }
    EXPECT_GT(matched, 6);
}

TEST_F(DriverProtocol, StopEndsAWaitingRequestWithThePresetVerdict)
{
    program_.SetPolicy([](const SeenRequest&) { return uint16_t(WATCH_VERDICT_REJECT); });
    program_.HoldAnswers();
    auto waiting = InjectLater(0, L"C:\\Guarded\\held.txt");
    ASSERT_TRUE(program_.WaitSeen(1, 30000));
    ASSERT_TRUE(program_.Control(IOCTL_WATCH_STOP, nullptr, 0));
    WATCH_INJECT_RESULT result = waiting.get();
    EXPECT_EQ(WATCH_VERDICT_ACCEPT, result.verdict);
    EXPECT_EQ(WATCH_OUTCOME_CUT_SHORT, result.outcome);
    EXPECT_EQ(1u, result.matched);
    EXPECT_EQ(kGuardedFile, result.ruleId);
    program_.ReleaseAnswers();
}

TEST_F(DriverProtocol, ControlCallsCompleteWhileARequestWaits)
{
    program_.SetPolicy([](const SeenRequest&) { return uint16_t(WATCH_VERDICT_REJECT); });
    program_.HoldAnswers();
    auto waiting = WatchSimLater({ L"OpenFile", L"C:\\Guarded\\held.txt" });
    ASSERT_TRUE(program_.WaitSeen(1, 30000));

    // The program's own calls must not queue behind the held request; a
    // watchdog releases it if they do, so the test fails instead of hanging.
    std::vector<uint8_t> image = BuildTestImage(StandardRules());
    auto calls = std::async(std::launch::async, [&] {
        uint64_t address = 0;
        DWORD got = 0, pid = GetCurrentProcessId();
        bool shared = DeviceIoControl(program_.Device(), IOCTL_WATCH_GET_SHARED, nullptr, 0, &address,
                                      sizeof(address), &got, nullptr) &&
                      address == uintptr_t(program_.Record());
        return shared && program_.Control(IOCTL_WATCH_SET_PID, &pid, sizeof(pid)) &&
               program_.Control(IOCTL_WATCH_SET_RULES, image.data(), DWORD(image.size()));
    });
    bool completed = calls.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    program_.ReleaseAnswers();
    EXPECT_TRUE(completed);
    EXPECT_TRUE(calls.get());
    EXPECT_EQ(VerdictLine(2, kGuardedFile), FirstLine(waiting.get().out));
}

TEST_F(DriverProtocol, ConcurrentRequestsTakeTurnsAndEachGetsItsOwnVerdict)
{
    const std::vector<std::pair<std::wstring, uint16_t>> files = {
        { L"C:\\Guarded\\a", 0 }, { L"C:\\Guarded\\b", 1 }, { L"C:\\Guarded\\c", 2 }, { L"C:\\Guarded\\d", 1 },
    };
    auto byParam = VerdictByParam({ files.begin(), files.end() });
    program_.SetPolicy([byParam](const SeenRequest& r) {
        // Kept: a slow answer, so that the others queue behind this one. Who
        // waits in the driver's queue cannot be seen from outside the driver.
        Sleep(30);
        return byParam(r);
    });
    std::vector<std::future<WatchSimRun>> runs;
    for (const auto& f : files)
        runs.push_back(WatchSimLater({ L"OpenFile", f.first }));
    for (size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(VerdictLine(files[i].second, kGuardedFile), FirstLine(runs[i].get().out)) << i;

    std::vector<SeenRequest> seen = program_.Seen();
    ASSERT_EQ(files.size(), seen.size());
    for (const auto& f : files) {
        int count = 0;
        for (const SeenRequest& r : seen)
            count += r.param1 == f.first;
        EXPECT_EQ(1, count) << "asked once: " << WideToUtf8(f.first);
    }
}

TEST_F(DriverProtocol, RequestAbandonedWhileQueuedIsNeverAsked)
{
    program_.HoldAnswers();
    auto first = WatchSimLater({ L"OpenFile", L"C:\\Guarded\\first" });
    ASSERT_TRUE(program_.WaitSeen(1, 30000));
    HANDLE queued = StartWatchSim({ L"OpenFile", L"C:\\Guarded\\abandoned" });
    ASSERT_TRUE(queued);
    // Kept: lets it reach the driver's queue. A queued request cannot be seen
    // from outside the driver (the shared record still holds the first).
    Sleep(300);
    TerminateProcess(queued, 9);
    WaitForSingleObject(queued, 30000);
    CloseHandle(queued);
    auto last = WatchSimLater({ L"OpenFile", L"C:\\Guarded\\last" });
    Sleep(300); // kept, as above: the last request queues behind the held one
    program_.ReleaseAnswers();
    EXPECT_EQ(VerdictLine(0, kGuardedFile), FirstLine(first.get().out));
    EXPECT_EQ(VerdictLine(0, kGuardedFile), FirstLine(last.get().out));
    std::vector<SeenRequest> seen = program_.Seen();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(L"C:\\Guarded\\last", seen[1].param1);
}

TEST_F(DriverProtocol, LongTextsAreCutAndNulTerminated)
{
    std::wstring file = L"C:\\Long\\" + std::wstring(3000, L'f');
    std::wstring key = L"HKEY_CURRENT_USER\\Long\\" + std::wstring(1500, L'k');
    std::wstring value = std::wstring(600, L'v');
    EXPECT_EQ(VerdictLine(0, kLongFile),
              FirstLine(RunWatchSim({ L"OpenFile", file, L"--process", L"AVeryLongProcessNameIndeed.exe" }).out));
    EXPECT_EQ(VerdictLine(0, kLongKey), FirstLine(RunWatchSim({ L"RegSetValue", key, value }).out));

    std::vector<SeenRequest> seen = program_.Seen();
    ASSERT_EQ(2u, seen.size());
    EXPECT_TRUE(seen[0].param1Terminated);
    EXPECT_EQ(file.substr(0, 1024), seen[0].param1);
    EXPECT_TRUE(seen[0].nameTerminated);
    EXPECT_EQ("AVeryLongProces", seen[0].processName);
    EXPECT_TRUE(seen[1].param1Terminated);
    EXPECT_EQ(key.substr(0, 1024), seen[1].param1);
    EXPECT_TRUE(seen[1].param2Terminated);
    EXPECT_EQ(value.substr(0, 256), seen[1].param2);
}

TEST_F(DriverProtocol, NarrowedProcessNameKeepsWholeCharacters)
{
    // Two bytes per character in a Chinese code page: the 15-byte field
    // must end before a character that would not fit whole.
    const std::wstring name = L"一个名字很长的测试进程.exe";
    RunWatchSim({ L"Execute", L"C:\\Tools\\t.exe", L"--process", name });
    std::vector<SeenRequest> seen = program_.Seen();
    ASSERT_EQ(1u, seen.size());
    const std::string& narrow = seen[0].processName;
    EXPECT_TRUE(seen[0].nameTerminated);
    EXPECT_LE(narrow.size(), 15u);
    EXPECT_GE(narrow.size(), 14u);
    std::string full = WideToAnsi(name);
    EXPECT_EQ(full.substr(0, narrow.size()), narrow);
    int wide = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow.data(), int(narrow.size()), nullptr, 0);
    EXPECT_GT(wide, 0) << "no character cut in half";
    if (GetACP() == 936) { // the characters themselves survive only in a Chinese code page
        EXPECT_EQ(name.substr(0, size_t(wide)), AnsiToWide(narrow));
    }
}

TEST_F(DriverProtocol, ClosingTheProgramsDeviceHandleStopsAsking)
{
    program_.CloseDevice(); // the program ends without STOP
    EXPECT_EQ(VerdictLine(0, 0), FirstLine(RunWatchSim({ L"OpenFile", L"C:\\Guarded\\a" }).out));
    EXPECT_TRUE(program_.Seen().empty());
}

TEST_F(DriverProtocol, ControlCodesFromAnotherHandleAreRefusedWhileASessionRuns)
{
    program_.SetPolicy([](const SeenRequest&) { return uint16_t(WATCH_VERDICT_REJECT); });
    HANDLE other = OpenDriverDevice();
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    std::vector<uint8_t> headerOnly = BuildTestImage({});
    DWORD pid = GetCurrentProcessId();
    struct Case {
        const char* name;
        DWORD code;
        const void* input;
        DWORD inputSize;
    };
    const Case cases[] = {
        { "stop", IOCTL_WATCH_STOP, nullptr, 0 },
        { "rules", IOCTL_WATCH_SET_RULES, headerOnly.data(), DWORD(headerOnly.size()) },
        { "shared record", IOCTL_WATCH_GET_SHARED, nullptr, 0 },
        { "pid", IOCTL_WATCH_SET_PID, &pid, sizeof(pid) },
        { "start", IOCTL_WATCH_START, nullptr, 0 },
    };
    for (const Case& c : cases) {
        uint64_t out = 0;
        DWORD got = 0;
        SetLastError(0);
        EXPECT_FALSE(DeviceIoControl(other, c.code, const_cast<void*>(c.input), c.inputSize, &out, sizeof(out),
                                     &got, nullptr))
            << c.name;
        EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError()) << c.name;
        EXPECT_EQ(0u, out) << c.name << ": nothing comes back";
    }
    CloseHandle(other); // closing a handle that never held the session changes nothing
    EXPECT_EQ(VerdictLine(2, kGuardedFile), FirstLine(RunWatchSim({ L"OpenFile", L"C:\\Guarded\\a" }).out));
    EXPECT_EQ(1u, program_.Seen().size());
}

TEST_F(DriverProtocol, SessionPassesOnOnlyWhenItsHolderStopsOrCloses)
{
    const uint32_t kNewRule = 0x7007;
    std::vector<uint8_t> image = BuildTestImage({ { 0, kNewRule, { L"C:\\New\\*" } } });
    TestProgram second;
    EXPECT_FALSE(second.Start(image)) << "refused while the first session runs";
    second.Stop();

    ASSERT_TRUE(program_.Control(IOCTL_WATCH_STOP, nullptr, 0));
    ASSERT_TRUE(second.Start(image)) << "free once its holder stopped it";
    second.SetPolicy([](const SeenRequest&) { return uint16_t(WATCH_VERDICT_FEIGN); });
    SetLastError(0);
    EXPECT_FALSE(program_.Control(IOCTL_WATCH_START, nullptr, 0));
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(VerdictLine(0, 0), FirstLine(RunWatchSim({ L"OpenFile", L"C:\\Guarded\\a" }).out))
        << "the first program's table went with its session";
    EXPECT_EQ(VerdictLine(1, kNewRule), FirstLine(RunWatchSim({ L"OpenFile", L"C:\\New\\b" }).out));

    second.CloseDevice(); // ends without STOP
    TestProgram third;
    ASSERT_TRUE(third.Start(BuildTestImage(StandardRules()))) << "free once its holder's handle closed";
    EXPECT_EQ(VerdictLine(0, kGuardedFile), FirstLine(RunWatchSim({ L"OpenFile", L"C:\\Guarded\\a" }).out));
    EXPECT_TRUE(program_.Seen().empty());
}

TEST_F(DriverProtocol, NewSessionWhoseTableIsRefusedHasNoRulesAtAll)
{
    program_.CloseDevice(); // the previous program ends
    TestProgram next;
    ASSERT_TRUE(next.Begin());
    next.SetPolicy([](const SeenRequest&) { return uint16_t(WATCH_VERDICT_REJECT); });
    std::vector<uint8_t> refused = BuildTestImage(StandardRules());
    refused[0] = 0xF0; // first record of kind 0 beyond the image
    EXPECT_FALSE(next.Control(IOCTL_WATCH_SET_RULES, refused.data(), DWORD(refused.size())));
    ASSERT_TRUE(next.Control(IOCTL_WATCH_START, nullptr, 0));
    EXPECT_EQ(VerdictLine(0, 0), FirstLine(RunWatchSim({ L"OpenFile", L"C:\\Guarded\\a" }).out))
        << "the previous program's identities must not come back";
    EXPECT_TRUE(next.Seen().empty());
}

TEST_F(DriverProtocol, SharedRecordAddressFitsTheCallersWidth)
{
    uint32_t narrow = 0;
    DWORD got = 0;
    ASSERT_TRUE(DeviceIoControl(program_.Device(), IOCTL_WATCH_GET_SHARED, nullptr, 0, &narrow, sizeof(narrow),
                                &got, nullptr));
    EXPECT_EQ(4u, got);
    ASSERT_NE(0u, narrow);
    auto* view = reinterpret_cast<volatile WATCH_SHARED_RECORD*>(uintptr_t(narrow));
    EXPECT_EQ(program_.Record()->requestEvent, view->requestEvent) << "the same record";

    uint16_t tiny = 0;
    EXPECT_FALSE(DeviceIoControl(program_.Device(), IOCTL_WATCH_GET_SHARED, nullptr, 0, &tiny, sizeof(tiny), &got,
                                 nullptr));
}

TEST_F(DriverProtocol, MalformedInjectionsAreRefused)
{
    std::vector<WATCH_INJECT_OPERATION> op(1);
    memset(op.data(), 0, sizeof(op[0]));
    WATCH_INJECT_RESULT result = {};
    DWORD got = 0;
    HANDLE device = OpenDriverDevice();
    ASSERT_NE(INVALID_HANDLE_VALUE, device);
    struct Case {
        uint32_t kind;
        DWORD inSize, outSize;
    };
    for (Case c : { Case{ 3, sizeof(op[0]), sizeof(result) }, Case{ 0, sizeof(op[0]) - 2, sizeof(result) },
                    Case{ 0, sizeof(op[0]), sizeof(result) - 4 } }) {
        op[0].kind = c.kind;
        EXPECT_FALSE(DeviceIoControl(device, IOCTL_WATCH_INJECT, op.data(), c.inSize, &result, c.outSize, &got,
                                     nullptr))
            << c.kind << " " << c.inSize << " " << c.outSize;
    }
    CloseHandle(device);
}

TEST_F(DriverProtocol, RestartWithNewEventsDoesNotWaitForAnAnswerOwedOnTheOldOnes)
{
    program_.SetPolicy([](const SeenRequest&) { return uint16_t(WATCH_VERDICT_REJECT); });
    program_.HoldAnswers();
    auto first = InjectLater(0, L"C:\\Guarded\\first");
    ASSERT_TRUE(program_.WaitSeen(1, 30000));
    program_.Stop(); // the answer is never given; the old events are closed
    EXPECT_EQ(WATCH_OUTCOME_CUT_SHORT, first.get().outcome);

    ASSERT_TRUE(program_.Start(BuildTestImage(StandardRules())));
    program_.SetPolicy([](const SeenRequest&) { return uint16_t(WATCH_VERDICT_FEIGN); });
    WATCH_INJECT_RESULT second = {};
    ASSERT_TRUE(InjectOperation(0, L"C:\\Guarded\\second", L"", &second));
    EXPECT_EQ(WATCH_OUTCOME_ANSWERED, second.outcome);
    EXPECT_EQ(WATCH_VERDICT_FEIGN, second.verdict);
}

TEST_F(DriverProtocol, ReloadWithTheSameEventsWaitsForTheAnswerStillOwed)
{
    program_.SetPolicy(VerdictByParam({ { L"C:\\Guarded\\first", 2 }, { L"C:\\Guarded\\second", 1 } }));
    program_.HoldAnswers();
    auto first = InjectLater(0, L"C:\\Guarded\\first");
    ASSERT_TRUE(program_.WaitSeen(1, 30000));
    ASSERT_TRUE(program_.Restart()); // STOP and START, events kept
    EXPECT_EQ(WATCH_OUTCOME_CUT_SHORT, first.get().outcome);

    // The program still writes its late answer to the first request; the
    // second must not be filled in, nor take that answer for its own.
    auto second = InjectLater(0, L"C:\\Guarded\\second");
    // Kept: the second request must be waiting in the driver before the late
    // answer is written, and nothing outside the driver shows that it is.
    Sleep(300);
    program_.ReleaseAnswers();
    WATCH_INJECT_RESULT result = second.get();
    EXPECT_EQ(WATCH_OUTCOME_ANSWERED, result.outcome);
    EXPECT_EQ(WATCH_VERDICT_FEIGN, result.verdict);
    std::vector<SeenRequest> seen = program_.Seen();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(L"C:\\Guarded\\second", seen[1].param1);
}

TEST_F(DriverProtocol, WatchSimCarriesKindProcessAndPidInAnySpelling)
{
    const long long own = -1; // WatchSim's own process id
    struct Case {
        std::vector<std::wstring> args;
        uint16_t kind;
        const char* process;
        long long pid;
    };
    const std::vector<Case> cases = {
        { { L"openfile", L"C:\\Guarded\\1" }, 0, "WatchSim.exe", own },
        { { L"0", L"C:\\Guarded\\2", L"--process", L"Custom.exe" }, 0, "Custom.exe", own },
        { { L"REGSETVALUE", L"HKEY_LOCAL_MACHINE\\Software\\Run", L"EvilValue", L"--pid", L"4242" }, 1,
          "WatchSim.exe", 4242 },
        { { L"1", L"HKEY_LOCAL_MACHINE\\Software\\RunOnce", L"Evil" }, 1, "WatchSim.exe", own },
        { { L"--pid", L"17", L"eXeCuTe", L"C:\\Tools\\a.exe" }, 2, "WatchSim.exe", 17 },
        { { L"2", L"C:\\Tools\\b.exe", L"--process", L"p.exe", L"--pid", L"0" }, 2, "p.exe", 0 },
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        WatchSimRun run = RunWatchSim(c.args);
        EXPECT_EQ(0u, run.exitCode) << i << run.err;
        std::vector<SeenRequest> seen = program_.Seen();
        ASSERT_EQ(i + 1, seen.size()) << i;
        EXPECT_EQ(c.kind, seen.back().kind) << i;
        EXPECT_EQ(c.process, seen.back().processName) << i;
        EXPECT_EQ(c.pid == own ? run.pid : uint32_t(c.pid), seen.back().processId) << i;
    }
}

TEST_F(DriverProtocol, WatchSimRepeatReportsRoundTripStatistics)
{
    WatchSimRun run = RunWatchSim({ L"OpenFile", L"C:\\Guarded\\r", L"--repeat", L"20" });
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(VerdictLine(0, kGuardedFile), FirstLine(run.out));
    unsigned count = 0;
    double lo = -1, median = -1, p99 = -1, hi = -1;
    size_t second = run.out.find("count=");
    ASSERT_NE(std::string::npos, second) << run.out;
    ASSERT_EQ(5, sscanf(run.out.c_str() + second, "count=%u min_us=%lf median_us=%lf p99_us=%lf max_us=%lf",
                        &count, &lo, &median, &p99, &hi));
    EXPECT_EQ(20u, count);
    EXPECT_GT(lo, 0.0);
    EXPECT_LE(lo, median);
    EXPECT_LE(median, p99);
    EXPECT_LE(p99, hi);
    EXPECT_EQ(20u, program_.Seen().size());
}

TEST_F(DriverProtocol, WatchSimExitsThreeWhenTheDriverIsAbsent)
{
    program_.Stop();
    ASSERT_TRUE(StopDriverService());
    WatchSimRun run = RunWatchSim({ L"OpenFile", L"C:\\Guarded\\a" });
    EXPECT_EQ(3u, run.exitCode);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(std::string::npos, run.err.find("cannot be reached")) << run.err;
}

TEST(WatchSimUsage, BadUsageExitsTwoWithAUsageLine)
{
    const std::vector<std::vector<std::wstring>> cases = {
        {},
        { L"Delete", L"C:\\a" },
        { L"OpenFile" },
        { L"OpenFile", L"C:\\a", L"C:\\b" },
        { L"RegSetValue", L"HKEY_CURRENT_USER\\Key" },
        { L"3", L"C:\\a" },
        { L"OpenFile", L"C:\\a", L"--pid", L"12x" },
        { L"OpenFile", L"C:\\a", L"--pid", L"99999999999" },
        { L"OpenFile", L"C:\\a", L"--pid" },
        { L"OpenFile", L"C:\\a", L"--repeat", L"0" },
        { L"OpenFile", L"C:\\a", L"--verbose" },
    };
    for (const auto& args : cases) {
        WatchSimRun run = RunWatchSim(args);
        std::wstring joined;
        for (const auto& a : args)
            joined += a + L" ";
        EXPECT_EQ(2u, run.exitCode) << WideToUtf8(joined);
        EXPECT_NE(std::string::npos, run.err.find("usage: WatchSim.exe")) << WideToUtf8(joined);
        EXPECT_TRUE(run.out.empty()) << WideToUtf8(joined);
    }
}

// The reply time-out comes from the service key when the driver loads.
class DriverReplyTimeout : public DriverProtocol {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(StartDriverService(1500)); }
    static void TearDownTestSuite()
    {
        ClearReplyTimeout();
        StopDriverService();
    }
};

TEST_F(DriverReplyTimeout, UnansweredRequestGetsThePresetVerdictAndALateAnswerIsWaitedFor)
{
    program_.SetPolicy([](const SeenRequest&) { return uint16_t(WATCH_VERDICT_REJECT); });
    program_.HoldAnswers();
    EXPECT_EQ(VerdictLine(0, kGuardedFile), FirstLine(RunWatchSim({ L"OpenFile", L"C:\\Guarded\\slow" }).out));

    // The program still owes that answer: the next request is not put into
    // the record, and it too ends at the time-out.
    WATCH_INJECT_RESULT result = {};
    ASSERT_TRUE(InjectOperation(0, L"C:\\Guarded\\next", L"", &result));
    EXPECT_EQ(WATCH_OUTCOME_TIMED_OUT, result.outcome);
    EXPECT_EQ(WATCH_VERDICT_ACCEPT, result.verdict);
    EXPECT_EQ(1u, program_.Seen().size());

    program_.ReleaseAnswers(); // the late answer arrives
    ASSERT_TRUE(InjectOperation(0, L"C:\\Guarded\\after", L"", &result));
    EXPECT_EQ(WATCH_OUTCOME_ANSWERED, result.outcome);
    EXPECT_EQ(WATCH_VERDICT_REJECT, result.verdict);
    std::vector<SeenRequest> seen = program_.Seen();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(L"C:\\Guarded\\after", seen[1].param1);
}

TEST_F(DriverReplyTimeout, LateAnswerIsNotTakenForTheNextRequest)
{
    program_.SetPolicy(VerdictByParam({ { L"C:\\Guarded\\first", 2 }, { L"C:\\Guarded\\second", 1 } }));
    program_.HoldAnswers();
    WATCH_INJECT_RESULT first = {};
    ASSERT_TRUE(InjectOperation(0, L"C:\\Guarded\\first", L"", &first));
    EXPECT_EQ(WATCH_OUTCOME_TIMED_OUT, first.outcome);

    auto second = InjectLater(0, L"C:\\Guarded\\second");
    // Kept: the second request now waits in the driver for the answer still
    // owed, which nothing outside the driver shows.
    Sleep(300);
    program_.ReleaseAnswers();
    WATCH_INJECT_RESULT result = second.get();
    EXPECT_EQ(WATCH_OUTCOME_ANSWERED, result.outcome);
    EXPECT_EQ(WATCH_VERDICT_FEIGN, result.verdict);
    std::vector<SeenRequest> seen = program_.Seen();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(L"C:\\Guarded\\second", seen[1].param1);
}

} // namespace

// A real operation names its key the kernel's way; the rules above say
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER. The driver matches every
// spelling, HKEY_CURRENT_USER as the requesting process's own user, whose SID
// it reads from that process's token.
TEST_F(DriverProtocol, RegistryRulesMatchTheKernelNameOfTheRequestersKey)
{
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    unsigned char user[256];
    DWORD got = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof(user), &got));
    CloseHandle(token);
    wchar_t* sidText = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sidText));
    const std::wstring sid = sidText;
    LocalFree(sidText);

    program_.SetPolicy([](const SeenRequest&) { return uint16_t(WATCH_VERDICT_REJECT); });
    struct Case {
        std::wstring key, value;
        uint32_t rule;
    } cases[] = {
        { L"\\REGISTRY\\MACHINE\\SOFTWARE\\Run", L"Evil.exe", kRunKey },
        { L"\\REGISTRY\\USER\\" + sid + L"\\Long\\x", L"v", kLongKey },
        { L"HKCU\\Long\\x", L"v", kLongKey },
        { L"\\REGISTRY\\USER\\S-1-5-18\\Long\\x", L"v", 0 }, // another user's key
        { L"\\REGISTRY\\MACHINE\\SOFTWARE\\Run", L"Harmless", 0 },
    };
    for (const Case& c : cases) {
        WATCH_INJECT_RESULT result = {};
        ASSERT_TRUE(InjectOperation(1, c.key, c.value, &result));
        EXPECT_EQ(c.rule, result.matched ? result.ruleId : 0u) << WideToUtf8(c.key);
        EXPECT_EQ(c.rule ? uint32_t(WATCH_VERDICT_REJECT) : uint32_t(WATCH_VERDICT_ACCEPT), result.verdict);
    }
}

} // namespace drivertest
