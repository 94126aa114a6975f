// The update manifest: its format, the checksum and the comparison with
// installed files, and the start-up check, over real files in a scratch
// program folder.
#include "update/Manifest.h"

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
        // Cut off inside a UTF-8 sequence (the parser once read past the end here).
        { "<Harrowmere_Update><FileList><File Name=\"a\xF0", MANIFEST_UNREADABLE, 0 },
        { "<?xml version=\"1.0\"?><!-- nothing -->", MANIFEST_NO_ELEMENT, 0 },
        { "<harrowmere_update><FileList><File/></FileList></harrowmere_update>", MANIFEST_WRONG_ROOT, 0 },
        { "<Other/><Harrowmere_Update><FileList><File/></FileList></Harrowmere_Update>", MANIFEST_WRONG_ROOT, 0 },
        { "<Harrowmere_Update><Files/></Harrowmere_Update>", MANIFEST_NO_FILE_LIST, 0 },
        // Any element inside the first FileList is an entry; text and comments are not.
        { "<Harrowmere_Update><FileList><File/>text<!-- c --><Item/><x><y/></x></FileList>"
          "<FileList><File/></FileList></Harrowmere_Update>",
          MANIFEST_OK, 3 },
    };
    for (const auto& c : cases) {
        std::vector<ManifestEntry> entries;
        EXPECT_EQ(c.result, ParseManifest(c.xml, strlen(c.xml), &entries)) << c.xml;
        EXPECT_EQ(c.entries, entries.size()) << c.xml;
    }
    const struct {
        const char* text;
        int32_t value;
    } numbers[] = { { "4294967295", INT32_MAX }, { "-1", -1 }, { "  42", 42 }, { "+7", 7 },
                    { "abc", 0 }, { "12abc", 12 }, { "-99999999999", INT32_MIN } };
    for (const auto& n : numbers)
        EXPECT_EQ(n.value, ParseDecimal32(n.text)) << n.text;
    EXPECT_EQ(0xCBF43926u, Crc32("123456789", 9));
    EXPECT_EQ(Crc32("123456789", 9), Crc32("6789", 4, Crc32("12345", 5)));
}

ManifestEntry MakeEntry(const char* name, const char* localPath, const char* size = "1", const char* crc = "1")
{
    ManifestEntry e;
    auto set = [](std::optional<std::string>& field, const char* value) {
        if (value)
            field = value;
    };
    set(e.name, name);
    set(e.localPath, localPath);
    set(e.size, size);
    set(e.crc, crc);
    return e;
}

TEST(Manifest, EntryPaths)
{
    const std::wstring folder = L"C:\\P\\";
    const struct {
        ManifestEntry entry;
        int result;
        const wchar_t* installed;
        const wchar_t* download;
    } cases[] = {
        { MakeEntry("a.dll", ""), ENTRY_PATH_OK, L"C:\\P\\a.dll", L"C:\\P\\Temp\\a.dll" },
        { MakeEntry("a.dll", "sub\\x"), ENTRY_PATH_OK, L"C:\\P\\sub\\x\\a.dll", L"C:\\P\\Temp\\sub\\x\\a.dll" },
        { MakeEntry(nullptr, nullptr), ENTRY_NO_LOCAL_PATH, L"", L"" },
        { MakeEntry(nullptr, ""), ENTRY_NO_NAME, L"", L"" },
        { MakeEntry("..\\Harrowmere.exe", ""), ENTRY_UNSAFE_PATH, L"", L"" },
        { MakeEntry("a.dll", "C:\\Windows"), ENTRY_UNSAFE_PATH, L"", L"" },
    };
    for (const auto& c : cases) {
        std::wstring installed, download;
        EXPECT_EQ(c.result, InstalledPath(c.entry, folder, &installed)) << c.installed;
        EXPECT_EQ(c.result, DownloadPath(c.entry, folder, &download)) << c.download;
        EXPECT_EQ(c.installed, installed);
        EXPECT_EQ(c.download, download);
    }
}

TEST(Manifest, InstalledFileComparison)
{
    kit::ScratchFolder dir(L"compare");
    ASSERT_TRUE(kit::WriteFile(dir / L"max.bin", kit::WithCrc("data", 0x7FFFFFFF)));
    ASSERT_TRUE(kit::WriteFile(dir / L"all.bin", kit::WithCrc("data", 0xFFFFFFFF)));
    ASSERT_TRUE(kit::WriteFile(dir / L"empty.dat", ""));
    const struct {
        const char* name;
        const char* size;
        const char* crc;
        int result;
    } cases[] = {
        { "max.bin", "8", "4294967295", 0 }, // clamps to 2147483647 = 0x7FFFFFFF
        { "max.bin", "8", "-1", 1 },
        { "all.bin", "8", "-1", 0 },         // the 32-bit pattern 0xFFFFFFFF
        { "all.bin", "8", "4294967295", 1 },
        { "all.bin", "9", "-1", 1 },
        { "all.bin", "8", nullptr, -1 },
        { "all.bin", nullptr, "-1", -1 },
        { "empty.dat", "0", "0", 0 },        // the CRC-32 of no data is 0
        { "missing.dat", "0", "0", 1 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.result, CompareInstalled(MakeEntry(c.name, "", c.size, c.crc), dir.Path()))
            << c.name << " " << (c.size ? c.size : "-") << " " << (c.crc ? c.crc : "-");

    // Held exclusively by someone else: it cannot be opened, so it differs.
    HANDLE held = CreateFileW((dir / L"all.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(1, CompareInstalled(MakeEntry("all.bin", "", "8", "-1"), dir.Path()));
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
        { "unsafe entry skipped", kit::Manifest({ "<F Name=\"..\\e\" LocalPath=\"\" Size=\"1\" Crc=\"1\"/>", good }),
          false, false },
        { "unsafe entry, then a new file", kit::Manifest({ "<F Name=\"x\" LocalPath=\"C:\\\" Size=\"1\"/>", differs }),
          false, true },
        { "no Size ends the check", kit::Manifest({ "<F Name=\"same.dat\" LocalPath=\"\" Crc=\"1\"/>", differs }),
          false, false },
        { "no Name ends the check", kit::Manifest({ "<F LocalPath=\"\" Size=\"1\" Crc=\"1\"/>", differs }), false,
          false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        kit::ScratchFolder dir(L"pending");
        ASSERT_TRUE(kit::WriteFile(dir / L"same.dat", same));
        if (!c.manifest.empty()) {
            ASSERT_TRUE(kit::WriteSigned(ManifestPath(dir.Path()), c.manifest));
        }
        if (c.marker) {
            ASSERT_TRUE(kit::WriteFile(HandOverMarkerPath(dir.Path()), ""));
        }
        EXPECT_EQ(c.pending, IsUpdatePending(dir.Path()));
    }

    // Without an updater in the folder the hand-over fails and leaves no
    // marker: the guard starts itself and the update stays pending.
    kit::ScratchFolder dir(L"launch");
    ASSERT_TRUE(kit::WriteSigned(ManifestPath(dir.Path()), kit::Manifest({ differs })));
    EXPECT_EQ(-1, LaunchUpdater(dir.Path()));
    EXPECT_FALSE(kit::Exists(HandOverMarkerPath(dir.Path())));
    EXPECT_TRUE(IsUpdatePending(dir.Path()));
}

} // namespace
