#include "update/UpdateRun.h"

#include "base/Config.h"
#include "base/DirectoryPath.h"
#include "base/TextConv.h"
#include "update/Manifest.h"
#include "update/SafeName.h"
#include "update/UpdaterLaunch.h"

#include <shlwapi.h>

namespace {

bool EnsureFolder(const std::wstring& folder)
{
    if (!PathIsDirectoryW(folder.c_str()))
        CreateDirectoryPath(folder.c_str());
    return PathIsDirectoryW(folder.c_str()) != FALSE;
}

// An entry the listing refuses: it lacks "Name" or "Size", or its names would
// leave the download folder or the program folder.
bool IsListable(const ManifestEntry& entry)
{
    if (!entry.name || !entry.size)
        return false;
    if (!IsPlainFileName(EntryName(entry)))
        return false;
    return !entry.localPath || IsRelativeFolder(EntryLocalPath(entry));
}

} // namespace

CUpdateRun::CUpdateRun(const CConfig* config) : m_config(config) {}

CUpdateRun::~CUpdateRun()
{
    Cancel();
    Wait(INFINITE);
}

void CUpdateRun::SetTransferLimits(long connectTimeoutMs, long stallSeconds)
{
    m_connectTimeoutMs = connectTimeoutMs;
    m_stallSeconds = stallSeconds;
}

bool CUpdateRun::IsAlive() const
{
    return m_thread && WaitForSingleObject(m_thread.Get(), 0) == WAIT_TIMEOUT;
}

bool CUpdateRun::Start()
{
    if (IsAlive()) {
        // A worker that has shown its end is only returning; one that is
        // still working (or still ending after a cancel) keeps its run.
        bool ended;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            ended = !m_view.running;
        }
        if (!ended || !Wait(1000))
            return false;
    }
    m_thread.Close();
    m_cancel = false;
    m_failureShown = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_view = UPDATE_VIEW();
        m_view.running = true;
    }
    // The worker owns nothing of its own: it works on this object, which
    // outlives it (the destructor waits for it). It ends after one run, or
    // within about a second of Cancel.
    m_thread.Reset(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
    if (!m_thread) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_view.running = false;
        return false;
    }
    return true;
}

void CUpdateRun::Cancel()
{
    m_cancel = true;
}

bool CUpdateRun::Wait(DWORD timeoutMs)
{
    return !m_thread || WaitForSingleObject(m_thread.Get(), timeoutMs) == WAIT_OBJECT_0;
}

UPDATE_VIEW CUpdateRun::Snapshot()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_notified = false;
    return m_view;
}

DWORD WINAPI CUpdateRun::ThreadMain(void* context)
{
    auto* self = static_cast<CUpdateRun*>(context);
    self->RunUpdate();
    // The end of the run is told even after a cancel.
    bool notify;
    {
        std::lock_guard<std::mutex> guard(self->m_lock);
        self->m_view.running = false;
        notify = !self->m_notified;
        self->m_notified = true;
    }
    if (notify && self->m_changed)
        self->m_changed();
    return 0;
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
    if (status == UPDATE_STATUS_MANIFEST_MALFORMED || status == UPDATE_STATUS_NO_ADDRESS)
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

    const std::wstring manifest = ManifestPath(programFolder);
    SetStatus(UPDATE_STATUS_FETCHING_MANIFEST);
    DownloadJob job;
    job.address = WideToAnsi(address);
    job.targetPath = manifest;
    job.cancel = &m_cancel;
    job.connectTimeoutMs = m_connectTimeoutMs;
    job.stallSeconds = m_stallSeconds;
    const int fetched = DownloadToFile(job);
    if (fetched == DOWNLOAD_CANCELLED)
        return;
    if (fetched != DOWNLOAD_OK) {
        SetStatus(UPDATE_STATUS_MANIFEST_FAILED);
        return;
    }
    // A new manifest gets its own hand-over to the updater.
    ClearHandOver(programFolder);

    // A failure that said what went wrong keeps its message.
    if (ListAndDownload(manifest) != 0 && !m_failureShown)
        SetStatus(UPDATE_STATUS_MANIFEST_FAILED);
}

int CUpdateRun::ListAndDownload(const std::wstring& manifestPath)
{
    std::vector<ManifestEntry> entries;
    const int loaded = LoadManifest(manifestPath, &entries);
    if (loaded == MANIFEST_UNREADABLE)
        return -1;
    if (loaded != MANIFEST_OK) {
        SetStatus(UPDATE_STATUS_MANIFEST_MALFORMED);
        return -1;
    }

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

    SetStatus(UPDATE_STATUS_DOWNLOADING);
    DownloadJob job;
    job.overallTotal = total;
    job.cancel = &m_cancel;
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
    for (size_t row = 0; row < entries.size(); ++row)
        if (Cancelled() || ProcessEntry(row, entries[row], job) != 0)
            return -1;
    SetStatus(UPDATE_STATUS_DONE);
    return 0;
}

int CUpdateRun::ProcessEntry(size_t row, const ManifestEntry& entry, DownloadJob& job)
{
    const std::wstring programFolder = m_config->ProgramFolder();
    std::wstring installed, folder, target;
    if (InstalledPath(entry, programFolder, &installed) != ENTRY_PATH_OK) {
        SetStatus(UPDATE_STATUS_MANIFEST_MALFORMED);
        return -1;
    }
    int32_t size = 0;
    const int sizeCheck = CheckSize(entry, installed, &size);
    if (sizeCheck < 0)
        return -1;
    // Read even when the size differs: both tests always run.
    const int crcCheck = CheckCrc(entry, installed);
    if (crcCheck < 0)
        return -1;
    if (sizeCheck == 0 && crcCheck == 0)
        return 0;

    if (DownloadFolder(entry, programFolder, &folder) != ENTRY_PATH_OK ||
        DownloadPath(entry, programFolder, &target) != ENTRY_PATH_OK || !entry.downloadUrl) {
        SetStatus(UPDATE_STATUS_MANIFEST_MALFORMED);
        return -1;
    }
    if (!EnsureFolder(folder))
        return -1;

    job.address = *entry.downloadUrl;
    job.targetPath = target;
    job.fileSize = static_cast<uint32_t>(size);
    job.fileReceived = 0;
    SetRowState(row, UPDATE_ROW_DOWNLOADING);
    const int fetched = DownloadToFile(job);
    if (fetched == DOWNLOAD_CANCELLED)
        return -1;
    if (fetched != DOWNLOAD_OK) {
        SetRowState(row, UPDATE_ROW_FAILED);
        return -1;
    }
    const bool good = CheckSize(entry, target) == 0 && CheckCrc(entry, target) == 0;
    SetRowState(row, good ? UPDATE_ROW_DONE : UPDATE_ROW_FAILED);
    return 0;
}
