// DownloadToFile: the one HTTP download of the program (update manifest,
// update files, promotion feed and picture), a thin layer over libcurl's easy
// interface. It runs on the caller's thread (a worker, never the window's
// thread) and reports progress through a callback; it touches no window.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// How long a transfer may take to connect, and how long it may go on at less
// than one byte per second (a server that accepts and never answers).
const long kDefaultConnectTimeoutMs = 15000;
const long kDefaultStallSeconds = 30;

struct DownloadJob {
    std::string address;     // handed to libcurl unchanged; http and https only
    std::wstring targetPath; // written only when a successful (2xx) answer arrives

    // Progress of this file and of the whole run, for the caller's display.
    // The transfer adds the received bytes; the caller sets the rest.
    uint32_t fileSize = 0;
    uint32_t fileReceived = 0;
    uint64_t overallTotal = 0;
    uint64_t overallReceived = 0;
    // Called on the downloading thread after each block is written.
    std::function<void(const DownloadJob&)> onProgress;

    // Set (by any thread) to end the transfer; it ends within about a
    // second, also while the server sends nothing.
    const std::atomic<bool>* cancel = nullptr;
    // An answer longer than this fails (0: no limit), and the transfer sets
    // tooLong.
    uint64_t maxBytes = 0;
    bool tooLong = false;
    long connectTimeoutMs = kDefaultConnectTimeoutMs;
    long stallSeconds = kDefaultStallSeconds;
};

// The outcome of a transfer. Success is 0 and failure -1, as the callers of
// the download have always read them; a cancel is told apart.
enum DownloadResult : int {
    DOWNLOAD_OK = 0,
    DOWNLOAD_FAILED = -1,    // no connection, time-out, HTTP error status, write error, too long
    DOWNLOAD_CANCELLED = -2, // the job's cancel flag ended it
};

// Fetches the job's address into its target path. The
// target is created or truncated only when the server answers with a 2xx
// status: an error status (404, 500...) or a failed connection leaves an
// existing file as it was. A successful empty answer leaves an empty file.
// A transfer that fails or is cancelled after data arrived leaves the part
// it wrote. Safe to call from several threads at once.
[[nodiscard]] DownloadResult DownloadToFile(DownloadJob& job);

// Fetches the job's address into `body` instead of a file (the job's target
// path is not used): for what must be checked before it is stored. The job's
// maxBytes must be set; a longer answer fails. `body` is filled only on
// success.
[[nodiscard]] DownloadResult DownloadToMemory(DownloadJob& job, std::string* body);

// The progress text "name -> fileKb/sizeKb (overallKb/totalKb)": the part of
// the target path after its last backslash, then whole kilobytes (rounded
// down).
std::wstring FormatTransferText(const std::wstring& targetPath, uint32_t fileReceived, uint32_t fileSize,
                                uint64_t overallReceived, uint64_t overallTotal);

// Blocks of a 20-block progress bar for `received` of `total` bytes (rounded
// down, at most 20). With a total of 0 the bar is full once anything arrived.
int ProgressBlocksOf(uint64_t received, uint64_t total);
const int kProgressBlocks = 20;
