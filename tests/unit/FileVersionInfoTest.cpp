// Version resources: the choice of the translation entry for a user's
// language, and real files: the test helper (a Chinese and an English table,
// the English one without a company name) and a file without a resource.
#include "sysview/FileVersionInfo.h"

#include "helper/HelperProcess.h"

#include <gtest/gtest.h>


TEST(FileVersionInfo, TranslationChoiceForTheUsersLanguage)
{
    const uint32_t en = 0x04B00409, zh = 0x04B00804, tw = 0x04B00404, neutral = 0x04B00000, ja = 0x04B00411,
                   enGb = 0x04B00809;
    const struct {
        std::vector<uint32_t> table;
        LANGID user;
        int chosen;
    } cases[] = {
        { { en }, 0x0804, 0 },            // only English: read for anyone
        { { zh, en }, 0x0804, 0 },        // exact
        { { en, zh }, 0x0804, 1 },        // exact, wherever it stands
        { { zh, en }, 0x0411, 1 },        // no Japanese: English
        { { ja, tw }, 0x0804, 1 },        // same primary language (low byte)
        { { ja, neutral, en }, 0x0407, 1 }, // neutral before English
        { { ja, enGb }, 0x0407, 1 },      // any English variant
        { { ja, tw }, 0x0407, 0 },        // nothing fits: the first
        { {}, 0x0804, -1 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.chosen, ChooseTranslation(c.table, c.user)) << std::hex << c.user;
}

TEST(FileVersionInfo, ReadsTheTableThatFitsAndEmptiesOnFailure)
{
    std::wstring helperPath = helper::HelperPath();
    CFileVersionInfo info;
    ASSERT_TRUE(info.Load(helperPath, 0x0804));
    EXPECT_EQ(L"\\StringFileInfo\\080404B0\\", info.Prefix());
    EXPECT_EQ(L"测试公司", info.GetCompanyName());
    EXPECT_EQ(L"检查助手", info.GetFileDescription());
    EXPECT_EQ(0x00010002u, info.Fixed().dwFileVersionMS);

    ASSERT_TRUE(info.Load(helperPath, 0x0411));
    EXPECT_EQ(L"\\StringFileInfo\\040904B0\\", info.Prefix());
    EXPECT_EQ(L"", info.GetCompanyName());
    EXPECT_EQ(L"Inspection helper", info.GetFileDescription());
    EXPECT_EQ(L"1.2.3.4", info.Text(CFileVersionInfo::FileVersion));

    std::wstring plain = helper::ProgramFolder() + L"hm-no-version.txt";
    HANDLE file = CreateFileW(plain.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "no resource", 11, &written, nullptr);
    CloseHandle(file);
    EXPECT_FALSE(info.Load(plain));
    EXPECT_EQ(L"", info.GetFileDescription());
    EXPECT_EQ(0u, info.Fixed().dwFileVersionMS);
    EXPECT_EQ(L"", info.Prefix());
    DeleteFileW(plain.c_str());
}
