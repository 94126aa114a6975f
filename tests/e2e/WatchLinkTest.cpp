// The driver link against the stand-in driver: its own edge cases, a driver
// session that another program holds, one that goes away, and a rule table
// that does not reach the driver.
#include "e2e/DriverHarness.h"

#include "watch/WatchMain.h"

#include <gtest/gtest.h>

namespace {

class WatchLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::wstring stage = drivertest::StagedFile(L"");
        m_link.SetProgramFolder(stage);
        m_link.SetLinkMutex(CreateMutexW(nullptr, FALSE, nullptr));
        m_link.SetLoadFailureHandler([this] { ++m_loadFailures; });
        m_link.SetRulesRefusedHandler([this] { ++m_refusedTables; });
    }
    void TearDown() override
    {
        m_link.Shutdown();
        drivertest::StopDriverService();
    }

    CWatchMain m_link;
    int m_loadFailures = 0;
    int m_refusedTables = 0;
};

TEST_F(WatchLink, SecondStartAndStopWhenStoppedAnswerMinusOneQuietly)
{
    EXPECT_EQ(-1, m_link.Stop());
    ASSERT_EQ(0, m_link.Start());
    EXPECT_TRUE(m_link.IsGuarding());
    EXPECT_TRUE(m_link.CheckSession());
    EXPECT_EQ(-1, m_link.Start());
    EXPECT_EQ(0, m_link.Stop());
    EXPECT_EQ(-1, m_link.Stop());
    EXPECT_FALSE(m_link.IsGuarding());
    EXPECT_EQ(0, m_loadFailures) << "no message for either";
}

TEST_F(WatchLink, SessionThatAnotherProgramHoldsIsRefusedUntilItsHolderCloses)
{
    HANDLE holder = drivertest::HoldDriverSession();
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);

    EXPECT_EQ(-3, m_link.Start());
    EXPECT_EQ(1, m_loadFailures);
    EXPECT_FALSE(m_link.IsGuarding());
    EXPECT_FALSE(m_link.CheckSession());

    CloseHandle(holder);
    EXPECT_EQ(0, m_link.Stop());
    EXPECT_EQ(0, m_link.Start());
    EXPECT_TRUE(m_link.IsGuarding());
}

TEST_F(WatchLink, SessionThatGoesAwayIsNoticedAndATableThatCannotBeSentIsReported)
{
    ASSERT_EQ(0, m_link.Start(true));
    EXPECT_EQ(0, m_refusedTables);
    ASSERT_TRUE(drivertest::StopDriverService());
    EXPECT_FALSE(m_link.CheckSession());
    EXPECT_FALSE(m_link.IsGuarding());

    // The user saved the rules: the table does not reach the driver, and the
    // reload tells its caller (the editor shows the box).
    EXPECT_EQ(-2, m_link.ReloadRules());
    EXPECT_FALSE(m_link.IsGuarding());
    EXPECT_EQ(-2, m_link.UploadRules()) << "at start-up it is only traced";
    EXPECT_EQ(0, m_refusedTables) << "the link itself shows no box for either";
}

} // namespace
