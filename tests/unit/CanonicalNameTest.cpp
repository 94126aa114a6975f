#include "names/CanonicalName.h"

#include "driver/common/CaseFold.h"
#include "driver/common/KeySpellings.h"
#include "driver/common/MatchIndex.h"
#include "rules/RuleImage.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::wstring Upper(std::wstring s)
{
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(CaseUpper(static_cast<uint16_t>(c)));
    return s;
}

// Equal as the file system and the matcher compare names.
bool SameName(const std::wstring& a, const std::wstring& b)
{
    return Upper(a) == Upper(b);
}

std::wstring Canonical(HANDLE root, const std::wstring& name)
{
    wchar_t out[NAMES_MAX_CHARS + 1];
    size_t n = CanonicalFilePath(root, name.data(), name.size(), out, NAMES_MAX_CHARS + 1);
    return std::wstring(out, n);
}

std::wstring Environment(const wchar_t* name)
{
    wchar_t value[1024];
    DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

// The one set-up of the file tests: a folder with a long, Vietnamese name
// under the temporary folder and in it a file with a long Armenian and
// Vietnamese name, removed afterwards.
class CanonicalFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH], longTemp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        DWORD n = GetLongPathNameW(temp, longTemp, MAX_PATH);
        std::wstring base = n > 0 && n < MAX_PATH ? longTemp : temp;
        if (base.back() != L'\\')
            base += L'\\';
        m_top = base + L"hm_names_" + std::to_wstring(GetCurrentProcessId());
        m_dir = m_top + L"\\Th\x01B0 m\x1EE5" L"c d\x00E0i";               // Thư mục dài
        m_leaf = L"T\x1EC7p \x0540\x0561\x0575 d\x00E0i t\x00EAn.txt";     // Tệp Հայ dài tên.txt
        m_file = m_dir + L"\\" + m_leaf;
        CreateDirectoryW(m_top.c_str(), nullptr);
        CreateDirectoryW(m_dir.c_str(), nullptr);
        HANDLE f = CreateFileW(m_file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        CloseHandle(f);
    }

    void TearDown() override
    {
        DeleteFileW(m_file.c_str());
        RemoveDirectoryW(m_dir.c_str());
        RemoveDirectoryW(m_top.c_str());
    }

    // The file's path under Wine's Unix root: WINEPREFIX/drive_c/...
    std::wstring UnixPath() const
    {
        std::wstring prefix = Environment(L"WINEPREFIX");
        if (prefix.empty() || !SameName(m_file.substr(0, 3), L"C:\\"))
            return std::wstring();
        std::wstring path = prefix + L"/drive_c/" + m_file.substr(3);
        for (wchar_t& c : path)
            c = c == L'\\' ? L'/' : c;
        return path;
    }

    std::wstring m_top, m_dir, m_leaf, m_file;
};

} // namespace

TEST_F(CanonicalFileTest, EverySpellingOfOneFileGivesItsDrivePath)
{
    wchar_t shortPath[MAX_PATH];
    DWORD shortLength = GetShortPathNameW(m_file.c_str(), shortPath, MAX_PATH);
    ASSERT_GT(shortLength, 0u);
    ASSERT_FALSE(SameName(shortPath, m_file)) << "no short name was made";
    wchar_t device[512];
    ASSERT_GT(QueryDosDeviceW(m_file.substr(0, 2).c_str(), device, 512), 0u);
    std::wstring slashes = m_file;
    for (wchar_t& c : slashes)
        c = c == L'\\' ? L'/' : c;
    std::wstring unixPath = UnixPath();
    ASSERT_FALSE(unixPath.empty()) << "WINEPREFIX is not set";
    std::wstring zDrive = L"Z:" + unixPath;
    for (wchar_t& c : zDrive)
        c = c == L'/' ? L'\\' : c;

    struct Case {
        const char* what;
        std::wstring name;
    } cases[] = {
        {"NT name", L"\\??\\" + m_file},
        {"other case", L"\\??\\" + Upper(m_file)},
        {"short name", L"\\??\\" + std::wstring(shortPath, shortLength)},
        {"short name, Win32", std::wstring(shortPath, shortLength)},
        {"dot and dot-dot", m_dir + L"\\.\\gone\\..\\\\" + m_leaf},
        {"forward slashes", slashes},
        {"\\\\?\\ prefix", L"\\\\?\\" + m_file},
        {"\\\\.\\ prefix", L"\\\\.\\" + m_file},
        {"\\DosDevices\\ prefix", L"\\DosDevices\\" + m_file},
        {"\\GLOBAL??\\ prefix", L"\\GLOBAL??\\" + m_file},
        {"trailing dot", m_file + L"."},
        {"trailing dots and blanks", L"\\??\\" + m_file + L". . "},
        {"default stream", m_file + L"::$DATA"},
        {"named stream", L"\\??\\" + m_file + L":note:$DATA"},
        {"named stream, short form", m_file + L":note"},
        {"Wine's Unix root drive", zDrive},
        {"\\\\?\\unix\\ form", L"\\\\?\\unix\\" + unixPath},
        {"device path", std::wstring(device) + m_file.substr(2)},
    };
    for (const Case& c : cases) {
        std::wstring got = Canonical(nullptr, c.name);
        EXPECT_TRUE(SameName(got, m_file)) << c.what << ": " << testing::PrintToString(c.name) << " gave "
                                           << testing::PrintToString(got);
    }
}

// Names relative to a root directory handle and to the current folder.
TEST_F(CanonicalFileTest, RelativeNamesResolveAgainstTheirFolder)
{
    HANDLE dir = CreateFileW(m_dir.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(dir, INVALID_HANDLE_VALUE);
    HANDLE top = CreateFileW(m_top.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(top, INVALID_HANDLE_VALUE);
    const std::wstring inTop = m_dir.substr(m_top.size() + 1) + L"\\" + m_leaf;
    EXPECT_TRUE(SameName(Canonical(dir, m_leaf), m_file)) << testing::PrintToString(Canonical(dir, m_leaf));
    EXPECT_TRUE(SameName(Canonical(top, inTop), m_file)) << testing::PrintToString(Canonical(top, inTop));
    EXPECT_TRUE(SameName(Canonical(dir, L""), m_dir)) << testing::PrintToString(Canonical(dir, L""));
    CloseHandle(dir);
    CloseHandle(top);

    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(m_dir.c_str()));
    std::wstring relative = Canonical(nullptr, m_leaf);
    std::wstring up = Canonical(nullptr, L"..\\" + m_dir.substr(m_top.size() + 1) + L"\\" + m_leaf);
    SetCurrentDirectoryW(previous);
    EXPECT_TRUE(SameName(relative, m_file)) << testing::PrintToString(relative);
    EXPECT_TRUE(SameName(up, m_file)) << testing::PrintToString(up);
}

// What cannot be resolved gives 0 and leaves nothing half written beyond the
// buffer: names of other devices, a result that does not fit, odd arguments.
TEST_F(CanonicalFileTest, WhatCannotBeResolvedGivesZero)
{
    wchar_t small[8];
    EXPECT_EQ(CanonicalFilePath(nullptr, m_file.data(), m_file.size(), small, 8), 0u);
    wchar_t out[64];
    struct Case {
        const char* what;
        std::wstring name;
    } cases[] = {
        {"a pipe", L"\\??\\pipe\\hm_names"},
        {"a named pipe device", L"\\Device\\NamedPipe\\hm_names"},
        {"an unknown device", L"\\Device\\NoSuchDevice0\\x"},
        {"a lone prefix", L"\\??\\"},
        {"a UNC name without its share", L"\\\\server"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CanonicalFilePath(nullptr, c.name.data(), c.name.size(), out, 64), 0u) << c.what;
    EXPECT_EQ(CanonicalFilePath(nullptr, nullptr, 4, out, 64), 0u);
    EXPECT_EQ(CanonicalFilePath(nullptr, L"C:\\x", 4, nullptr, 64), 0u);
    std::wstring huge(NAMES_MAX_CHARS + 1, L'a');
    EXPECT_EQ(CanonicalFilePath(nullptr, huge.data(), huge.size(), out, 64), 0u);
    // A name without its NUL is read only as far as its length says.
    const wchar_t unterminated[] = {L'C', L':', L'\\', L'a', L'b'};
    EXPECT_EQ(Canonical(nullptr, std::wstring(unterminated, 4)), L"C:\\a");
    // The image of a process start is a file name like any other.
    std::wstring nt = L"\\??\\" + Upper(m_file);
    wchar_t image[NAMES_MAX_CHARS + 1];
    size_t n = CanonicalImagePath(nt.data(), nt.size(), image, NAMES_MAX_CHARS + 1);
    EXPECT_TRUE(SameName(std::wstring(image, n), m_file));
}

namespace {

struct SetDeleter {
    void operator()(RuleSet* set) const { FreeRuleSet(set); }
};

std::wstring UserSid()
{
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    unsigned char buffer[256];
    DWORD got = 0;
    std::wstring text;
    if (token && GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &got)) {
        wchar_t* sid = nullptr;
        if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) {
            text = sid;
            LocalFree(sid);
        }
    }
    if (token)
        CloseHandle(token);
    return text;
}

std::wstring KeyName(HKEY key)
{
    wchar_t out[NAMES_MAX_CHARS + 1];
    return std::wstring(out, CanonicalKeyPath(key, out, NAMES_MAX_CHARS + 1));
}

} // namespace

// A key opened relative to another has its full kernel name, and a rule in
// each spelling the rule editor or the shipped rule file uses matches it.
TEST(CanonicalKey, KeysHaveTheirFullKernelNameAndEverySpellingMatchesIt)
{
    const std::wstring sid = UserSid();
    ASSERT_FALSE(sid.empty());
    const wchar_t* subPath = L"Software\\Harrowmere names test";
    HKEY parent = nullptr, child = nullptr, viaUsers = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, subPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &parent, nullptr), 0);
    ASSERT_EQ(RegCreateKeyExW(parent, L"Child \x0531", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr), 0);
    std::wstring usersPath = sid + L"\\" + subPath + L"\\child \x0561";
    ASSERT_EQ(RegOpenKeyExW(HKEY_USERS, usersPath.c_str(), 0, KEY_READ, &viaUsers), 0);

    const std::wstring expected = L"\\REGISTRY\\USER\\" + sid + L"\\" + subPath + L"\\Child \x0531";
    const std::wstring relative = KeyName(child), throughUsers = KeyName(viaUsers);
    EXPECT_TRUE(SameName(relative, expected)) << testing::PrintToString(relative);
    EXPECT_TRUE(SameName(throughUsers, expected)) << testing::PrintToString(throughUsers);

    const std::wstring rules[] = {
        L"HKEY_CURRENT_USER\\Software\\Harrowmere names test\\*",
        L"HKCU\\software\\harrowmere names test\\child \x0561",
        L"HKEY_USERS\\" + sid + L"\\Software\\Harrowmere names test\\*",
        L"\\REGISTRY\\USER\\*\\Software\\Harrowmere names test\\*",
    };
    for (const std::wstring& pattern : rules) {
        std::unique_ptr<RuleSet, SetDeleter> set(NewRuleSet());
        PARAM_LIST* params = BuildParamList(1, "w*", pattern.c_str());
        uint32_t id = CopyRuleInto(set->entries[0], RuleAction::Reject, RuleLog::Log, 0, 0, L"", params)->id;
        std::vector<uint8_t> image = BuildRuleImage(set.get());
        std::vector<wchar_t> scratch(KEY_SPELLING_SCRATCH_CHARS(relative.size(), sid.size()));
        uint32_t got = 0;
        EXPECT_EQ(MatchKeyOperation(image.data(), static_cast<uint32_t>(image.size()), nullptr, relative.c_str(), L"v",
                                    sid.c_str(), scratch.data(), static_cast<uint32_t>(scratch.size()), &got),
                  1)
            << testing::PrintToString(pattern);
        EXPECT_EQ(got, id);
    }
    EXPECT_EQ(CanonicalKeyPath(nullptr, nullptr, 0), 0u);
    RegCloseKey(viaUsers);
    RegCloseKey(child);
    RegDeleteKeyW(parent, L"Child \x0531");
    RegCloseKey(parent);
    RegDeleteKeyW(HKEY_CURRENT_USER, subPath);
}
