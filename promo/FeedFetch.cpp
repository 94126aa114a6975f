#include "promo/FeedFetch.h"

#include "base/DirectoryPath.h"
#include "base/PathString.h"
#include "base/TextConv.h"
#include "net/Download.h"
#include "net/FileBytes.h"
#include "net/SafeName.h"
#include "net/Signature.h"

#include <shlwapi.h>

const wchar_t kFeedFolder[] = L"AD";
const wchar_t kFeedFile[] = L"AD.xml";

namespace {

// The download folder beside the program.
const wchar_t kDownloadFolder[] = L"Temp";

void FillJob(DownloadJob* job, const std::string& address, uint64_t maxBytes, const std::atomic<bool>* cancel,
             const FEED_FETCH_LIMITS& limits)
{
    job->address = address;
    job->cancel = cancel;
    job->maxBytes = maxBytes;
    job->connectTimeoutMs = limits.connectTimeoutMs;
    job->stallSeconds = limits.stallSeconds;
}

int ResultOf(DownloadResult result)
{
    return result == DOWNLOAD_OK ? 0 : result == DOWNLOAD_CANCELLED ? -2 : -1;
}

int FetchToMemory(const std::string& address, std::string* body, uint64_t maxBytes, const std::atomic<bool>* cancel,
                  const FEED_FETCH_LIMITS& limits)
{
    DownloadJob job;
    FillJob(&job, address, maxBytes, cancel, limits);
    return ResultOf(DownloadToMemory(job, body));
}

int64_t FileTimeToUnix(const FILETIME& ft)
{
    const uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000ULL) - 11644473600LL;
}

int64_t NowUnix()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return FileTimeToUnix(now);
}

std::wstring Join(const std::wstring& folder, const wchar_t* name)
{
    return CPathString::Combine(CPathString(folder), name).str();
}

bool EnsureFolder(const std::wstring& folder)
{
    if (!PathIsDirectoryW(folder.c_str()))
        CreateDirectoryPath(folder.c_str());
    return PathIsDirectoryW(folder.c_str()) != FALSE;
}

int Fetch(const std::string& address, const std::wstring& target, uint64_t maxBytes, const std::atomic<bool>* cancel,
          const FEED_FETCH_LIMITS& limits)
{
    DownloadJob job;
    FillJob(&job, address, maxBytes, cancel, limits);
    job.targetPath = target;
    return ResultOf(DownloadToFile(job));
}


} // namespace

std::wstring FeedPath(const std::wstring& programFolder)
{
    return Join(Join(programFolder, kFeedFolder), kFeedFile);
}

std::wstring FeedPicturePath(const std::wstring& programFolder, const wchar_t* folder, const std::string& image)
{
    const std::wstring name = AnsiToWide(ImageNameOf(image));
    if (!IsPlainFileName(name))
        return std::wstring();
    return Join(Join(programFolder, folder), name.c_str());
}

int ReadSignedFeed(const std::string& bytes, const std::string& signature, const FRESHNESS_FLOOR& floor,
                   FEED_TEXT* feed, uint64_t* serial)
{
    // The XML reader only ever sees bytes whose signature holds.
    if (bytes.size() > kMaxFeedBytes || VerifyTrusted(bytes, signature) != SIGNATURE_OK)
        return FEED_UNREADABLE;
    FEED_TEXT read;
    const int parsed = ParseFeed(bytes.data(), bytes.size(), &read);
    if (parsed != FEED_OK)
        return parsed;
    if (CheckFreshness(read.serial, read.expires, floor, serial) != FRESH_OK)
        return FEED_UNREADABLE;
    *feed = std::move(read);
    return FEED_OK;
}

int ReadFeedFile(const std::wstring& path, FEED_TEXT* feed, const SERIAL_STORE& store)
{
    std::string bytes, signature;
    if (!ReadFileBytes(path, kMaxFeedBytes, &bytes) ||
        !ReadFileBytes(path + kSignatureSuffixW, kMaxSignatureBytes, &signature))
        return FEED_UNREADABLE;
    FRESHNESS_FLOOR floor;
    floor.serial = AcceptedSerial(store, kFeedSerialValue);
    floor.equalAllowed = true; // the feed in use is the one accepted last
    floor.now = NowUnix();
    return ReadSignedFeed(bytes, signature, floor, feed);
}

bool FeedNeedsFetch(const std::wstring& feedPath, bool complete)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!complete || !CPathString::GetAttributes(CPathString(feedPath), &data))
        return true;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return IsFeedStale(FileTimeToUnix(data.ftLastWriteTime), FileTimeToUnix(now));
}

int FetchFeed(const std::wstring& programFolder, const std::wstring& feedUrl, const std::atomic<bool>* cancel,
              const FEED_FETCH_LIMITS& limits, const SERIAL_STORE& store)
{
    if (feedUrl.empty())
        return -1;
    const std::wstring downloads = Join(programFolder, kDownloadFolder);
    const std::wstring inUse = Join(programFolder, kFeedFolder);
    if (!EnsureFolder(downloads))
        return -1;
    // The feed and its signature stay in memory until both are checked.
    const std::string address = WideToAnsi(feedUrl);
    std::string bytes, signature;
    int result = FetchToMemory(address, &bytes, kMaxFeedBytes, cancel, limits);
    if (result == 0)
        result = FetchToMemory(address + kSignatureSuffix, &signature, kMaxSignatureBytes, cancel, limits);
    if (result != 0)
        return result;
    FRESHNESS_FLOOR floor;
    floor.serial = AcceptedSerial(store, kFeedSerialValue);
    floor.now = NowUnix();
    FEED_TEXT feed;
    uint64_t serial = 0;
    if (ReadSignedFeed(bytes, signature, floor, &feed, &serial) != FEED_OK)
        return -1;

    const std::wstring downloadedFeed = Join(downloads, kFeedFile);
    const std::wstring feedPath = FeedPath(programFolder);
    if (!WriteFileBytes(downloadedFeed, bytes) || !EnsureFolder(inUse) ||
        !WriteFileBytes(feedPath + kSignatureSuffixW, signature) ||
        !CopyFileW(downloadedFeed.c_str(), feedPath.c_str(), FALSE))
        return -1;
    StoreAcceptedSerial(store, kFeedSerialValue, serial);

    if (!feed.hasMain || !feed.image)
        return -1;
    // A picture name that would leave "Temp" or "AD" is not fetched.
    const std::wstring downloadedPicture = FeedPicturePath(programFolder, kDownloadFolder, *feed.image);
    const std::wstring picture = FeedPicturePath(programFolder, kFeedFolder, *feed.image);
    if (downloadedPicture.empty())
        return -1;
    result = Fetch(*feed.image, downloadedPicture, kMaxPictureBytes, cancel, limits);
    if (result != 0)
        return result;
    return CopyFileW(downloadedPicture.c_str(), picture.c_str(), FALSE) ? 0 : -1;
}

bool CFeedThread::Start(const std::wstring& programFolder, const std::wstring& feedUrl,
                        std::function<void(int)> done, const FEED_FETCH_LIMITS& limits, const SERIAL_STORE& store)
{
    if (m_task.IsAlive())
        return false;
    m_programFolder = programFolder;
    m_feedUrl = feedUrl;
    m_limits = limits;
    m_store = store;
    m_done = std::move(done);
    // The job works on this object's copies of its inputs; the object
    // outlives it (its task cancels and waits). It ends after one download,
    // or within about a second of Cancel.
    return m_task.Start([this] {
        const int result = FetchFeed(m_programFolder, m_feedUrl, m_task.CancelFlag(), m_limits, m_store);
        if (result != -2 && !m_task.Cancelled() && m_done)
            m_done(result);
    });
}
