#include "base/PathString.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Case {
    const wchar_t* input;
    const wchar_t* expected;
};

std::wstring Expand(const wchar_t* text)
{
    wchar_t buffer[1024] = {};
    ExpandEnvironmentStringsW(text, buffer, 1024);
    return buffer;
}

} // namespace

TEST(PathString, DefaultCleanUnquotesExpandsAndCanonicalizes)
{
    CPathString path(L"  \"%SystemRoot%\\system32\\..\\notepad.exe\"  ", CPathString::CLEAN_DEFAULT);
    EXPECT_EQ(Expand(L"%SystemRoot%") + L"\\notepad.exe", path.str());
}

TEST(PathString, DefaultCleanKeepsSlashesAndLetterCase)
{
    CPathString path(L" C:/Some/../DIR/File.EXE ", CPathString::CLEAN_DEFAULT);
    EXPECT_EQ(L"C:/Some/../DIR/File.EXE", path.str());
}

TEST(PathString, StripLongPrefixHandlesDrivesUncAndVolumes)
{
    const Case cases[] = {
        {L"\\\\?\\c:", L"c:"},                     // exactly six characters
        {L"\\\\?\\c", L"\\\\?\\c"},                // five: unchanged
        {L"\\\\?\\C:\\x\\y", L"C:\\x\\y"},
        {L"\\\\?\\unc\\srv\\s", L"\\\\srv\\s"},
        {L"\\\\?\\UNC\\server\\share\\f", L"\\\\server\\share\\f"},
        {L"\\\\?\\unc", L"\\\\?\\unc"},            // too short for UNC
        {L"\\\\?\\1:\\x", L"\\\\?\\1:\\x"},        // not a drive letter
        {L"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\x",
         L"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\x"},
        {L"\\\\.\\C:\\x", L"\\\\.\\C:\\x"},        // device prefix is not ours to strip
        {L"//?/C:/x", L"//?/C:/x"},
    };
    for (const Case& c : cases) {
        CPathString path(c.input);
        path.StripLongPrefix();
        EXPECT_EQ(c.expected, path.str()) << "input " << std::wstring(c.input).size();
    }
}

TEST(PathString, CanonicalizeOnlyActsOnBackslashDot)
{
    const Case cases[] = {
        {L"C:/a/../b", L"C:/a/../b"},
        {L"C:\\a\\..\\b", L"C:\\b"},
        {L"C:\\a\\.\\b", L"C:\\a\\b"},
        {L"C:\\a\\b", L"C:\\a\\b"},
    };
    for (const Case& c : cases) {
        CPathString path(c.input);
        path.Canonicalize();
        EXPECT_EQ(c.expected, path.str()) << c.input;
    }
}

TEST(PathString, CanonicalizeOfAPathLongerThanMaxPathKeepsItWhole)
{
    // Some systems' shell function refuses such a path (the text stays as it
    // is), others canonicalize it; either way nothing is cut or garbled.
    std::wstring folder = L"C:\\" + std::wstring(300, L'a');
    CPathString path(folder + L"\\.\\b");
    path.Canonicalize();
    EXPECT_TRUE(path.str() == folder + L"\\.\\b" || path.str() == folder + L"\\b") << path.length();
}

TEST(PathString, UnquoteNeedsQuotesAtBothEnds)
{
    const Case cases[] = {
        {L"\"", L""},
        {L"\"\"", L""},
        {L"\"abc", L"\"abc"},
        {L"abc\"", L"abc\""},
        {L"\"a b\"", L"a b"},
        {L"", L""},
    };
    for (const Case& c : cases) {
        CPathString path(c.input);
        path.Unquote();
        EXPECT_EQ(c.expected, path.str()) << c.input;
    }
}

TEST(PathString, TrimRemovesWhiteSpaceRunsAtBothEnds)
{
    const Case cases[] = {
        {L" \t a b \r\n", L"a b"},
        {L"ab  ", L"ab"},
        {L"  ab", L"ab"},
        {L"   ", L""},
        {L"a", L"a"},
    };
    for (const Case& c : cases) {
        CPathString path(c.input);
        path.Trim();
        EXPECT_EQ(c.expected, path.str()) << c.input;
    }
}

TEST(PathString, AppendPutsOneBackslashBetweenTheParts)
{
    CPathString dir(L"C:\\dir");
    EXPECT_EQ(L"C:\\dir\\", CPathString(dir).Append(L"").str());
    EXPECT_EQ(L"C:\\dir\\", CPathString(dir).Append(static_cast<const wchar_t*>(nullptr)).str());
    EXPECT_EQ(L"C:\\dir\\x", CPathString(dir).Append(L"x").str());
    EXPECT_EQ(L"C:\\dir\\x", CPathString(L"C:\\dir\\").Append(L"x").str());
    EXPECT_EQ(L"C:\\dir\\x\\y.log", CPathString(dir).Append(L"x").Append(L"y.log").str());
    EXPECT_EQ(L"C:\\dir\\", CPathString(L"C:\\dir\\").AddBackslash().str());
}

TEST(PathString, CombineLeavesItsSourceAlone)
{
    CPathString dir(L"C:\\dir");
    CPathString file = CPathString::Combine(dir, L"Harrowmere.log");
    EXPECT_EQ(L"C:\\dir\\Harrowmere.log", file.str());
    EXPECT_EQ(L"C:\\dir", dir.str());
}

TEST(PathString, FolderOfKeepsTheTrailingBackslash)
{
    const Case cases[] = {
        {L"C:\\dir\\file.exe", L"C:\\dir\\"},
        {L"C:\\dir\\sub\\", L"C:\\dir\\"}, // the last component counts as the file name
        {L"file.exe", L""},
        {L"", L""},
        {L"\\\\?\\C:\\dir\\f.txt", L"C:\\dir\\"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, CPathString::FolderOf(c.input).str()) << c.input;
}

TEST(PathString, CleanRunsStepsInFixedOrder)
{
    // Arguments go before the quotes: unquoting first would leave them.
    CPathString quoted(L"\"C:\\Program Files\\x.exe\" -arg /b",
                       CPathString::CLEAN_UNQUOTE | CPathString::CLEAN_REMOVE_ARGS);
    EXPECT_EQ(L"C:\\Program Files\\x.exe", quoted.str());

    // Leading blanks are trimmed before the arguments are looked for.
    CPathString blanks(L"   \"C:\\a b\\x.exe\" /s",
                       CPathString::CLEAN_TRIM | CPathString::CLEAN_UNQUOTE | CPathString::CLEAN_REMOVE_ARGS);
    EXPECT_EQ(L"C:\\a b\\x.exe", blanks.str());

    // Slashes are turned after canonicalization, so /../ survives it.
    CPathString slashes(L"C:/a/../b", CPathString::CLEAN_CANONICALIZE | CPathString::CLEAN_SLASHES);
    EXPECT_EQ(L"C:\\a\\..\\b", slashes.str());

    // Trim inside the quotes only with its own flag.
    EXPECT_EQ(L" x ", CPathString(L"\" x \"", CPathString::CLEAN_UNQUOTE).str());
    EXPECT_EQ(L"x", CPathString(L"\" x \"", CPathString::CLEAN_UNQUOTE | CPathString::CLEAN_TRIM_QUOTED).str());
}

TEST(PathString, IconLocationLosesItsIndex)
{
    CPathString path(L"C:\\windows\\system32\\shell32.dll,-12", CPathString::CLEAN_ICON_LOCATION);
    EXPECT_EQ(L"C:\\windows\\system32\\shell32.dll", path.str());
}

TEST(PathString, SlashesToBackslashesCountsReplacements)
{
    CPathString path(L"C:/a/b\\c/");
    EXPECT_EQ(3, path.SlashesToBackslashes());
    EXPECT_EQ(L"C:\\a\\b\\c\\", path.str());
    EXPECT_EQ(0, path.SlashesToBackslashes());
}

TEST(PathString, MakePrettyLowersAnAllCapitalsPathAfterItsFirstCharacter)
{
    // The first character keeps its case, as the shell function does it.
    EXPECT_EQ(L"C:\\windows\\system", CPathString(L"C:\\WINDOWS\\SYSTEM").MakePretty().str());
    EXPECT_EQ(L"C:\\Windows\\System", CPathString(L"C:\\Windows\\System").MakePretty().str());
}

TEST(PathString, ExpandEnvironmentGrowsPastTheOriginalLength)
{
    std::wstring value(600, L'v');
    ASSERT_TRUE(SetEnvironmentVariableW(L"HM_PATH_TEST_LONG", value.c_str()));
    CPathString path(L"%HM_PATH_TEST_LONG%\\x");
    path.ExpandEnvironment();
    EXPECT_EQ(value + L"\\x", path.str());
    SetEnvironmentVariableW(L"HM_PATH_TEST_LONG", nullptr);

    CPathString unknown(L"%HM_PATH_TEST_NO_SUCH_VARIABLE%\\x");
    unknown.ExpandEnvironment();
    EXPECT_EQ(L"%HM_PATH_TEST_NO_SUCH_VARIABLE%\\x", unknown.str());
}

TEST(PathString, ModulePathNamesTheRunningProgram)
{
    CPathString module = CPathString::ModulePath();
    ASSERT_FALSE(module.empty());
    std::wstring name = module.str().substr(module.str().rfind(L'\\') + 1);
    EXPECT_EQ(0, lstrcmpiW(name.c_str(), L"hm_unit_tests.exe")) << module.str();

    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(CPathString::GetAttributes(module, &data));
    EXPECT_GT(data.nFileSizeLow, 0u);
    EXPECT_EQ(0u, data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);

    CPathString folder = CPathString::FolderOf(module);
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(L'\\', folder.str().back());
    EXPECT_EQ(module.str(), CPathString::Combine(folder, name.c_str()).str());
}

TEST(PathString, GetAttributesOfAMissingFileIsFalseAndZeroed)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    memset(&data, 0xCC, sizeof(data));
    CPathString missing = CPathString::Combine(CPathString::FolderOf(CPathString::ModulePath()),
                                               L"no-such-file-hm.bin");
    EXPECT_FALSE(CPathString::GetAttributes(missing, &data));
    EXPECT_EQ(0u, data.dwFileAttributes);
    EXPECT_EQ(0u, data.nFileSizeLow);
}
