// The update manifest: its format, the path rules for names from the
// network, the checksum and the comparison with installed files, and the
// start-up check, over real files in a scratch program folder.
#include "update/Manifest.h"

#include "update/SafeName.h"
#include "update/UpdaterLaunch.h"
#include "update/UpdateTestKit.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(Manifest, DocumentOutcomesAndEntries)
{
    const struct {
        const char* xml;
        int result;
        size_t entries;
    } cases[] = {
        { "", MANIFEST_UNREADABLE, 0 },
        { "<Harrowmere_Update><FileList>", MANIFEST_UNREADABLE, 0 },
        { "<?xml version=\"1.0\"?><!-- nothing -->", MANIFEST_NO_ELEMENT, 0 },
        { "<harrowmere_update><FileList><File/></FileList></harrowmere_update>", MANIFEST_WRONG_ROOT, 0 },
        { "<Other/><Harrowmere_Update><FileList><File/></FileList></Harrowmere_Update>", MANIFEST_WRONG_ROOT, 0 },
        { "<Harrowmere_Update><Files/></Harrowmere_Update>", MANIFEST_NO_FILE_LIST, 0 },
        // Any element inside FileList is an entry; text and comments are not.
        { "<Harrowmere_Update><FileList><File/>text<!-- c --><Item/><x><y/></x></FileList>"
          "<FileList><File/></FileList></Harrowmere_Update>",
          MANIFEST_OK, 3 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        std::vector<ManifestEntry> entries;
        EXPECT_EQ(c.result, ParseManifest(c.xml, strlen(c.xml), &entries));
        EXPECT_EQ(c.entries, entries.size());
    }
}

TEST(Manifest, NumbersReadLikeA32BitStrtol)
{
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        { "4294967295", INT32_MAX }, { "-1", -1 }, { "  42", 42 }, { "+7", 7 },
        { "abc", 0 },                { "", 0 },    { "12abc", 12 }, { "-99999999999", INT32_MIN },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.value, ParseDecimal32(c.text)) << c.text;
}

TEST(Manifest, Crc32OfKnownData)
{
    EXPECT_EQ(0xCBF43926u, Crc32("123456789", 9));
    EXPECT_EQ(0u, Crc32("", 0));
    EXPECT_EQ(Crc32("123456789", 9), Crc32("6789", 4, Crc32("12345", 5)));
}

TEST(Manifest, NamesThatLeaveTheirFolderAreRefused)
{
    for (const wchar_t* name : { L"a.dll", L"Harrowmere.exe", L"新文件.txt", L"console.txt", L"a b", L"..a" })
        EXPECT_TRUE(IsPlainFileName(name)) << name;
    for (const wchar_t* name : { L"", L".", L"..", L"...", L"..\\Harrowmere.exe", L"a\\b", L"a/b", L"C:x",
                                 L"file.txt:stream", L"\\\\server\\share", L"a*", L"a.", L"a ", L"CON", L"nul.txt",
                                 L"com1", L"LPT9.log", L"a\tb" })
        EXPECT_FALSE(IsPlainFileName(name)) << name;
    for (const wchar_t* folder : { L"", L"sub", L"sub\\deeper", L"sub\\" })
        EXPECT_TRUE(IsRelativeFolder(folder)) << folder;
    for (const wchar_t* folder : { L"..", L"sub\\..\\..", L"\\Windows", L"C:\\Windows", L"C:", L"\\\\srv\\share",
                                   L"sub\\\\x", L"sub/x", L".\\sub", L"sub\\." })
        EXPECT_FALSE(IsRelativeFolder(folder)) << folder;
}

ManifestEntry MakeEntry(const char* name, const char* localPath, const char* size, const char* crc)
{
    ManifestEntry e;
    if (name)
        e.name = name;
    if (localPath)
        e.localPath = localPath;
    if (size)
        e.size = size;
    if (crc)
        e.crc = crc;
    return e;
}

TEST(Manifest, EntryPaths)
{
    const std::wstring folder = L"C:\\Program Files\\Harrowmere\\";
    const struct {
        const char* name;
        const char* localPath;
        int result;
        const wchar_t* installed;
        const wchar_t* download;
    } cases[] = {
        { "a.dll", "", ENTRY_PATH_OK, L"C:\\Program Files\\Harrowmere\\a.dll",
          L"C:\\Program Files\\Harrowmere\\Temp\\a.dll" },
        { "a.dll", "plugins\\x", ENTRY_PATH_OK, L"C:\\Program Files\\Harrowmere\\plugins\\x\\a.dll",
          L"C:\\Program Files\\Harrowmere\\Temp\\plugins\\x\\a.dll" },
        { "a.dll", nullptr, ENTRY_NO_LOCAL_PATH, L"", L"" },
        { nullptr, nullptr, ENTRY_NO_LOCAL_PATH, L"", L"" },
        { nullptr, "", ENTRY_NO_NAME, L"", L"" },
        { "..\\Harrowmere.exe", "", ENTRY_UNSAFE_PATH, L"", L"" },
        { "a.dll", "..\\..", ENTRY_UNSAFE_PATH, L"", L"" },
        { "a.dll", "C:\\Windows", ENTRY_UNSAFE_PATH, L"", L"" },
        { "a.dll", "\\\\srv\\share", ENTRY_UNSAFE_PATH, L"", L"" },
        { "", "", ENTRY_UNSAFE_PATH, L"", L"" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.name ? c.name : "(none)") << " in "
                                        << (c.localPath ? c.localPath : "(none)"));
        ManifestEntry e = MakeEntry(c.name, c.localPath, "1", "1");
        std::wstring installed, download;
        EXPECT_EQ(c.result, InstalledPath(e, folder, &installed));
        EXPECT_EQ(c.result, DownloadPath(e, folder, &download));
        if (c.result == ENTRY_PATH_OK) {
            EXPECT_EQ(c.installed, installed);
            EXPECT_EQ(c.download, download);
        }
    }
}

TEST(Manifest, ChecksumsCompareAs32BitPatterns)
{
    kit::ScratchFolder dir(L"crc");
    const std::wstring max = dir / L"max.bin", all = dir / L"all.bin";
    ASSERT_TRUE(kit::WriteFile(max, kit::WithCrc("data", 0x7FFFFFFF)));
    ASSERT_TRUE(kit::WriteFile(all, kit::WithCrc("data", 0xFFFFFFFF)));
    const struct {
        const std::wstring* file;
        const char* crc;
        int result;
    } cases[] = {
        { &max, "4294967295", 0 }, // clamps to 2147483647 = 0x7FFFFFFF
        { &max, "2147483647", 0 },
        { &max, "-1", 1 },
        { &all, "-1", 0 },
        { &all, "4294967295", 1 },
        { &all, nullptr, -1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.crc ? c.crc : "(no Crc)");
        EXPECT_EQ(c.result, CheckCrc(MakeEntry("x", "", "8", c.crc), *c.file));
    }
}

TEST(Manifest, InstalledFileComparison)
{
    kit::ScratchFolder dir(L"compare");
    ASSERT_TRUE(kit::WriteFile(dir / L"empty.dat", ""));
    ASSERT_TRUE(kit::WriteFile(dir / L"same.dat", "same"));
    const std::string crcOfSame = std::to_string(kit::SignedCrc("same"));
    EXPECT_EQ(0, CompareInstalled(MakeEntry("empty.dat", "", "0", "0"), dir.Path())) << "empty file, size 0, CRC 0";
    EXPECT_EQ(0, CompareInstalled(MakeEntry("same.dat", "", "4", crcOfSame.c_str()), dir.Path()));
    EXPECT_EQ(1, CompareInstalled(MakeEntry("same.dat", "", "5", crcOfSame.c_str()), dir.Path()));
    EXPECT_EQ(1, CompareInstalled(MakeEntry("missing.dat", "", "0", "0"), dir.Path()));
    EXPECT_EQ(-1, CompareInstalled(MakeEntry("same.dat", "", nullptr, "0"), dir.Path()));

    // Held exclusively by someone else: it cannot be opened, so it differs.
    HANDLE held = CreateFileW((dir / L"same.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    int32_t size = 0;
    EXPECT_EQ(1, CheckSize(MakeEntry("same.dat", "", "4", "0"), dir / L"same.dat", &size));
    EXPECT_EQ(4, size);
    EXPECT_EQ(1, CompareInstalled(MakeEntry("same.dat", "", "4", crcOfSame.c_str()), dir.Path()));
    CloseHandle(held);
}

TEST(Manifest, StartUpCheck)
{
    const std::string same = "installed bytes";
    const std::string good = kit::Entry("same.dat", "", same, "http://x/");
    const std::string differs = kit::Entry("new.dat", "sub", "new bytes", "http://x/");
    const struct {
        const char* what;
        std::string manifest; // empty: no manifest file
        bool marker;
        bool pending;
    } cases[] = {
        { "no manifest", "", false, false },
        { "all up to date", kit::Manifest({ good }), false, false },
        { "a new file", kit::Manifest({ good, differs }), false, true },
        { "unreadable", "<Harrowmere_Update><FileList>", false, false },
        { "the updater already had its turn", kit::Manifest({ differs }), true, false },
        { "unsafe entries are skipped",
          kit::Manifest({ "<File Name=\"..\\evil\" LocalPath=\"\" Size=\"1\" Crc=\"1\"/>", good }), false, false },
        { "unsafe entry, then a new file",
          kit::Manifest({ "<File Name=\"x\" LocalPath=\"C:\\\" Size=\"1\" Crc=\"1\"/>", differs }), false, true },
        { "an entry without Size ends the check",
          kit::Manifest({ "<File Name=\"same.dat\" LocalPath=\"\" Crc=\"1\"/>", differs }), false, false },
        { "an entry without Name ends the check", kit::Manifest({ "<File LocalPath=\"\" Size=\"1\" Crc=\"1\"/>", differs }),
          false, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        kit::ScratchFolder dir(L"pending");
        ASSERT_TRUE(kit::WriteFile(dir / L"same.dat", same));
        if (!c.manifest.empty()) {
            ASSERT_TRUE(kit::WriteFile(ManifestPath(dir.Path()), c.manifest));
        }
        if (c.marker) {
            ASSERT_TRUE(kit::WriteFile(HandOverMarkerPath(dir.Path()), ""));
        }
        EXPECT_EQ(c.pending, IsUpdatePending(dir.Path()));
    }
}

TEST(Manifest, FailedHandOverLetsTheGuardStart)
{
    // No updater in the folder: the hand-over fails and leaves no marker,
    // so the guard starts itself and the update stays pending.
    kit::ScratchFolder dir(L"launch");
    ASSERT_TRUE(kit::WriteFile(ManifestPath(dir.Path()), kit::Manifest({ kit::Entry("a", "", "a", "http://x/") })));
    ASSERT_TRUE(IsUpdatePending(dir.Path()));
    EXPECT_EQ(-1, LaunchUpdater(dir.Path()));
    EXPECT_FALSE(kit::Exists(HandOverMarkerPath(dir.Path())));
    EXPECT_TRUE(IsUpdatePending(dir.Path()));
}

} // namespace
