// The process path and default answer helpers of the permission prompt.
#include "base/ProcessPath.h"
#include "rules/RuleModel.h"
#include "watch/AskAnswer.h"

#include <gtest/gtest.h>

#include <windows.h>

TEST(AskPath, KernelStylePrefixesAreMended)
{
    struct Case {
        const wchar_t* path;
        const wchar_t* fixed;
    } cases[] = {
        { L"\\SystemRoot\\System32\\smss.exe", L"C:\\WINDOWS\\System32\\smss.exe" },
        { L"\\systemroot\\system32\\csrss.exe", L"C:\\WINDOWS\\system32\\csrss.exe" },
        { L"\\SYSTEMROOT", L"C:\\WINDOWS" },
        { L"\\??\\C:\\WINDOWS\\system32\\winlogon.exe", L"C:\\WINDOWS\\system32\\winlogon.exe" },
        { L"\\??\\UNC\\server\\share\\a.exe", L"\\\\server\\share\\a.exe" },
        { L"\\??\\unc\\server\\a.exe", L"\\\\server\\a.exe" },
        // Everything else is left alone.
        { L"C:\\Program Files\\App\\app.exe", L"C:\\Program Files\\App\\app.exe" },
        { L"\\SystemRootless\\a.exe", L"\\SystemRootless\\a.exe" },
        { L"SystemRoot\\a.exe", L"SystemRoot\\a.exe" },
        { L"\\??", L"\\??" },
        { L"\\Device\\HarddiskVolume1\\a.exe", L"\\Device\\HarddiskVolume1\\a.exe" },
        { L"", L"" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(FixProcessPath(c.path, L"C:\\WINDOWS"), c.fixed) << c.path;
}

TEST(AskPath, SystemRootTakesTheGivenFolderWhateverItsLength)
{
    std::wstring root = L"D:\\";
    root += std::wstring(200, L'w');
    EXPECT_EQ(FixProcessPath(L"\\SystemRoot\\explorer.exe", root), root + L"\\explorer.exe");
}

TEST(AskPath, OwnProcessPathIsTheModuleFile)
{
    wchar_t own[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, own, MAX_PATH), 0u);
    EXPECT_EQ(ProcessImagePath(GetCurrentProcessId()), own);
}

TEST(AskPath, ProcessThatCannotBeOpenedGivesAnEmptyPath)
{
    EXPECT_EQ(ProcessImagePath(3), L""); // ids are multiples of four
    EXPECT_EQ(ProcessImagePath(0xFFFFFFF0u), L"");
}

TEST(AskPath, OnlyAcceptRulesDefaultToAllow)
{
    EXPECT_EQ(AskDefaultAnswer(RuleAction::Accept), ASK_ALLOW);
    EXPECT_EQ(AskDefaultAnswer(RuleAction::Feign), ASK_REFUSE);
    EXPECT_EQ(AskDefaultAnswer(RuleAction::Reject), ASK_REFUSE);
    EXPECT_EQ(AskDefaultAnswer(7), ASK_REFUSE);
}
