// The path rules for names that arrive over the network (a manifest's "Name"
// and "LocalPath", a feed's picture name).
#include "net/SafeName.h"

#include <gtest/gtest.h>

namespace {

TEST(SafeName, NamesThatLeaveTheirFolderAreRefused)
{
    for (const wchar_t* name : { L"a.dll", L"新文件.txt", L"console.txt", L"a b", L"..a" })
        EXPECT_TRUE(IsPlainFileName(name)) << name;
    for (const wchar_t* name : { L"", L".", L"..", L"...", L"..\\Harrowmere.exe", L"a\\b", L"a/b", L"C:x",
                                 L"file.txt:stream", L"\\\\server\\share", L"a*", L"a.", L"a ", L"CON", L"nul.txt",
                                 L"LPT9.log", L"a\tb", L"CON .txt", L"nul  ", L"com\u00B9.log", L"LPT\u00B3" })
        EXPECT_FALSE(IsPlainFileName(name)) << name;
    for (const wchar_t* folder : { L"", L"sub", L"sub\\deeper", L"sub\\" })
        EXPECT_TRUE(IsRelativeFolder(folder)) << folder;
    for (const wchar_t* folder : { L"..", L"sub\\..\\..", L"\\Windows", L"C:\\Windows", L"C:", L"\\\\srv\\share",
                                   L"sub\\\\x", L"sub/x", L".\\sub" })
        EXPECT_FALSE(IsRelativeFolder(folder)) << folder;
}

} // namespace
