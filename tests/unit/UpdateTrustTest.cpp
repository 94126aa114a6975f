// What an update that cannot be trusted leads to, end to end on the logic
// that both programs run, against the real local servers in a scratch
// program folder: the update run (signature, serial, expiry, architecture,
// sizes and hashes of the served files), then the start-up check and the
// updater's install pass. Every hostile case installs nothing and leaves the
// program folder byte-identical; the signed update installs.
#include "net/AcceptedSerial.h"
#include "update/Manifest.h"
#include "update/UpdateInstall.h"
#include "update/UpdateRun.h"

#include "TestRegistry.h"
#include "update/UpdateTestKit.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace {

const std::string kOld = "installed version 1";
const std::string kNew = "installed version 2, a little longer";

// Everything a case may change on the way from the signer to the updater.
struct HOSTILE {
    const char* what;
    std::function<void(kit::Header&)> header;         // the manifest's attributes
    std::function<void(std::string&)> manifest;       // the manifest's text after signing
    std::function<void(std::string&)> signature;      // the signature's text (absent when it returns "<none>")
    kit::SignWith sign;
    std::function<void(std::string&)> served;         // the file the server hands out
    std::function<void(const std::wstring&)> staged;  // the download folder before the updater runs
    UpdateStatus status;
};

class UpdateTrust : public ::testing::Test {
protected:
    UpdateTrust()
        : m_dir(L"trust"),
          m_key(L"Software\\HarrowmereTest\\trust_" + std::to_wstring(GetCurrentProcessId())),
          m_places{ HKEY_CURRENT_USER, m_key, L"", m_dir.Path() }
    {
    }
    ~UpdateTrust() override { testreg::DeleteTree(HKEY_CURRENT_USER, m_key.c_str()); }

    // The one set-up of every case: an installed folder, a published update
    // shaped by the case, a run of the update page to its end, the start-up
    // check and the updater. Returns the run's final view.
    UPDATE_VIEW Run(const HOSTILE& c, bool* pending)
    {
        static int serial = 0;
        const std::string folder = "trust" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++serial) + "/";
        std::string served = kNew;
        if (c.served)
            c.served(served);
        const std::string url = kit::Publish(folder + "app.dat", served);
        kit::Header header;
        header.serial = AcceptedSerial(SettingsSerialStore(m_places), kUpdateSerialValue) + 1;
        if (c.header)
            c.header(header);
        std::string manifest = kit::Manifest({ kit::Entry("app.dat", "", kNew, url) }, header);
        std::string signature = kit::Sign(manifest, c.sign);
        if (c.manifest)
            c.manifest(manifest);
        if (c.signature)
            c.signature(signature);
        const std::string manifestUrl = kit::Publish(folder + "UpdateInfo.xml", manifest);
        if (signature != "<none>")
            kit::Publish(folder + "UpdateInfo.xml.minisig", signature);
        EXPECT_TRUE(kit::WriteConfig(m_dir.Path(), manifestUrl, ""));

        UPDATE_VIEW view;
        {
            CUpdateRun run(&m_config);
            run.SetTransferLimits(5000, 2);
            EXPECT_TRUE(run.Start());
            EXPECT_TRUE(run.Wait(60000));
            view = run.Snapshot();
        }
        if (c.staged)
            c.staged(m_dir / L"Temp\\");
        const SERIAL_STORE store = SettingsSerialStore(m_places);
        *pending = IsUpdatePending(m_dir.Path(), store);
        InstallUpdate(m_dir.Path(), store);
        return view;
    }

    // The program folder's files and their bytes, the download folder aside.
    std::map<std::wstring, std::string> Installed() const
    {
        std::map<std::wstring, std::string> files;
        for (const std::wstring& name : kit::FilesUnder(m_dir.Path()))
            if (name.rfind(L"Temp\\", 0) != 0)
                files[name] = kit::ReadFile(m_dir / name);
        return files;
    }

    kit::ScratchFolder m_dir;
    std::wstring m_key;
    ConfigPlaces m_places;
    CConfig m_config{ m_places };
};

void FlipOneByte(std::string& text) { text[text.find("app.dat")] = 'A'; }

TEST_F(UpdateTrust, HostileUpdatesInstallNothing)
{
    REQUIRE_TEST_SERVERS();
    const SERIAL_STORE store = SettingsSerialStore(m_places);
    ASSERT_TRUE(StoreAcceptedSerial(store, kUpdateSerialValue, kit::NextSerial()));
    uint64_t accepted = 0; // before each case
    const std::string otherArch = std::string(ProgramArch()) == "x64" ? "x86" : "x64";
    auto none = [](std::string& s) { s = "<none>"; };
    const UpdateStatus failed = UPDATE_STATUS_VERIFY_FAILED;
    const HOSTILE cases[] = {
        { "signature missing", nullptr, nullptr, none, {}, nullptr, nullptr, failed },
        { "signature empty", nullptr, nullptr, [](std::string& s) { s.clear(); }, {}, nullptr, nullptr, failed },
        { "signature truncated", nullptr, nullptr, [](std::string& s) { s.resize(s.size() / 2); }, {}, nullptr,
          nullptr, failed },
        { "bad base64", nullptr, nullptr, [](std::string& s) { s[s.find('\n') + 5] = '!'; }, {}, nullptr, nullptr,
          failed },
        { "another key", nullptr, nullptr, nullptr, { "other" }, nullptr, nullptr, failed },
        { "trusted key id spliced into another key's signature", nullptr, nullptr, nullptr,
          { "other", false, "timestamp:1", "dev" }, nullptr, nullptr, failed },
        { "legacy unhashed signature", nullptr, nullptr, nullptr, { "dev", true }, nullptr, nullptr, failed },
        { "one byte of the manifest changed", nullptr, FlipOneByte, nullptr, {}, nullptr, nullptr, failed },
        { "trusted comment edited", nullptr, nullptr, nullptr, { "dev", false, "timestamp:1", nullptr, "timestamp:2" },
          nullptr, nullptr, failed },
        { "older serial", [&](kit::Header& h) { h.serial = accepted - 1; }, nullptr, nullptr, {}, nullptr, nullptr,
          failed },
        { "equal serial", [&](kit::Header& h) { h.serial = accepted; }, nullptr, nullptr, {}, nullptr, nullptr,
          failed },
        { "expired", [](kit::Header& h) { h.expires = "2020-01-01"; }, nullptr, nullptr, {}, nullptr, nullptr,
          failed },
        { "the other architecture", [&](kit::Header& h) { h.arch = otherArch; }, nullptr, nullptr, {}, nullptr,
          nullptr, failed },
        { "served file longer", nullptr, nullptr, nullptr, {}, [](std::string& s) { s += "!"; }, nullptr, failed },
        { "served file shorter", nullptr, nullptr, nullptr, {}, [](std::string& s) { s.pop_back(); }, nullptr,
          failed },
        { "served file changed", nullptr, nullptr, nullptr, {}, [](std::string& s) { s[0] ^= 1; }, nullptr, failed },
        { "staged file changed before the updater runs", nullptr, nullptr, nullptr, {}, nullptr,
          [](const std::wstring& temp) {
              std::string bytes = kit::ReadFile(temp + L"app.dat");
              bytes[0] ^= 1;
              kit::WriteFile(temp + L"app.dat", bytes);
          },
          UPDATE_STATUS_DONE },
        { "old unsigned CRC-only manifest", nullptr,
          [](std::string& s) {
              s = "<Harrowmere_Update><FileList>" + s.substr(s.find("<File "), s.find(" Sha256=") - s.find("<File ")) +
                  " DownloadUrl=\"x\"/></FileList></Harrowmere_Update>";
          },
          none, {}, nullptr, nullptr, failed },
        { "huge manifest", nullptr, [](std::string& s) { s.insert(s.find("<FileList>"), kMaxManifestBytes, ' '); },
          nullptr, {}, nullptr, nullptr, failed },
        { "deeply nested manifest", nullptr,
          [](std::string& s) { s.insert(s.find("</FileList>"), std::string(100000, '<') ); }, nullptr, {}, nullptr,
          nullptr, failed },
    };
    ASSERT_TRUE(kit::WriteFile(m_dir / L"app.dat", kOld));
    ASSERT_TRUE(kit::WriteFile(m_dir / L"Harrowmere.cfg", ""));
    for (const HOSTILE& c : cases) {
        SCOPED_TRACE(c.what);
        const auto before = Installed();
        accepted = AcceptedSerial(store, kUpdateSerialValue);
        bool pending = true;
        const UPDATE_VIEW view = Run(c, &pending);
        EXPECT_EQ(c.status, view.status);
        // The start-up check compares the installed files only: the staged
        // copy is checked by the updater, which installs nothing.
        EXPECT_EQ(c.status == UPDATE_STATUS_DONE, pending) << "the start-up check";
        auto after = Installed();
        after[L"Harrowmere.cfg"] = before.at(L"Harrowmere.cfg"); // rewritten with this case's address
        EXPECT_EQ(before, after);
        EXPECT_FALSE(kit::Exists(m_dir / L"Temp\\app.dat")) << "partial downloads are removed";
        if (c.status != UPDATE_STATUS_DONE) {
            EXPECT_EQ(accepted, AcceptedSerial(store, kUpdateSerialValue)) << "a refused serial is not kept";
        }
    }
}

TEST_F(UpdateTrust, SignedUpdateInstallsAndRaisesTheSerial)
{
    REQUIRE_TEST_SERVERS();
    ASSERT_TRUE(kit::WriteFile(m_dir / L"app.dat", kOld));
    uint64_t serial = 0;
    bool pending = false;
    const UPDATE_VIEW view = Run(HOSTILE{ "signed", [&](kit::Header& h) { serial = h.serial; } }, &pending);
    EXPECT_EQ(UPDATE_STATUS_DONE, view.status);
    EXPECT_TRUE(pending);
    EXPECT_EQ(kNew, kit::ReadFile(m_dir / L"app.dat"));
    EXPECT_EQ(serial, AcceptedSerial(SettingsSerialStore(m_places), kUpdateSerialValue));
    EXPECT_EQ(std::vector<std::wstring>{}, kit::FilesUnder(m_dir / L"Temp")) << "the updater cleans up";
}

} // namespace
