// The sensor decides in the guarded program what no rule can match, and asks
// the driver only about candidates: a real program under a table set through
// the driver's own protocol (no guard runs; this test answers as the
// program would), with the driver's count of injected operations read from
// the state page it shares with the sensors.
#include "base/TextConv.h"
#include "driver/common/StateProtocol.h"
#include "e2e/DriverHarness.h"
#include "e2e/GuardFixture.h"
#include "support/Wait.h"

#include <string>

namespace e2e {
namespace {

using drivertest::SeenRequest;
using drivertest::TestRule;

const wchar_t kRoot[] = L"C:\\hmtest\\local\\";

std::vector<TestRule> Rules(bool guardPlain)
{
    std::vector<TestRule> rules = {
        { 0, 0x11, { L"C:\\hmtest\\local\\reject\\*" } },
        { 0, 0x12, { L"*\\probe.txt" } },
        { 0, 0x13, { L"*\\elsewhere\\*.dat" } },
        { 1, 0x14, { L"HKEY_CURRENT_USER\\Software\\HarrowmereTest\\Reject", L"" } },
        { 2, 0x15, { L"*\\never.exe" } },
    };
    if (guardPlain)
        rules.push_back({ 0, 0x16, { L"C:\\hmtest\\local\\plain\\*" } });
    return rules;
}

void WriteText(const std::wstring& path, const char* text)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(h, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    CloseHandle(h);
}

std::wstring HelperSource()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path);
    return s.substr(0, s.find_last_of(L'\\') + 1) + L"hm_intercept_helper.exe";
}

class InterceptLocal : public GuardTest {
protected:
    void SetUp() override
    {
        GuardTest::SetUp();
        ASSERT_TRUE(drivertest::StartDriverService(0));
        CreateDirectoryW(L"C:\\hmtest", nullptr);
        for (const wchar_t* dir : { L"", L"plain", L"reject" })
            CreateDirectoryW((std::wstring(kRoot) + dir).c_str(), nullptr);
        WriteText(std::wstring(kRoot) + L"plain\\a.txt", "plain\r\n");
        WriteText(std::wstring(kRoot) + L"reject\\a.txt", "guarded\r\n");
        WriteText(std::wstring(kRoot) + L"probe.txt", "probe\r\n");
        m_helper = std::wstring(kRoot) + L"localhelp.exe";
        ASSERT_TRUE(CopyFileW(HelperSource().c_str(), m_helper.c_str(), FALSE));
        // Everything this test is asked about is refused, the probe excepted.
        m_program.SetPolicy([](const SeenRequest& r) -> uint16_t {
            return r.param1.find(L"probe.txt") != std::wstring::npos ? WATCH_VERDICT_ACCEPT : WATCH_VERDICT_REJECT;
        });
        ASSERT_TRUE(m_program.Start(drivertest::BuildTestImage(Rules(false))));
        m_device = drivertest::OpenDriverDevice();
        ASSERT_NE(INVALID_HANDLE_VALUE, m_device);
        uint64_t address = 0;
        DWORD got = 0;
        ASSERT_TRUE(DeviceIoControl(m_device, IOCTL_WATCH_MAP_STATE, nullptr, 0, &address, sizeof(address), &got,
                                    nullptr));
        m_page = reinterpret_cast<const volatile WATCH_STATE_PAGE*>(static_cast<ULONG_PTR>(address));
        ASSERT_EQ(WATCH_STATE_MAGIC, m_page->magic);
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(L"HM_SENSOR_ASK_EVERY", nullptr);
        m_program.Stop();
        if (m_device != INVALID_HANDLE_VALUE)
            CloseHandle(m_device);
        GuardTest::TearDown();
    }
    bool WasAskedAbout(const std::wstring& path)
    {
        for (const SeenRequest& r : m_program.Seen())
            if (_wcsicmp(r.param1.c_str(), path.c_str()) == 0)
                return true;
        return false;
    }

    drivertest::TestProgram m_program;
    HANDLE m_device = INVALID_HANDLE_VALUE;
    const volatile WATCH_STATE_PAGE* m_page = nullptr;
    std::wstring m_helper;
};

TEST_F(InterceptLocal, UntouchedOperationsAreNotSentToTheDriverAndCandidatesStillGetItsVerdict)
{
    const unsigned kOpens = 300;
    const std::wstring plain = std::wstring(kRoot) + L"plain\\a.txt";
    const std::wstring guarded = std::wstring(kRoot) + L"reject\\a.txt";
    struct Mode {
        bool askEvery;
        const char* name;
    } modes[] = { { false, "in-process decision" }, { true, "asking about every operation" } };
    for (const Mode& m : modes) {
        SCOPED_TRACE(m.name);
        // The launcher's child inherits the switch with the environment.
        SetEnvironmentVariableW(L"HM_SENSOR_ASK_EVERY", m.askEvery ? L"1" : nullptr);
        uint32_t before = m_page->injected;
        ToolResult r = RunTool(L"GuardedRun.exe", m_helper + L" opens " + plain + L" " + std::to_wstring(kOpens) +
                                                      L" open " + guarded + L" open " + plain);
        uint32_t sent = m_page->injected - before;
        EXPECT_NE(std::string::npos, r.output.find("opens: " + std::to_string(kOpens) + " in")) << r.output;
        EXPECT_NE(std::string::npos, r.output.find("open: error 5\r\nopen: ok")) << r.output;
        EXPECT_TRUE(WasAskedAbout(guarded));
        if (m.askEvery) {
            EXPECT_GE(sent, kOpens) << "the driver's count does not see the operations";
        } else {
            // The refused open, and what the start of a program may touch.
            EXPECT_LE(sent, 10u) << "operations no rule matches were sent to the driver";
        }
    }
}

TEST_F(InterceptLocal, ATableSetWhileAProgramRunsReachesItsSensor)
{
    const std::wstring probe = std::wstring(kRoot) + L"probe.txt";
    Process poller;
    // The probe, a candidate, shows that the sensor runs with the first
    // table; then the program opens a file no rule matches every 10 ms.
    ASSERT_TRUE(poller.Start(L"GuardedRun.exe",
                             m_helper + L" open " + probe + L" poll " + kRoot + L"plain\\a.txt 60000", true));
    ASSERT_TRUE(testwait::WaitUntil([&] { return WasAskedAbout(probe); }, 15000));
    uint32_t generation = m_page->generation;
    std::vector<uint8_t> image = drivertest::BuildTestImage(Rules(true));
    ASSERT_TRUE(m_program.Control(IOCTL_WATCH_SET_RULES, image.data(), static_cast<DWORD>(image.size())));
    EXPECT_NE(generation, m_page->generation);
    ASSERT_NE(-1, poller.WaitForExit(15000)) << "the running program never met the new rule";
    EXPECT_NE(std::string::npos, poller.Output().find("poll: refused after")) << poller.Output();
    EXPECT_TRUE(WasAskedAbout(std::wstring(kRoot) + L"plain\\a.txt"));
}

} // namespace
} // namespace e2e
