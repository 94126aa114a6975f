#include "update/UpdateRun.h"

#include "base/Config.h"
#include "base/DirectoryPath.h"
#include "base/TextConv.h"
#include "update/Manifest.h"
#include "net/FileBytes.h"
#include "net/SafeName.h"
#include "net/Signature.h"
#include "update/UpdateSchedule.h"
#include "update/UpdaterLaunch.h"

#include <shlwapi.h>

namespace {

bool EnsureFolder(const std::wstring& folder)
{
    if (!PathIsDirectoryW(folder.c_str()))
        CreateDirectoryPath(folder.c_str());
    return PathIsDirectoryW(folder.c_str()) != FALSE;
}

// An entry the listing refuses: it lacks "Name", "Size" or a "Sha256" of 64
// hex digits, or its names would leave the download folder or the program
// folder.
bool IsListable(const ManifestEntry& entry)
{
    if (!entry.name || !entry.size || !entry.sha256 || !IsSha256Text(*entry.sha256))
        return false;
    if (!IsPlainFileName(EntryName(entry)))
        return false;
    return !entry.localPath || IsRelativeFolder(EntryLocalPath(entry));
}

// Largest file an update downloads.
const uint64_t kMaxUpdateFileBytes = 256ull * 1024 * 1024;

void DeleteFiles(const std::vector<std::wstring>& files)
{
    for (const std::wstring& file : files)
        DeleteFileW(file.c_str());
}

} // namespace

CUpdateRun::CUpdateRun(const CConfig* config) : m_config(config)
{
    if (config)
        m_store = SettingsSerialStore(config->Places());
}

CUpdateRun::~CUpdateRun()
{
    m_task.Cancel();
}

void CUpdateRun::SetTransferLimits(long connectTimeoutMs, long stallSeconds)
{
    m_connectTimeoutMs = connectTimeoutMs;
    m_stallSeconds = stallSeconds;
}

bool CUpdateRun::IsAlive() const
{
    return m_task.IsAlive();
}

bool CUpdateRun::Start()
{
    if (m_task.IsAlive()) {
        // A run that has shown its end is only returning; one that is still
        // working (or still ending after a cancel) keeps its turn.
        bool ended;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            ended = !m_view.running;
        }
        if (!ended || !m_task.Wait(1000))
            return false;
    }
    m_failureShown = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_view = UPDATE_VIEW();
        m_view.running = true;
    }
    if (!m_task.Start([this] { RunJob(); })) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_view.running = false;
        return false;
    }
    return true;
}

void CUpdateRun::Cancel()
{
    m_task.Cancel();
}

bool CUpdateRun::Wait(DWORD timeoutMs)
{
    return m_task.Wait(timeoutMs);
}

UPDATE_VIEW CUpdateRun::Snapshot()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_notified = false;
    return m_view;
}

void CUpdateRun::RunJob()
{
    RunUpdate();
    // The end of the run is told even after a cancel.
    bool notify;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_view.running = false;
        notify = !m_notified;
        m_notified = true;
    }
    if (notify && m_changed)
        m_changed();
}

template <typename F>
void CUpdateRun::Change(F change)
{
    bool notify;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (Cancelled())
            return;
        change(m_view);
        notify = !m_notified;
        m_notified = true;
    }
    if (notify && m_changed)
        m_changed();
}

void CUpdateRun::SetStatus(UpdateStatus status)
{
    if (status == UPDATE_STATUS_MANIFEST_MALFORMED || status == UPDATE_STATUS_NO_ADDRESS ||
        status == UPDATE_STATUS_VERIFY_FAILED)
        m_failureShown = true;
    Change([status](UPDATE_VIEW& view) { view.status = status; });
}

void CUpdateRun::SetRowState(size_t row, UpdateRowState state)
{
    Change([row, state](UPDATE_VIEW& view) {
        if (row < view.rows.size())
            view.rows[row].state = state;
    });
}

DownloadResult CUpdateRun::Fetch(const std::string& address, uint64_t maxBytes, std::string* body, bool* tooLong)
{
    DownloadJob job;
    job.address = address;
    job.cancel = m_task.CancelFlag();
    job.maxBytes = maxBytes;
    job.connectTimeoutMs = m_connectTimeoutMs;
    job.stallSeconds = m_stallSeconds;
    const DownloadResult result = DownloadToMemory(job, body);
    if (tooLong)
        *tooLong = job.tooLong;
    return result;
}

void CUpdateRun::RunUpdate()
{
    std::wstring address;
    if (!m_config || m_config->GetUpdateUrl(address) != 0 || address.empty()) {
        SetStatus(UPDATE_STATUS_NO_ADDRESS);
        return;
    }
    const std::wstring programFolder = m_config->ProgramFolder();
    if (!EnsureFolder(UpdateFolderPath(programFolder)))
        return;

    // The manifest and its signature stay in memory until both are checked.
    SetStatus(UPDATE_STATUS_FETCHING_MANIFEST);
    std::string manifest, signature;
    const std::string manifestUrl = WideToAnsi(address);
    bool tooLong = false;
    DownloadResult fetched = Fetch(manifestUrl, kMaxManifestBytes, &manifest, &tooLong);
    if (fetched == DOWNLOAD_CANCELLED)
        return;
    if (fetched != DOWNLOAD_OK) {
        // A manifest above the cap is not one: it is refused unread.
        SetStatus(tooLong ? UPDATE_STATUS_VERIFY_FAILED : UPDATE_STATUS_MANIFEST_FAILED);
        return;
    }
    fetched = Fetch(manifestUrl + kSignatureSuffix, kMaxSignatureBytes, &signature);
    if (fetched == DOWNLOAD_CANCELLED)
        return;

    std::vector<ManifestEntry> entries;
    MANIFEST_HEADER header;
    const int read = fetched == DOWNLOAD_OK ? ReadSignedManifest(manifest, signature, &entries, &header)
                                            : static_cast<int>(MANIFEST_UNTRUSTED);
    if (read == MANIFEST_UNREADABLE) {
        SetStatus(UPDATE_STATUS_MANIFEST_FAILED);
        return;
    }
    if (read == MANIFEST_OK) {
        FRESHNESS_FLOOR floor;
        floor.serial = AcceptedSerial(m_store, kUpdateSerialValue);
        floor.now = CurrentUnixTime();
        uint64_t serial = 0;
        if (CheckManifestTrust(header, floor, ProgramArch(), &serial) != MANIFEST_OK) {
            SetStatus(UPDATE_STATUS_VERIFY_FAILED);
            return;
        }
        // A new manifest gets its own hand-over to the updater.
        ClearHandOver(programFolder);
        // A failure that said what went wrong keeps its message.
        if (ListAndDownload(entries, serial, manifest, signature) != 0 && !m_failureShown && !Cancelled())
            SetStatus(UPDATE_STATUS_MANIFEST_FAILED);
        return;
    }
    SetStatus(read == MANIFEST_UNTRUSTED ? UPDATE_STATUS_VERIFY_FAILED : UPDATE_STATUS_MANIFEST_MALFORMED);
}

int CUpdateRun::ListAndDownload(const std::vector<ManifestEntry>& entries, uint64_t serial,
                                const std::string& manifest, const std::string& signature)
{
    // Listing pass: nothing is fetched unless every entry can be listed.
    uint64_t total = 0;
    for (const ManifestEntry& entry : entries) {
        if (!IsListable(entry)) {
            SetStatus(UPDATE_STATUS_MANIFEST_MALFORMED);
            return -1;
        }
        const int32_t size = ParseDecimal32(*entry.size);
        total += size > 0 ? static_cast<uint64_t>(size) : 0;
        UPDATE_ROW row{ EntryName(entry), AnsiToWide(*entry.size), UPDATE_ROW_QUEUED };
        Change([&row](UPDATE_VIEW& view) { view.rows.push_back(row); });
    }

    // An earlier manifest must not meet the files of this one.
    const std::wstring programFolder = m_config->ProgramFolder();
    DeleteFileW(ManifestPath(programFolder).c_str());
    DeleteFileW(ManifestSignaturePath(programFolder).c_str());

    SetStatus(UPDATE_STATUS_DOWNLOADING);
    DownloadJob job;
    job.overallTotal = total;
    job.cancel = m_task.CancelFlag();
    job.connectTimeoutMs = m_connectTimeoutMs;
    job.stallSeconds = m_stallSeconds;
    job.onProgress = [this](const DownloadJob& j) {
        std::wstring text = FormatTransferText(j.targetPath, j.fileReceived, j.fileSize, j.overallReceived,
                                               j.overallTotal);
        const int blocks = ProgressBlocksOf(j.overallReceived, j.overallTotal);
        Change([&text, blocks](UPDATE_VIEW& view) {
            view.status = UPDATE_STATUS_TRANSFER;
            view.transferText.swap(text);
            view.progress = blocks;
        });
    };
    std::vector<std::wstring> written;
    for (size_t row = 0; row < entries.size(); ++row)
        if (Cancelled() || ProcessEntry(row, entries[row], job, &written) != 0) {
            DeleteFiles(written);
            return -1;
        }
    // Last the manifest and its signature: the start-up check and the
    // updater find them only beside a complete set of files.
    if (!WriteFileBytes(ManifestSignaturePath(programFolder), signature) ||
        !WriteFileBytes(ManifestPath(programFolder), manifest)) {
        DeleteFileW(ManifestSignaturePath(programFolder).c_str());
        DeleteFiles(written);
        return -1;
    }
    StoreAcceptedSerial(m_store, kUpdateSerialValue, serial);
    SetStatus(UPDATE_STATUS_DONE);
    return 0;
}

int CUpdateRun::ProcessEntry(size_t row, const ManifestEntry& entry, DownloadJob& job,
                             std::vector<std::wstring>* written)
{
    const std::wstring programFolder = m_config->ProgramFolder();
    std::wstring installed, folder, target;
    if (InstalledPath(entry, programFolder, &installed) != ENTRY_PATH_OK) {
        SetStatus(UPDATE_STATUS_MANIFEST_MALFORMED);
        return -1;
    }
    const int compared = CompareInstalled(entry, programFolder);
    if (compared < 0)
        return -1;
    if (compared == 0)
        return 0;

    if (DownloadFolder(entry, programFolder, &folder) != ENTRY_PATH_OK ||
        DownloadPath(entry, programFolder, &target) != ENTRY_PATH_OK || !entry.downloadUrl) {
        SetStatus(UPDATE_STATUS_MANIFEST_MALFORMED);
        return -1;
    }
    if (!EnsureFolder(folder))
        return -1;

    const int32_t size = ParseDecimal32(*entry.size);
    job.address = *entry.downloadUrl;
    job.targetPath = target; // named in the progress text; the bytes stay in memory until checked
    job.fileSize = static_cast<uint32_t>(size);
    job.fileReceived = 0;
    // One byte more than the entry says: a longer answer fails as too long.
    job.maxBytes = size >= 0 ? static_cast<uint64_t>(size) + 1 : 1;
    if (job.maxBytes > kMaxUpdateFileBytes)
        job.maxBytes = kMaxUpdateFileBytes;
    SetRowState(row, UPDATE_ROW_DOWNLOADING);
    std::string bytes;
    const DownloadResult fetched = DownloadToMemory(job, &bytes);
    if (fetched == DOWNLOAD_CANCELLED)
        return -1;
    if (fetched != DOWNLOAD_OK && !job.tooLong) {
        SetRowState(row, UPDATE_ROW_FAILED);
        return -1;
    }
    // Written under "Temp" only when its size and hashes match; a wrong
    // file ends the run (nothing is downloaded further).
    if (fetched != DOWNLOAD_OK || !MatchesEntry(entry, bytes)) {
        SetRowState(row, UPDATE_ROW_FAILED);
        SetStatus(UPDATE_STATUS_VERIFY_FAILED);
        return -1;
    }
    if (!WriteFileBytes(target, bytes)) {
        SetRowState(row, UPDATE_ROW_FAILED);
        return -1;
    }
    written->push_back(target);
    SetRowState(row, UPDATE_ROW_DONE);
    return 0;
}
