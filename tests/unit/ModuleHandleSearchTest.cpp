// The finder's searches against real processes: helper children that hold a
// file open, and kernel32.dll, which every process has loaded.
#include "sysview/ModuleHandleSearch.h"

#include "helper/HelperProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> IdsOf(const std::vector<FOUND_ROW>& rows)
{
    std::vector<std::wstring> ids;
    for (const FOUND_ROW& row : rows)
        ids.push_back(row.processIdText);
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::wstring Id(uint32_t id)
{
    return std::to_wstring(id);
}

} // namespace

TEST(ModuleHandleSearch, KeysFromTheTypedText)
{
    wchar_t folder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, folder);
    std::wstring cwd = folder;
    if (cwd.back() != L'\\')
        cwd += L'\\';
    const struct {
        const wchar_t* text;
        bool ok;
        bool isPath;
        std::wstring key;
    } cases[] = {
        { L"kernel32.dll", true, false, L"kernel32.dll" },
        { L"sub\\x.dll", true, true, cwd + L"sub\\x.dll" },
        { L"C:/a/../b.dll", true, true, L"C:\\b.dll" },
        { L"", false, false, L"" },
    };
    for (const auto& c : cases) {
        SEARCH_KEY key;
        EXPECT_EQ(c.ok, MakeSearchKey(c.text, &key)) << c.text;
        EXPECT_EQ(c.isPath, key.isPath) << c.text;
        EXPECT_EQ(c.key, key.text) << c.text;
    }
    EXPECT_EQ(L"b.dll", FileNamePart(L"C:\\a/b.dll"));
    EXPECT_EQ(L"b.dll", FileNamePart(L"b.dll"));
}

TEST(ModuleHandleSearch, ModuleByNameAndByPathInOtherCaseGiveTheSameRows)
{
    helper::CHelperProcess child;
    ASSERT_TRUE(child.Start(L"sleep"));
    wchar_t kernel32[MAX_PATH];
    GetModuleFileNameW(GetModuleHandleW(L"kernel32.dll"), kernel32, MAX_PATH);
    std::wstring upper = kernel32;
    CharUpperW(&upper[0]);

    SEARCH_KEY byName, byPath;
    ASSERT_TRUE(MakeSearchKey(L"kernel32.dll", &byName));
    ASSERT_TRUE(MakeSearchKey(upper, &byPath));
    std::vector<FOUND_ROW> named = FindModuleHolders(byName);
    std::vector<FOUND_ROW> pathed = FindModuleHolders(byPath);
    EXPECT_EQ(IdsOf(named), IdsOf(pathed));
    std::vector<std::wstring> ids = IdsOf(named);
    EXPECT_TRUE(std::count(ids.begin(), ids.end(), Id(GetCurrentProcessId())));
    EXPECT_TRUE(std::count(ids.begin(), ids.end(), Id(child.Id())));
    for (const FOUND_ROW& row : pathed) {
        EXPECT_EQ(0, _wcsicmp(kernel32, row.path.c_str()));
        EXPECT_FALSE(row.processName.empty());
    }
}

TEST(ModuleHandleSearch, FileHoldersByNameAndByPath)
{
    std::wstring name = L"hm-held-" + Id(GetCurrentProcessId()) + L".dat";
    std::wstring path = L"C:\\" + name;
    helper::CHelperProcess first, second;
    ASSERT_TRUE(first.Start(L"hold", path));
    ASSERT_TRUE(second.Start(L"hold", path));
    // This process holds it twice: two rows.
    HANDLE a = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE b = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    std::vector<std::wstring> expected = { Id(first.Id()), Id(second.Id()), Id(GetCurrentProcessId()),
                                           Id(GetCurrentProcessId()) };
    std::sort(expected.begin(), expected.end());

    SEARCH_KEY byName;
    ASSERT_TRUE(MakeSearchKey(name, &byName));
    std::vector<FOUND_ROW> rows = FindFileHolders(byName);
    EXPECT_EQ(expected, IdsOf(rows));
    for (const FOUND_ROW& row : rows)
        EXPECT_EQ(0, _wcsicmp(path.c_str(), row.path.c_str())) << row.path;

    // A path with a detour in another letter case: every row shows the
    // typed path, made absolute.
    std::wstring typed = L"c:/windows/../" + name;
    SEARCH_KEY byPath;
    ASSERT_TRUE(MakeSearchKey(typed, &byPath));
    rows = FindFileHolders(byPath);
    EXPECT_EQ(expected, IdsOf(rows));
    for (const FOUND_ROW& row : rows)
        EXPECT_EQ(L"c:\\" + name, row.path);

    // A drive letter without a device finds nothing.
    SEARCH_KEY unmapped;
    ASSERT_TRUE(MakeSearchKey(L"Q:\\" + name, &unmapped));
    EXPECT_TRUE(FindFileHolders(unmapped).empty());

    CloseHandle(a);
    CloseHandle(b);
    first.End();
    second.End();
    DeleteFileW(path.c_str());
}
