// The updater's install pass and wait on real files, and the automatic
// update schedule's rule (its registry value is seen through the update page).
#include "update/UpdateInstall.h"

#include "update/Manifest.h"
#include "update/UpdateSchedule.h"
#include "update/UpdaterLaunch.h"
#include "update/UpdateTestKit.h"

#include <gtest/gtest.h>

namespace {

TEST(UpdateInstall, InstallsGoodCopiesOnlyAndCleansUp)
{
    kit::ScratchFolder dir(L"install");
    const std::string fresh = "new file", good = "good", bad = "bad";
    ASSERT_TRUE(kit::WriteFile(dir / L"replace.dat", "old"));
    ASSERT_TRUE(kit::WriteFile(dir / L"corrupt.dat", "old"));
    ASSERT_TRUE(kit::WriteFile(dir / L"Temp\\plugins\\deep\\new.dat", fresh));
    ASSERT_TRUE(kit::WriteFile(dir / L"Temp\\replace.dat", good));
    ASSERT_TRUE(kit::WriteFile(dir / L"Temp\\corrupt.dat", "not " + bad));
    ASSERT_TRUE(kit::WriteFile(dir / L"Temp\\outside.dat", fresh));
    ASSERT_TRUE(kit::WriteFile(HandOverMarkerPath(dir.Path()), ""));
    ASSERT_TRUE(kit::WriteFile(ManifestPath(dir.Path()),
                               kit::Manifest({
                                   kit::Entry("new.dat", "plugins\\deep", fresh, ""),
                                   kit::Entry("outside.dat", "..", fresh, ""),
                                   kit::Entry("replace.dat", "", good, ""),
                                   kit::Entry("corrupt.dat", "", bad, ""),
                                   kit::Entry("absent.dat", "", "absent", ""),
                               })));
    const INSTALL_RESULT result = InstallUpdate(dir.Path());
    EXPECT_TRUE(result.completed);
    EXPECT_EQ(2, result.installed);
    EXPECT_EQ(1, result.rejected);
    EXPECT_EQ(1, result.skipped);
    EXPECT_EQ(fresh, kit::ReadFile(dir / L"plugins\\deep\\new.dat")) << "its folder is created";
    EXPECT_EQ(good, kit::ReadFile(dir / L"replace.dat"));
    EXPECT_EQ("old", kit::ReadFile(dir / L"corrupt.dat")) << "a wrong checksum is not installed";
    EXPECT_FALSE(kit::Exists(dir / L"..\\outside.dat"));
    EXPECT_FALSE(kit::Exists(dir / L"absent.dat"));
    // Only the skipped entry's copy stays; manifest and marker are gone.
    EXPECT_EQ(std::vector<std::wstring>{ L"outside.dat" }, kit::FilesUnder(dir / L"Temp"));
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
        // The visit ends at the entry without Name; the manifest goes anyway,
        // so the guard does not hand over again and again.
        { "entry without Name",
          kit::Manifest({ kit::Entry("a.dat", "", copy, ""), "<File LocalPath=\"\" Size=\"1\" Crc=\"1\"/>",
                          kit::Entry("b.dat", "", copy, "") }),
          false, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        kit::ScratchFolder dir(L"install_end");
        ASSERT_TRUE(kit::WriteFile(dir / L"Temp\\a.dat", copy));
        ASSERT_TRUE(kit::WriteFile(ManifestPath(dir.Path()), c.manifest));
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
