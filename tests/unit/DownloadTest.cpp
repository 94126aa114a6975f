// DownloadToFile against the real local test servers: what lands on disk for
// good answers and error statuses, time-outs, cooperative cancel, transfers
// on several threads at once, and the progress text.
#include "update/Download.h"

#include "update/UpdateTestKit.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

int Fetch(const std::string& url, const std::wstring& target, long stallSeconds = kDefaultStallSeconds,
          uint64_t maxBytes = 0)
{
    DownloadJob job;
    job.address = url;
    job.targetPath = target;
    job.stallSeconds = stallSeconds;
    job.maxBytes = maxBytes;
    return DownloadToFile(job);
}

TEST(Download, WhatLandsOnDisk)
{
    REQUIRE_TEST_SERVERS();
    kit::ScratchFolder dir(L"download");
    const std::string body(70000, 'b');
    const std::string good = kit::Publish("download/body.bin", body);
    const std::string empty = kit::Publish("download/empty.bin", "");
    const struct {
        const char* what;
        std::string url;
        uint64_t limit;
        int result;
        std::string content; // of the target afterwards; "old" when it was left alone
    } cases[] = {
        { "a file", good, 0, DOWNLOAD_OK, body },
        { "an empty file", empty, 0, DOWNLOAD_OK, "" },
        { "404 from the error server", kit::Url("ERROR", "404/x.bin"), 0, DOWNLOAD_FAILED, "old" },
        { "500 from the error server", kit::Url("ERROR", "500/x.bin"), 0, DOWNLOAD_FAILED, "old" },
        { "a missing file", kit::Url("STATIC", "download/none.bin"), 0, DOWNLOAD_FAILED, "old" },
        { "nobody listening", "http://127.0.0.1:1/x.bin", 0, DOWNLOAD_FAILED, "old" },
        { "not http", "file:///C:/windows/win.ini", 0, DOWNLOAD_FAILED, "old" },
        { "longer than allowed", good, 1000, DOWNLOAD_FAILED, "old" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring existing = dir / L"existing.bin", fresh = dir / L"fresh.bin";
        ASSERT_TRUE(kit::WriteFile(existing, "old"));
        DeleteFileW(fresh.c_str());
        EXPECT_EQ(c.result, Fetch(c.url, existing, kDefaultStallSeconds, c.limit));
        EXPECT_EQ(c.result, Fetch(c.url, fresh, kDefaultStallSeconds, c.limit));
        EXPECT_EQ(c.content, kit::ReadFile(existing));
        EXPECT_EQ(c.result == DOWNLOAD_OK ? c.content : "<missing>", kit::ReadFile(fresh));
    }
}

TEST(Download, SilentServerTimesOut)
{
    REQUIRE_TEST_SERVERS();
    kit::ScratchFolder dir(L"silent");
    EXPECT_EQ(DOWNLOAD_FAILED, Fetch(kit::Url("SILENT", "x.bin"), dir / L"x.bin", 1));
    EXPECT_FALSE(kit::Exists(dir / L"x.bin"));
}

TEST(Download, CancelEndsASlowTransferAndASilentWait)
{
    REQUIRE_TEST_SERVERS();
    kit::ScratchFolder dir(L"cancel");
    // 1 MB at 2 KB/s would take minutes.
    for (const std::string& url : { kit::Url("SLOW", "1000000/2000"), kit::Url("SILENT", "x.bin") }) {
        SCOPED_TRACE(url);
        std::atomic<bool> cancel{ false };
        DownloadJob job;
        job.address = url;
        job.targetPath = dir / L"slow.bin";
        job.cancel = &cancel;
        std::thread canceller([&cancel] {
            Sleep(700);
            cancel = true;
        });
        const DWORD start = GetTickCount();
        EXPECT_EQ(DOWNLOAD_CANCELLED, DownloadToFile(job));
        const DWORD tookMs = GetTickCount() - start;
        canceller.join();
        std::printf("cancel after 700 ms: transfer ended after %lu ms\n", static_cast<unsigned long>(tookMs));
        EXPECT_LT(tookMs, 5000u) << "the transfer was not cancelled";
    }
}

TEST(Download, ThreadsTransferAtTheSameTime)
{
    REQUIRE_TEST_SERVERS();
    kit::ScratchFolder dir(L"threads");
    std::vector<std::string> bodies, urls;
    for (int i = 0; i < 4; ++i) {
        bodies.push_back(std::string(150000 + i * 1000, static_cast<char>('a' + i)));
        urls.push_back(kit::Publish("threads/" + std::to_string(i) + ".bin", bodies.back()));
    }
    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            for (int round = 0; round < 5; ++round) {
                const std::wstring target = dir / (std::to_wstring(i) + L"_" + std::to_wstring(round) + L".bin");
                if (Fetch(urls[i], target) != DOWNLOAD_OK || kit::ReadFile(target) != bodies[i])
                    ++failures[i];
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(std::vector<int>(4, 0), failures);
}

TEST(Download, ProgressCountsAndText)
{
    REQUIRE_TEST_SERVERS();
    kit::ScratchFolder dir(L"progress");
    DownloadJob job;
    job.address = kit::Publish("progress/p.bin", std::string(300000, 'p'));
    job.targetPath = dir / L"p.bin";
    job.overallReceived = 1000;
    job.overallTotal = 301000;
    uint32_t lastFile = 0;
    int calls = 0;
    job.onProgress = [&](const DownloadJob& j) {
        EXPECT_GE(j.fileReceived, lastFile);
        lastFile = j.fileReceived;
        ++calls;
    };
    ASSERT_EQ(DOWNLOAD_OK, DownloadToFile(job));
    EXPECT_GT(calls, 0);
    EXPECT_EQ(300000u, job.fileReceived);
    EXPECT_EQ(301000u, job.overallReceived);

    EXPECT_EQ(L"a.dll -> 0Kb/1Kb (0Kb/4Kb)", FormatTransferText(L"C:\\p\\Temp\\a.dll", 1023, 1536, 1023, 4096));
    EXPECT_EQ(L"name -> 2Kb/2Kb (5000000Kb/5000000Kb)",
              FormatTransferText(L"name", 2048, 2048, 5120000000ull, 5120000000ull));
    const struct {
        uint64_t received, total;
        int blocks;
    } bars[] = { { 0, 100, 0 }, { 4, 100, 0 }, { 5, 100, 1 }, { 100, 100, 20 }, { 200, 100, 20 },
                 { 0, 0, 0 },   { 1, 0, 20 },   { 5000000000ull, 10000000000ull, 10 } };
    for (const auto& b : bars)
        EXPECT_EQ(b.blocks, ProgressBlocksOf(b.received, b.total)) << b.received << " of " << b.total;
}

} // namespace
