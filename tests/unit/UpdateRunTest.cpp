// An update run on its worker thread against the real local servers, in a
// scratch program folder: what a hostile, incomplete or unreachable manifest
// leads to. (Runs that fetch and cancel are seen through the update page.)
#include "update/UpdateRun.h"

#include "base/Config.h"
#include "update/UpdateTestKit.h"

#include <gtest/gtest.h>

namespace {

class UpdateRun : public ::testing::Test {
protected:
    UpdateRun() : m_dir(L"run"), m_places{ HKEY_CURRENT_USER, L"", L"", m_dir.Path() } {}

    std::string Folder() const
    {
        static int serial = 0;
        return "run" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++serial) + "/";
    }

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

TEST_F(UpdateRun, HostileOrIncompleteManifestsFetchNothing)
{
    REQUIRE_TEST_SERVERS();
    const std::string bytes = "payload";
    const std::string url = kit::Publish(Folder() + "payload", bytes);
    const struct {
        const char* what;
        std::string entry;
    } cases[] = {
        { "name climbing out", kit::Entry("..\\Harrowmere.exe", "", bytes, url) },
        { "folder climbing out", kit::Entry("x.dat", "..\\..", bytes, url) },
        { "absolute folder", kit::Entry("x.dat", "C:\\hm_hostile", bytes, url) },
        { "drive in the name", kit::Entry("C:hm_hostile.dat", "", bytes, url) },
        { "UNC folder", kit::Entry("x.dat", "\\\\127.0.0.1\\c$", bytes, url) },
        { "no Size", "<File Name=\"x.dat\" LocalPath=\"\" Crc=\"1\" DownloadUrl=\"" + url + "\"/>" },
        { "no Sha256", "<File Name=\"x.dat\" LocalPath=\"\" Size=\"1\" Crc=\"1\" DownloadUrl=\"" + url + "\"/>" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string manifest = kit::Manifest({ kit::Entry("first.dat", "", bytes, url), c.entry });
        ASSERT_TRUE(kit::WriteConfig(m_dir.Path(), kit::PublishSigned(Folder() + "UpdateInfo.xml", manifest), ""));
        const UPDATE_VIEW view = RunToEnd();
        // Reported as malformed (not replaced by a download failure), the
        // entries before it listed, nothing fetched, and the manifest not
        // stored (it is written last, beside a complete set of files).
        EXPECT_EQ(UPDATE_STATUS_MANIFEST_MALFORMED, view.status);
        EXPECT_EQ(1u, view.rows.size());
        EXPECT_EQ(std::vector<std::wstring>{}, kit::FilesUnder(m_dir / L"Temp"));
        for (const wchar_t* outside : { L"..\\Harrowmere.exe", L"..\\x.dat" })
            EXPECT_FALSE(kit::Exists(m_dir / outside));
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
        { "server silent", kit::Url("SILENT", "UpdateInfo.xml"), UPDATE_STATUS_MANIFEST_FAILED },
        { "not a manifest", kit::PublishSigned(Folder() + "UpdateInfo.xml", "<Other/>"), UPDATE_STATUS_MANIFEST_MALFORMED },
        { "not XML", kit::PublishSigned(Folder() + "UpdateInfo.xml", "<Harrowmere_Update>"), UPDATE_STATUS_MANIFEST_FAILED },
        { "a file that cannot be fetched",
          kit::PublishSigned(Folder() + "UpdateInfo.xml",
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

} // namespace
