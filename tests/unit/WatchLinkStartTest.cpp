// The driver link's start failures that come before the driver is touched:
// each one is reported once to the caller's handler and leaves the link not
// started, so that the next start tries afresh.
#include "watch/DriverService.h"
#include "watch/WatchMain.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

TEST(WatchLinkStart, FailuresBeforeTheDriverAreReportedAndLeaveTheLinkStopped)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring root = std::wstring(temp) + L"hm_link_start_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    const struct {
        const char* what;
        bool driverFile;
        CWatchMain::StartResult expected;
    } cases[] = {
        { "no driver file beside the program", false, CWatchMain::START_NO_DRIVER_FILE },
        { "driver folder cannot take the copy", true, CWatchMain::START_NOT_INSTALLED },
    };
    for (const auto& c : cases) {
        const std::wstring folder = root + std::to_wstring(&c - cases) + L"\\";
        std::filesystem::create_directories(folder);
        if (c.driverFile)
            std::ofstream(std::filesystem::path(folder + HM_DRIVER_FILE)) << "not a driver";
        CWatchMain link;
        int reported = 0;
        link.SetProgramFolder(folder);
        link.SetDriverFolder(folder + L"no\\such\\folder");
        link.SetLoadFailureHandler([&reported] { ++reported; });
        for (int attempt = 0; attempt < 2; ++attempt)
            EXPECT_EQ(c.expected, link.Start()) << c.what << ", attempt " << attempt;
        EXPECT_EQ(2, reported) << c.what;
        EXPECT_FALSE(link.IsStarted()) << c.what;
        EXPECT_EQ(CWatchMain::STOP_NOT_STARTED, link.Stop()) << c.what;
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

} // namespace
