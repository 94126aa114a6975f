#include "net/Download.h"

#include <curl/curl.h>

#include <cstdio>
#include <string>
#include <mutex>

namespace {

// libcurl's global state is set up once for the process, before the first
// transfer of any thread, and left to the end of the process: setting it up
// and tearing it down around each transfer is not safe while another thread
// transfers.
void InitHttpOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

// One transfer in progress: the job, the easy handle and the output file.
struct Transfer {
    DownloadJob* job;
    CURL* curl;
    FILE* out = nullptr;
    std::string* memory = nullptr; // the body goes here instead of a file
    uint64_t received = 0; // body bytes of this transfer

    bool Cancelled() const { return job->cancel && job->cancel->load(std::memory_order_relaxed); }

    bool SuccessStatus() const
    {
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        return status >= 200 && status < 300;
    }

    bool Open()
    {
        if (out || memory)
            return true;
        out = _wfopen(job->targetPath.c_str(), L"wb");
        return out != nullptr;
    }
};

size_t WriteBlock(char* data, size_t itemSize, size_t items, void* context)
{
    auto* t = static_cast<Transfer*>(context);
    const size_t length = itemSize * items;
    // Returning fewer bytes than offered ends the transfer with a write error.
    if (t->Cancelled() || !t->SuccessStatus())
        return 0;
    DownloadJob& job = *t->job;
    if (job.maxBytes && t->received + length > job.maxBytes) {
        job.tooLong = true;
        return 0;
    }
    if (!t->Open())
        return 0;
    size_t written = length;
    if (t->memory)
        t->memory->append(data, length);
    else
        written = std::fwrite(data, 1, length, t->out);
    t->received += written;
    job.fileReceived += static_cast<uint32_t>(written);
    job.overallReceived += written;
    if (job.onProgress)
        job.onProgress(job);
    return written;
}

// Called by libcurl about once a second while it waits, and more often while
// data flows; a non-zero answer ends the transfer.
int CheckCancel(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<Transfer*>(context)->Cancelled() ? 1 : 0;
}

} // namespace

namespace {

DownloadResult Perform(DownloadJob& job, std::string* memory)
{
    InitHttpOnce();
    CURL* curl = curl_easy_init();
    if (!curl)
        return DOWNLOAD_FAILED;
    Transfer transfer{ &job, curl };
    transfer.memory = memory;
    job.tooLong = false;
    curl_easy_setopt(curl, CURLOPT_URL, job.address.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBlock);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, CheckCancel);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    // Worker threads: no signals for time-outs.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    // An error status is a failed download, not a file.
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, job.connectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, job.stallSeconds);
    if (job.maxBytes)
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(job.maxBytes));

    const CURLcode code = curl_easy_perform(curl);
    // A successful answer without a body is an empty file.
    const bool ok = code == CURLE_OK && transfer.SuccessStatus() && transfer.Open();
    // The size limit is checked against the announced length of any answer:
    // only a successful one is a file that is too long.
    if (code == CURLE_FILESIZE_EXCEEDED && transfer.SuccessStatus())
        job.tooLong = true;
    curl_easy_cleanup(curl);
    if (transfer.out)
        std::fclose(transfer.out);
    if (ok)
        return DOWNLOAD_OK;
    return transfer.Cancelled() ? DOWNLOAD_CANCELLED : DOWNLOAD_FAILED;
}

} // namespace

DownloadResult DownloadToFile(DownloadJob& job)
{
    return Perform(job, nullptr);
}

DownloadResult DownloadToMemory(DownloadJob& job, std::string* body)
{
    if (!body || job.maxBytes == 0)
        return DOWNLOAD_FAILED;
    std::string received;
    const DownloadResult result = Perform(job, &received);
    if (result == DOWNLOAD_OK)
        body->swap(received);
    return result;
}

std::wstring FormatTransferText(const std::wstring& targetPath, uint32_t fileReceived, uint32_t fileSize,
                                uint64_t overallReceived, uint64_t overallTotal)
{
    const size_t slash = targetPath.find_last_of(L'\\');
    const std::wstring name = slash == std::wstring::npos ? targetPath : targetPath.substr(slash + 1);
    return name + L" -> " + std::to_wstring(fileReceived / 1024) + L"Kb/" + std::to_wstring(fileSize / 1024) + L"Kb (" +
           std::to_wstring(overallReceived / 1024) + L"Kb/" + std::to_wstring(overallTotal / 1024) + L"Kb)";
}

int ProgressBlocksOf(uint64_t received, uint64_t total)
{
    if (total == 0)
        return received ? kProgressBlocks : 0;
    const uint64_t blocks = received * kProgressBlocks / total;
    return blocks > kProgressBlocks ? kProgressBlocks : static_cast<int>(blocks);
}
