// One update run of the update page, on the page's background worker: fetch
// the manifest and its signature from the update address, check the
// signature before anything is parsed, then the serial, expiry and
// architecture, list the files, download every file whose installed copy
// differs and write it into "Temp" only when its size and SHA-256 match. The
// manifest and its signature go into "Temp" last, when every file is there;
// a run that fails on the way removes what it wrote, so the next start finds
// either a whole update or none.
//
// The worker never touches a window. It keeps what the page shows (rows,
// status, progress) in an UPDATE_VIEW under a lock and calls the change
// callback, at most once until the page has taken a snapshot; the page posts
// itself a message from the callback and redraws from the snapshot on its
// own thread.
#pragma once

#include "net/AcceptedSerial.h"
#include "net/Download.h"
#include "net/TransferTask.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class CConfig;
struct ManifestEntry;

enum UpdateRowState {
    UPDATE_ROW_QUEUED = 0,      // listed, not fetched (also: already up to date)
    UPDATE_ROW_DOWNLOADING = 1,
    UPDATE_ROW_FAILED = 2,      // the transfer failed, or the copy's size or hashes are wrong
    UPDATE_ROW_DONE = 3,
};

enum UpdateStatus {
    UPDATE_STATUS_UNKNOWN,            // no run yet, or cancelled
    UPDATE_STATUS_FETCHING_MANIFEST,  // the manifest download started
    UPDATE_STATUS_MANIFEST_FAILED,    // the manifest or a file could not be fetched
    UPDATE_STATUS_MANIFEST_MALFORMED, // the manifest is malformed, or an entry is
    UPDATE_STATUS_NO_ADDRESS,         // the settings file names no update address
    UPDATE_STATUS_DOWNLOADING,        // the list is filled, the files are fetched
    UPDATE_STATUS_TRANSFER,           // a transfer's progress text (UPDATE_VIEW::transferText)
    UPDATE_STATUS_DONE,               // every entry was processed
    UPDATE_STATUS_VERIFY_FAILED,      // a signature, serial, expiry, architecture or hash did not hold
};

struct UPDATE_ROW {
    std::wstring name; // "Name"
    std::wstring size; // "Size" as written in the manifest
    UpdateRowState state = UPDATE_ROW_QUEUED;
};

struct UPDATE_VIEW {
    std::vector<UPDATE_ROW> rows;
    UpdateStatus status = UPDATE_STATUS_UNKNOWN;
    std::wstring transferText;
    int progress = -1; // filled blocks of kProgressBlocks, -1 for an empty bar
    bool running = false;
};

class CUpdateRun {
public:
    // The settings give the program folder and the update address; they must
    // outlive the run.
    explicit CUpdateRun(const CConfig* config);
    // Cancels a run and waits for its worker.
    ~CUpdateRun();
    CUpdateRun(const CUpdateRun&) = delete;
    CUpdateRun& operator=(const CUpdateRun&) = delete;

    // Called on the worker thread when the view changed; not again until
    // Snapshot() has been taken.
    void SetChangeCallback(std::function<void()> callback) { m_changed = std::move(callback); }
    // Limits handed to every transfer (tests shorten them).
    void SetTransferLimits(long connectTimeoutMs, long stallSeconds);
    // Where the last accepted serial is kept (the settings key by default).
    void SetSerialStore(const SERIAL_STORE& store) { m_store = store; }

    // Starts a run on the worker with an empty view. False while a run is
    // still at work (also a cancelled one that is still ending).
    bool Start();
    // Asks the run to stop; returns at once. The view is left as it was and
    // changes no more; the run ends within about a second.
    void Cancel();
    // Waits for the run; true when none is at work afterwards.
    bool Wait(DWORD timeoutMs);
    // A run is at work.
    bool IsAlive() const;

    // A copy of the view; allows the next change callback.
    UPDATE_VIEW Snapshot();

private:
    void RunJob();
    void RunUpdate();
    int ListAndDownload(const std::vector<ManifestEntry>& entries, uint64_t serial, const std::string& manifest,
                        const std::string& signature);
    int ProcessEntry(size_t row, const ManifestEntry& entry, DownloadJob& job, std::vector<std::wstring>* written);
    DownloadResult Fetch(const std::string& address, uint64_t maxBytes, std::string* body, bool* tooLong = nullptr);
    bool Cancelled() const { return m_task.Cancelled(); }

    // View changes from the worker; dropped once the run is cancelled.
    template <typename F>
    void Change(F change);
    void SetStatus(UpdateStatus status);
    void SetRowState(size_t row, UpdateRowState state);

    const CConfig* m_config;
    std::function<void()> m_changed;
    long m_connectTimeoutMs = kDefaultConnectTimeoutMs;
    long m_stallSeconds = kDefaultStallSeconds;

    SERIAL_STORE m_store;

    std::mutex m_lock;    // guards m_view and m_notified
    UPDATE_VIEW m_view;
    bool m_notified = false;
    bool m_failureShown = false; // the worker set a failure status of its own
    CTransferTask m_task;        // last: its worker ends before the rest goes
};
