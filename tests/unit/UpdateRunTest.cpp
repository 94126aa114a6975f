// One update run on its worker thread against the real local servers, in a
// scratch program folder: what is listed, fetched and marked, what a hostile
// or incomplete manifest leads to, and cancel.
#include "update/UpdateRun.h"

#include "base/Config.h"
#include "update/Manifest.h"
#include "update/UpdateTestKit.h"

#include <gtest/gtest.h>

namespace {

class UpdateRun : public ::testing::Test {
protected:
    UpdateRun() : m_dir(L"run"), m_places{ HKEY_CURRENT_USER, L"", L"", m_dir.Path() } {}

    // Publishes the manifest under a folder of its own and names it in the
    // settings file.
    void ServeManifest(const std::string& xml)
    {
        const std::string url = kit::Publish(Folder() + "UpdateInfo.xml", xml);
        ASSERT_TRUE(kit::WriteConfig(m_dir.Path(), url, "http://127.0.0.1:1/AD.xml"));
    }
    std::string Folder() const
    {
        static int serial = 0;
        return "run" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++serial) + "/";
    }

    // Runs to the end and returns the final view.
    UPDATE_VIEW RunToEnd()
    {
        CUpdateRun run(&m_config);
        run.SetTransferLimits(5000, 2);
        EXPECT_TRUE(run.Start());
        EXPECT_TRUE(run.Wait(60000));
        EXPECT_FALSE(run.IsAlive());
        return run.Snapshot();
    }

    kit::ScratchFolder m_dir;
    ConfigPlaces m_places;
    CConfig m_config{ m_places };
};

std::vector<UpdateRowState> States(const UPDATE_VIEW& view)
{
    std::vector<UpdateRowState> out;
    for (const UPDATE_ROW& row : view.rows)
        out.push_back(row.state);
    return out;
}

TEST_F(UpdateRun, FetchesWhatDiffersAndChecksEachDownload)
{
    REQUIRE_TEST_SERVERS();
    const std::string same = "already installed", fresh = std::string(5000, 'n'), good = "good copy";
    ASSERT_TRUE(kit::WriteFile(m_dir / L"same.dat", same));
    const std::string folder = Folder();
    ServeManifest(kit::Manifest({
        kit::Entry("same.dat", "", same, kit::Url("ERROR", "404/same.dat")),
        kit::Entry("new.dat", "plugins\\x", fresh, kit::Publish(folder + "new.dat", fresh), "Item"),
        kit::Entry("corrupt.dat", "", good, kit::Publish(folder + "corrupt.dat", "not the good copy")),
        // Prefix names get their own rows.
        kit::Entry("a.dll.bak", "", "bak", kit::Publish(folder + "a.dll.bak", "bak")),
        kit::Entry("a.dll", "", "dll", kit::Publish(folder + "a.dll", "xxx")),
    }));
    const UPDATE_VIEW view = RunToEnd();
    EXPECT_EQ(UPDATE_STATUS_DONE, view.status);
    EXPECT_FALSE(view.running);
    EXPECT_EQ((std::vector<UpdateRowState>{ UPDATE_ROW_QUEUED, UPDATE_ROW_DONE, UPDATE_ROW_FAILED, UPDATE_ROW_DONE,
                                            UPDATE_ROW_FAILED }),
              States(view));
    ASSERT_EQ(5u, view.rows.size());
    EXPECT_EQ(L"new.dat", view.rows[1].name);
    EXPECT_EQ(L"5000", view.rows[1].size);
    // Received of all the listed sizes: 5000 + 17 + 3 + 3 of 17 + 5000 + 9 + 3 + 3.
    EXPECT_EQ(kProgressBlocks * 5023 / 5032, view.progress);
    EXPECT_EQ(fresh, kit::ReadFile(m_dir / L"Temp\\plugins\\x\\new.dat"));
    EXPECT_EQ("not the good copy", kit::ReadFile(m_dir / L"Temp\\corrupt.dat"));
    EXPECT_EQ(same, kit::ReadFile(m_dir / L"same.dat")) << "installed files are left to the updater";
}

TEST_F(UpdateRun, HostileOrIncompleteManifestsFetchNothing)
{
    REQUIRE_TEST_SERVERS();
    const std::string bytes = "payload";
    const std::string url = kit::Publish(Folder() + "payload", bytes);
    const std::string before = kit::Entry("first.dat", "", bytes, url);
    const struct {
        const char* what;
        std::string entry;
        UpdateStatus status;
        size_t rows;
    } cases[] = {
        { "name climbing out", kit::Entry("..\\Harrowmere.exe", "", bytes, url), UPDATE_STATUS_MANIFEST_MALFORMED, 1 },
        { "folder climbing out", kit::Entry("x.dat", "..\\..", bytes, url), UPDATE_STATUS_MANIFEST_MALFORMED, 1 },
        { "absolute folder", kit::Entry("x.dat", "C:\\hm_hostile", bytes, url), UPDATE_STATUS_MANIFEST_MALFORMED, 1 },
        { "drive in the name", kit::Entry("C:hm_hostile.dat", "", bytes, url), UPDATE_STATUS_MANIFEST_MALFORMED, 1 },
        { "UNC folder", kit::Entry("x.dat", "\\\\127.0.0.1\\c$", bytes, url), UPDATE_STATUS_MANIFEST_MALFORMED, 1 },
        { "no Size", "<File Name=\"x.dat\" LocalPath=\"\" Crc=\"1\" DownloadUrl=\"" + url + "\"/>",
          UPDATE_STATUS_MANIFEST_MALFORMED, 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ServeManifest(kit::Manifest({ before, c.entry }));
        const UPDATE_VIEW view = RunToEnd();
        EXPECT_EQ(c.status, view.status);
        EXPECT_EQ(c.rows, view.rows.size());
        EXPECT_EQ(std::vector<std::wstring>{ L"UpdateInfo.xml" }, kit::FilesUnder(m_dir / L"Temp"));
        EXPECT_FALSE(kit::Exists(m_dir / L"..\\Harrowmere.exe"));
        EXPECT_FALSE(kit::Exists(L"C:\\hm_hostile"));
        EXPECT_FALSE(kit::Exists(L"C:\\hm_hostile.dat"));
    }
}

TEST_F(UpdateRun, ManifestFailures)
{
    REQUIRE_TEST_SERVERS();
    const struct {
        const char* what;
        std::string updateUrl; // empty: no settings file
        UpdateStatus status;
    } cases[] = {
        { "no settings file", "", UPDATE_STATUS_NO_ADDRESS },
        { "manifest missing", kit::Url("ERROR", "404/UpdateInfo.xml"), UPDATE_STATUS_MANIFEST_FAILED },
        { "not a manifest", kit::Publish(Folder() + "UpdateInfo.xml", "<Other/>"), UPDATE_STATUS_MANIFEST_MALFORMED },
        { "not XML", kit::Publish(Folder() + "UpdateInfo.xml", "<Harrowmere_Update>"), UPDATE_STATUS_MANIFEST_FAILED },
        { "a file that cannot be fetched",
          kit::Publish(Folder() + "UpdateInfo.xml",
                       kit::Manifest({ kit::Entry("x.dat", "", "x", kit::Url("ERROR", "500/x.dat")) })),
          UPDATE_STATUS_MANIFEST_FAILED },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileW((m_dir / L"Harrowmere.cfg").c_str());
        if (!c.updateUrl.empty()) {
            ASSERT_TRUE(kit::WriteConfig(m_dir.Path(), c.updateUrl, ""));
        }
        EXPECT_EQ(c.status, RunToEnd().status);
    }
    EXPECT_FALSE(kit::Exists(m_dir / L"Temp\\x.dat")) << "an error status became a file";
}

TEST_F(UpdateRun, CancelStopsTheWorkerAndFreezesTheView)
{
    REQUIRE_TEST_SERVERS();
    ServeManifest(kit::Manifest({ kit::Entry("slow.dat", "", std::string(1000000, 's'),
                                             kit::Url("SLOW", "1000000/5000")) }));
    CUpdateRun run(&m_config);
    int changes = 0;
    run.SetChangeCallback([&changes] { ++changes; });
    ASSERT_TRUE(run.Start());
    EXPECT_FALSE(run.Start()) << "a second run while one is active";
    UPDATE_VIEW view;
    for (int i = 0; i < 100 && view.status != UPDATE_STATUS_TRANSFER; ++i) {
        Sleep(50);
        view = run.Snapshot();
    }
    ASSERT_EQ(UPDATE_STATUS_TRANSFER, view.status);
    EXPECT_EQ(UPDATE_ROW_DOWNLOADING, view.rows.at(0).state);
    EXPECT_GT(changes, 0);

    const DWORD start = GetTickCount();
    run.Cancel();
    EXPECT_TRUE(run.Wait(5000)) << "the worker did not end";
    std::printf("worker ended %lu ms after cancel\n", static_cast<unsigned long>(GetTickCount() - start));
    const UPDATE_VIEW after = run.Snapshot();
    EXPECT_FALSE(after.running);
    EXPECT_EQ(UPDATE_STATUS_TRANSFER, after.status) << "a cancelled run changes nothing more";
    EXPECT_TRUE(run.Start()) << "a new run after the worker ended";
    run.Cancel();
}

} // namespace
