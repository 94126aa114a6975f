#include "base/DirectoryPath.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>

namespace {

bool IsFolder(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

class DirectoryPath : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        m_base = std::wstring(temp) + L"hm_dirpath_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                 std::to_wstring(GetTickCount());
        ASSERT_TRUE(CreateDirectoryW(m_base.c_str(), nullptr));
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_base, ignored);
    }

    // base\l1\l2\...\ln
    std::wstring Levels(int n) const
    {
        std::wstring path = m_base;
        for (int i = 1; i <= n; ++i)
            path += L"\\l" + std::to_wstring(i);
        return path;
    }

    std::wstring m_base;
};

} // namespace

TEST_F(DirectoryPath, ExistingFolderIsFine)
{
    EXPECT_EQ(1, CreateDirectoryPath(m_base.c_str()));
    EXPECT_TRUE(IsFolder(m_base));
}

TEST_F(DirectoryPath, FiveMissingLevelsAreCreated)
{
    EXPECT_EQ(1, CreateDirectoryPath(Levels(5).c_str()));
    EXPECT_TRUE(IsFolder(Levels(5)));
}

TEST_F(DirectoryPath, TrailingBackslashIsAccepted)
{
    std::wstring path = Levels(3) + L"\\";
    EXPECT_EQ(1, CreateDirectoryPath(path.c_str()));
    EXPECT_TRUE(IsFolder(Levels(3)));
}

TEST_F(DirectoryPath, SixMissingLevelsAreTooMany)
{
    EXPECT_EQ(0, CreateDirectoryPath(Levels(6).c_str()));
    EXPECT_FALSE(IsFolder(Levels(6)));
}

TEST_F(DirectoryPath, PathOf260CharactersOrMoreIsRefused)
{
    for (size_t total : {size_t(260), size_t(261), size_t(400)}) {
        std::wstring path = m_base + L"\\";
        path += std::wstring(total - path.size(), L'd');
        ASSERT_EQ(total, path.size());
        EXPECT_EQ(0, CreateDirectoryPath(path.c_str())) << total;
        EXPECT_FALSE(IsFolder(path)) << total;
    }
}

TEST_F(DirectoryPath, FileInThePlaceOfTheFolderIsAFailure)
{
    std::wstring file = m_base + L"\\plain";
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    EXPECT_EQ(0, CreateDirectoryPath(file.c_str()));
    EXPECT_EQ(0, CreateDirectoryPath((file + L"\\below").c_str()));
}
