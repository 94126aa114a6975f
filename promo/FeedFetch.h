// The promotion feed on disk and its download. The feed in use is
// program folder \ AD \ AD.xml with its signature (AD.xml.minisig) and its
// picture beside it. A download keeps the feed and its signature in memory
// until the signature, the serial and the expiry hold; only then are they
// written (to program folder \ Temp first, then copied over). The feed thread
// fetches the feed and its picture and tells its owner when a fresh feed is
// in place; it touches no window.
#pragma once

#include "net/AcceptedSerial.h"
#include "net/Freshness.h"
#include "net/TransferTask.h"
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

// Reads the feed file and its signature beside it: a FeedResult, or
// FEED_UNREADABLE when the file cannot be read, or when its signature, its
// serial (below the accepted one) or its expiry does not hold: the XML
// reader sees only verified bytes.
int ReadFeedFile(const std::wstring& path, FEED_TEXT* feed, const SERIAL_STORE& store = SERIAL_STORE());

// A feed's bytes and signature as they arrived: FEED_OK and `feed` filled
// when the signature holds, the feed parses and its serial is above
// `floor` (equal too when floor.equalAllowed) and it has not expired;
// `serial` receives its serial.
int ReadSignedFeed(const std::string& bytes, const std::string& signature, const FRESHNESS_FLOOR& floor,
                   FEED_TEXT* feed, uint64_t* serial = nullptr);

// Whether the stored feed should be fetched again at start-up: true when it
// is missing, incomplete (`complete` false) or stale (IsFeedStale on its
// last-write time).
bool FeedNeedsFetch(const std::wstring& feedPath, bool complete);

// Limits of the feed's transfers (tests shorten them).
struct FEED_FETCH_LIMITS {
    long connectTimeoutMs = 15000;
    long stallSeconds = 30;
};

// Downloads the feed from `feedUrl` and its signature from `feedUrl` +
// ".minisig"; when ReadSignedFeed accepts them (the serial must exceed the
// accepted one), they replace the feed in use and the serial is stored; then
// it downloads the picture and copies it into "AD". 0 when both are in place;
// -1 when something failed on the way (a refused feed changes nothing; what
// was copied so far stays); -2 when cancelled. Nothing is written outside
// "Temp" and "AD".
int FetchFeed(const std::wstring& programFolder, const std::wstring& feedUrl, const std::atomic<bool>* cancel,
              const FEED_FETCH_LIMITS& limits = FEED_FETCH_LIMITS(), const SERIAL_STORE& store = SERIAL_STORE());

// The feed thread: one FetchFeed per Start, on a background worker. `done`
// runs on the worker with FetchFeed's result when the download ends (not
// after a cancel).
class CFeedThread {
public:
    CFeedThread() = default;
    CFeedThread(const CFeedThread&) = delete;
    CFeedThread& operator=(const CFeedThread&) = delete;

    // False while a download is at work.
    bool Start(const std::wstring& programFolder, const std::wstring& feedUrl, std::function<void(int)> done,
               const FEED_FETCH_LIMITS& limits = FEED_FETCH_LIMITS(), const SERIAL_STORE& store = SERIAL_STORE());
    void Cancel() { m_task.Cancel(); }
    // True when no download is at work afterwards.
    bool Wait(DWORD timeoutMs) { return m_task.Wait(timeoutMs); }
    bool IsAlive() const { return m_task.IsAlive(); }
    // Ends the worker's thread once the download has told its end.
    void EndWorker() { m_task.EndWorker(); }

private:
    std::wstring m_programFolder;
    std::wstring m_feedUrl;
    FEED_FETCH_LIMITS m_limits;
    SERIAL_STORE m_store;
    std::function<void(int)> m_done;
    CTransferTask m_task; // last: its worker ends before the rest goes
};
