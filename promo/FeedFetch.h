// The promotion feed on disk and its download. The feed in use is
// program folder \ AD \ AD.xml with its picture beside it; a download goes to
// program folder \ Temp first and is copied over. The feed thread fetches the
// feed and its picture and tells its owner when a fresh feed is in place; it
// touches no window.
#pragma once

#include "base/Handles.h"
#include "promo/FeedFormat.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

extern const wchar_t kFeedFolder[]; // "AD"
extern const wchar_t kFeedFile[];   // "AD.xml"

// Largest feed and picture the download accepts.
const uint64_t kMaxFeedBytes = 1024 * 1024;
const uint64_t kMaxPictureBytes = 8 * 1024 * 1024;

// program folder \ AD \ AD.xml
std::wstring FeedPath(const std::wstring& programFolder);
// program folder \ <folder> \ the picture's local name (ImageNameOf), or an
// empty text when that name is not a plain file name (it would leave the
// folder, or it is empty).
std::wstring FeedPicturePath(const std::wstring& programFolder, const wchar_t* folder, const std::string& image);

// Reads the feed file: a FeedResult, or FEED_UNREADABLE when the file cannot
// be read.
int ReadFeedFile(const std::wstring& path, FEED_TEXT* feed);

// Whether the stored feed should be fetched again at start-up: true when it
// is missing, incomplete (`complete` false) or stale (IsFeedStale on its
// last-write time).
bool FeedNeedsFetch(const std::wstring& feedPath, bool complete);

// Limits of the feed's transfers (tests shorten them).
struct FEED_FETCH_LIMITS {
    long connectTimeoutMs = 15000;
    long stallSeconds = 30;
};

// Downloads the feed from `feedUrl` and copies it over the feed in use, then
// downloads its picture and copies it into "AD". 0 when both are in place;
// -1 when something failed on the way (what was copied so far stays); -2
// when cancelled. Nothing is written outside "Temp" and "AD".
int FetchFeed(const std::wstring& programFolder, const std::wstring& feedUrl, const std::atomic<bool>* cancel,
              const FEED_FETCH_LIMITS& limits = FEED_FETCH_LIMITS());

// The feed thread: one FetchFeed per Start. `done` runs on the feed thread
// with FetchFeed's result when the download ends (not after a cancel).
class CFeedThread {
public:
    CFeedThread() = default;
    // Cancels the download and waits for the thread.
    ~CFeedThread();
    CFeedThread(const CFeedThread&) = delete;
    CFeedThread& operator=(const CFeedThread&) = delete;

    // False while a thread is alive or when it cannot be started.
    bool Start(const std::wstring& programFolder, const std::wstring& feedUrl, std::function<void(int)> done,
               const FEED_FETCH_LIMITS& limits = FEED_FETCH_LIMITS());
    void Cancel() { m_cancel = true; }
    // True when no thread is alive afterwards.
    bool Wait(DWORD timeoutMs);
    bool IsAlive() const;

private:
    static DWORD WINAPI ThreadMain(void* self);

    ui::CHandle m_thread;
    std::atomic<bool> m_cancel{ false };
    std::wstring m_programFolder;
    std::wstring m_feedUrl;
    FEED_FETCH_LIMITS m_limits;
    std::function<void(int)> m_done;
};
