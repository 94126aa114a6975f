// DownloadToFile against the real local test servers: what lands on disk for
// good answers and error statuses, time-outs, cooperative cancel, transfers
// on several threads at once, and the progress text.
#include "net/Download.h"

#include "update/UpdateTestKit.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

int Fetch(const std::string& url, const std::wstring& target, long stallSeconds = 5, uint64_t maxBytes = 0)
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
    const struct {
        const char* what;
        std::string url;
        uint64_t limit;
        int result;
        std::string content; // of the target afterwards; "old" when it was left alone
    } cases[] = {
        { "a file", good, 0, DOWNLOAD_OK, body },
        { "an empty file", kit::Publish("download/empty.bin", ""), 0, DOWNLOAD_OK, "" },
        { "404", kit::Url("ERROR", "404/x.bin"), 0, DOWNLOAD_FAILED, "old" },
        { "500", kit::Url("ERROR", "500/x.bin"), 0, DOWNLOAD_FAILED, "old" },
        { "nobody listening", "http://127.0.0.1:1/x.bin", 0, DOWNLOAD_FAILED, "old" },
        { "silent server (stall limit)", kit::Url("SILENT", "x.bin"), 0, DOWNLOAD_FAILED, "old" },
        { "not http", "file:///C:/windows/win.ini", 0, DOWNLOAD_FAILED, "old" },
        { "longer than allowed", good, 1000, DOWNLOAD_FAILED, "old" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring existing = dir / L"existing.bin", fresh = dir / L"fresh.bin";
        ASSERT_TRUE(kit::WriteFile(existing, "old"));
        DeleteFileW(fresh.c_str());
        EXPECT_EQ(c.result, Fetch(c.url, existing, 1, c.limit));
        EXPECT_EQ(c.result, Fetch(c.url, fresh, 1, c.limit));
        EXPECT_EQ(c.content, kit::ReadFile(existing));
        EXPECT_EQ(c.result == DOWNLOAD_OK ? c.content : "<missing>", kit::ReadFile(fresh));
    }
}

TEST(Download, CancelEndsASlowTransferAndASilentWait)
{
    REQUIRE_TEST_SERVERS();
    kit::ScratchFolder dir(L"cancel");
    // 1 MB at 2 KB/s would take minutes; the silent server never answers.
    for (const std::string& url : { kit::Url("SLOW", "1000000/2000"), kit::Url("SILENT", "x.bin") }) {
        std::atomic<bool> cancel{ false };
        DownloadJob job;
        job.address = url;
        job.targetPath = dir / L"slow.bin";
        job.cancel = &cancel;
        std::thread canceller([&cancel] {
            // A fixed delay on purpose: the cancel must come in the middle of
            // the transfer, and the silent server gives no sign to wait for.
            Sleep(700);
            cancel = true;
        });
        const DWORD start = GetTickCount();
        EXPECT_EQ(DOWNLOAD_CANCELLED, DownloadToFile(job)) << url;
        const DWORD took = GetTickCount() - start;
        canceller.join();
        std::printf("%s: cancelled after 700 ms, ended after %lu ms\n", url.c_str(), static_cast<unsigned long>(took));
        EXPECT_LT(took, 5000u) << "the transfer was not cancelled";
    }
}

TEST(Download, ThreadsTransferAtTheSameTime)
{
    REQUIRE_TEST_SERVERS();
    kit::ScratchFolder dir(L"threads");
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int i = 0; i < 4; ++i) {
        const std::string body(150000 + i, static_cast<char>('a' + i));
        const std::string url = kit::Publish("threads/" + std::to_string(i) + ".bin", body);
        threads.emplace_back([&, i, body, url] {
            for (int round = 0; round < 5; ++round) {
                const std::wstring target = dir / (std::to_wstring(i) + L"_" + std::to_wstring(round));
                failures[i] += Fetch(url, target) != DOWNLOAD_OK || kit::ReadFile(target) != body;
            }
        });
    }
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
    int calls = 0;
    job.onProgress = [&calls](const DownloadJob&) { ++calls; };
    ASSERT_EQ(DOWNLOAD_OK, DownloadToFile(job));
    EXPECT_GT(calls, 0);
    EXPECT_EQ(300000u, job.fileReceived);
    EXPECT_EQ(301000u, job.overallReceived);

    EXPECT_EQ(L"a.dll -> 0Kb/1Kb (0Kb/4Kb)", FormatTransferText(L"C:\\p\\Temp\\a.dll", 1023, 1536, 1023, 4096));
    EXPECT_EQ(L"n -> 2Kb/2Kb (5000000Kb/5000000Kb)", FormatTransferText(L"n", 2048, 2048, 5120000000ull, 5120000000ull));
    const struct {
        uint64_t received, total;
        int blocks;
    } bars[] = { { 4, 100, 0 }, { 5, 100, 1 }, { 100, 100, 20 }, { 200, 100, 20 },
                 { 0, 0, 0 },   { 1, 0, 20 },  { 5000000000ull, 10000000000ull, 10 } };
    for (const auto& b : bars)
        EXPECT_EQ(b.blocks, ProgressBlocksOf(b.received, b.total)) << b.received << " of " << b.total;
}

} // namespace
