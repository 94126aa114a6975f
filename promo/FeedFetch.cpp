#include "promo/FeedFetch.h"

#include "base/DirectoryPath.h"
#include "base/PathString.h"
#include "base/TextConv.h"
#include "update/Download.h"
#include "update/Manifest.h"
#include "update/SafeName.h"

#include <shlwapi.h>

const wchar_t kFeedFolder[] = L"AD";
const wchar_t kFeedFile[] = L"AD.xml";

namespace {

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
    job.address = address;
    job.targetPath = target;
    job.cancel = cancel;
    job.maxBytes = maxBytes;
    job.connectTimeoutMs = limits.connectTimeoutMs;
    job.stallSeconds = limits.stallSeconds;
    const int result = DownloadToFile(job);
    return result == DOWNLOAD_OK ? 0 : result == DOWNLOAD_CANCELLED ? -2 : -1;
}

int64_t FileTimeToUnix(const FILETIME& ft)
{
    const uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000ULL) - 11644473600LL;
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

int ReadFeedFile(const std::wstring& path, FEED_TEXT* feed)
{
    ui::CHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.Get(), &size) || static_cast<uint64_t>(size.QuadPart) > kMaxFeedBytes)
        return FEED_UNREADABLE;
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() && (!ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) ||
                           got != bytes.size()))
        return FEED_UNREADABLE;
    return ParseFeed(bytes.data(), bytes.size(), feed);
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
              const FEED_FETCH_LIMITS& limits)
{
    if (feedUrl.empty())
        return -1;
    const std::wstring downloads = UpdateFolderPath(programFolder);
    const std::wstring inUse = Join(programFolder, kFeedFolder);
    if (!EnsureFolder(downloads))
        return -1;
    const std::wstring downloadedFeed = Join(downloads, kFeedFile);
    int result = Fetch(WideToAnsi(feedUrl), downloadedFeed, kMaxFeedBytes, cancel, limits);
    if (result != 0)
        return result;
    if (!EnsureFolder(inUse) || !CopyFileW(downloadedFeed.c_str(), FeedPath(programFolder).c_str(), FALSE))
        return -1;

    FEED_TEXT feed;
    if (ReadFeedFile(FeedPath(programFolder), &feed) != FEED_OK || !feed.hasMain || !feed.image)
        return -1;
    // A picture name that would leave "Temp" or "AD" is not fetched.
    const std::wstring downloadedPicture = FeedPicturePath(programFolder, kUpdateFolder, *feed.image);
    const std::wstring picture = FeedPicturePath(programFolder, kFeedFolder, *feed.image);
    if (downloadedPicture.empty())
        return -1;
    result = Fetch(*feed.image, downloadedPicture, kMaxPictureBytes, cancel, limits);
    if (result != 0)
        return result;
    return CopyFileW(downloadedPicture.c_str(), picture.c_str(), FALSE) ? 0 : -1;
}

CFeedThread::~CFeedThread()
{
    Cancel();
    Wait(INFINITE);
}

bool CFeedThread::IsAlive() const
{
    return m_thread && WaitForSingleObject(m_thread.Get(), 0) == WAIT_TIMEOUT;
}

bool CFeedThread::Start(const std::wstring& programFolder, const std::wstring& feedUrl,
                        std::function<void(int)> done, const FEED_FETCH_LIMITS& limits)
{
    if (IsAlive())
        return false;
    m_thread.Close();
    m_cancel = false;
    m_programFolder = programFolder;
    m_feedUrl = feedUrl;
    m_limits = limits;
    m_done = std::move(done);
    // The thread works on this object's copies of its inputs; the object
    // outlives it (the destructor cancels and waits). It ends after one
    // download, or within about a second of Cancel.
    m_thread.Reset(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
    return static_cast<bool>(m_thread);
}

bool CFeedThread::Wait(DWORD timeoutMs)
{
    return !m_thread || WaitForSingleObject(m_thread.Get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD WINAPI CFeedThread::ThreadMain(void* context)
{
    auto* self = static_cast<CFeedThread*>(context);
    const int result = FetchFeed(self->m_programFolder, self->m_feedUrl, &self->m_cancel, self->m_limits);
    if (result != -2 && !self->m_cancel && self->m_done)
        self->m_done(result);
    return 0;
}
