// The updater's install pass and wait on real files, and the automatic
// update schedule's rule (its registry value is seen through the update page).
#include "update/UpdateInstall.h"

#include "update/Manifest.h"
#include "update/UpdateSchedule.h"
#include "update/UpdaterLaunch.h"
#include "update/UpdateTestKit.h"

#include <gtest/gtest.h>

namespace {

// How an installed file is held while the updater runs.
enum class Held { No, Loaded, Locked };

// A handle like the one a loaded program or DLL keeps: it may be renamed but
// not written (Loaded), or not even renamed (Locked).
HANDLE Hold(const std::wstring& path, Held held)
{
    if (held == Held::No)
        return INVALID_HANDLE_VALUE;
    const DWORD share = FILE_SHARE_READ | (held == Held::Loaded ? FILE_SHARE_DELETE : 0);
    return CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST(UpdateInstall, AllFilesOrNone)
{
    const std::string fresh = "new file", good = "good", bad = "bad";
    const struct {
        const char* what;
        std::string corruptCopy; // the download of corrupt.dat
        const char* unsafeFolder; // a further entry with this LocalPath, or none
        Held held;                // how replace.dat is held
        bool installed;
    } cases[] = {
        { "every copy good", bad, nullptr, Held::No, true },
        { "a loaded file is renamed aside and replaced", bad, nullptr, Held::Loaded, true },
        { "one copy does not match its entry", "not " + bad, nullptr, Held::No, false },
        { "one name leaves its folder", bad, "..", Held::No, false },
        { "a file that cannot be moved rolls the others back", bad, nullptr, Held::Locked, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        kit::ScratchFolder dir(L"install");
        ASSERT_TRUE(kit::WriteFile(dir / L"corrupt.dat", "old"));
        ASSERT_TRUE(kit::WriteFile(dir / L"replace.dat", "old"));
        ASSERT_TRUE(kit::WriteFile(dir / L"Temp\\plugins\\deep\\new.dat", fresh));
        ASSERT_TRUE(kit::WriteFile(dir / L"Temp\\corrupt.dat", c.corruptCopy));
        ASSERT_TRUE(kit::WriteFile(dir / L"Temp\\replace.dat", good));
        ASSERT_TRUE(kit::WriteFile(HandOverMarkerPath(dir.Path()), ""));
        std::vector<std::string> entries = { kit::Entry("new.dat", "plugins\\deep", fresh, ""),
                                             kit::Entry("corrupt.dat", "", bad, ""),
                                             kit::Entry("replace.dat", "", good, "") };
        if (c.unsafeFolder)
            entries.push_back(kit::Entry("outside.dat", c.unsafeFolder, fresh, ""));
        ASSERT_TRUE(kit::WriteSigned(ManifestPath(dir.Path()), kit::Manifest(entries)));
        HANDLE held = Hold(dir / L"replace.dat", c.held);

        const INSTALL_RESULT result = InstallUpdate(dir.Path());
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        EXPECT_TRUE(result.manifestFound);
        EXPECT_EQ(c.installed, result.completed);
        EXPECT_EQ(c.installed ? 3 : 0, result.installed);
        EXPECT_EQ(c.installed ? fresh : "<missing>", kit::ReadFile(dir / L"plugins\\deep\\new.dat"));
        EXPECT_EQ(c.installed ? bad : "old", kit::ReadFile(dir / L"corrupt.dat"));
        EXPECT_EQ(c.installed ? good : "old", kit::ReadFile(dir / L"replace.dat"));
        EXPECT_FALSE(kit::Exists(dir / L"..\\outside.dat"));
        // Copies, manifest, signature and marker are gone; a renamed file
        // still held open waits for the next restart of the system.
        for (const std::wstring& left : kit::FilesUnder(dir / L"Temp"))
            EXPECT_TRUE(c.held == Held::Loaded && left.size() > 4 && left.substr(left.size() - 4) == L".old") << left;
        EXPECT_FALSE(IsUpdatePending(dir.Path()));
    }
}

TEST(UpdateInstall, ManifestStaysOnlyWhenItCannotBeRead)
{
    const std::string copy = "copy";
    const struct {
        const char* what;
        std::string manifest;
        bool manifestStays;
        bool installed;
    } cases[] = {
        { "no FileList", "<Harrowmere_Update/>", true, false },
        { "not XML", "<Harrowmere_Update>", true, false },
        // The entry without Name refuses the update; the manifest goes
        // anyway, so the guard does not hand over again and again.
        { "entry without Name",
          kit::Manifest({ kit::Entry("a.dat", "", copy, ""), "<File LocalPath=\"\" Size=\"1\" Crc=\"1\"/>",
                          kit::Entry("b.dat", "", copy, "") }),
          false, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        kit::ScratchFolder dir(L"install_end");
        ASSERT_TRUE(kit::WriteFile(dir / L"Temp\\a.dat", copy));
        ASSERT_TRUE(kit::WriteSigned(ManifestPath(dir.Path()), c.manifest));
        InstallUpdate(dir.Path());
        EXPECT_EQ(c.manifestStays, kit::Exists(ManifestPath(dir.Path())));
        EXPECT_EQ(c.installed, kit::Exists(dir / L"a.dat"));
        EXPECT_FALSE(IsUpdatePending(dir.Path()));
    }
}

TEST(UpdateInstall, WaitsAtMost99TimesForTheGuard)
{
    const struct {
        int presentFor;
        int sleeps;
    } cases[] = { { 0, 0 }, { 3, 3 }, { 1000, 99 } };
    for (const auto& c : cases) {
        int asked = 0, slept = 0;
        EXPECT_EQ(c.sleeps, WaitForMainProgram([&] { return asked++ < c.presentFor; }, [&] { ++slept; }));
        EXPECT_EQ(c.sleeps, slept);
    }
}

TEST(UpdateSchedule, DueAfterFiveDaysOrWithoutAGoodStoredTime)
{
    const int64_t now = 1700000000, day = 86400;
    auto stored = [](int64_t t) {
        std::vector<uint8_t> bytes;
        for (int i = 0; i < 8; ++i)
            bytes.push_back(static_cast<uint8_t>(static_cast<uint64_t>(t) >> (8 * i)));
        return bytes;
    };
    const struct {
        const char* what;
        bool present;
        DWORD type;
        std::vector<uint8_t> data;
        bool due;
    } cases[] = {
        { "4 days 23 hours", true, REG_BINARY, stored(now - 5 * day + 3600), false },
        { "just now", true, REG_BINARY, stored(now), false },
        { "5 days", true, REG_BINARY, stored(now - 5 * day), true },
        { "missing", false, REG_NONE, {}, true },
        { "a DWORD", true, REG_DWORD, { 1, 0, 0, 0 }, true },
        { "4 bytes of binary", true, REG_BINARY, { 1, 0, 0, 0 }, true },
        { "in the future", true, REG_BINARY, stored(now + 60), true },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.due, IsAutoUpdateDue(c.present, c.type, c.data, now)) << c.what;
}

} // namespace
