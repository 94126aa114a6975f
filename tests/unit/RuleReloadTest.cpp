// The driver link's rule reload after an editor save, and the look-up of a
// rule's content for the prompt's "编辑规则": neither waits behind a decision
// that holds the link mutex (as an open prompt does).
#include "rules/RuleFile.h"
#include "watch/WatchMain.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

namespace {

class RuleReload : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"hm_reload_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        std::filesystem::create_directories(m_folder);
        m_link.SetProgramFolder(m_folder);
        m_link.SetLinkMutex(CreateMutexW(nullptr, FALSE, nullptr));
    }
    void TearDown() override
    {
        m_link.Shutdown();
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    // A rule file with one group and one rule per description.
    void WriteRules(const wchar_t* group, std::initializer_list<const wchar_t*> infos)
    {
        RuleSet* set = NewRuleSet();
        for (const wchar_t* info : infos)
            CopyRuleInto(set->entries[0], RuleAction::Reject, RuleLog::Log, RuleFlag::Ask, 4, info,
                         BuildParamList(OperationKind::OpenFile, "w", info));
        GroupList groups;
        AddGroup(&groups, 4, group, L"");
        ASSERT_EQ(0, WriteRuleFile(&groups, set, (m_folder + HM_RULE_FILE).c_str(), RULE_FILE_ALL_GROUPS));
        FreeRuleSet(set);
    }
    std::vector<std::wstring> Infos()
    {
        std::vector<std::wstring> infos;
        std::shared_ptr<RuleSet> rules = m_link.Rules();
        ForEachRule(rules->entries[0], [&infos](Rule* r) { infos.push_back(r->info); }, -1, -1);
        return infos;
    }

    // Holds the link mutex on another thread, as a decision with an open
    // prompt does, until Release; records whether it was let go by Release
    // (true) or gave up on its own after 20 s (false).
    struct Holder {
        explicit Holder(HANDLE mutex)
        {
            HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            thread = std::thread([this, mutex, held] {
                WaitForSingleObject(mutex, INFINITE);
                SetEvent(held);
                releasedByTest = WaitForSingleObject(release, 20000) == WAIT_OBJECT_0;
                ReleaseMutex(mutex);
            });
            WaitForSingleObject(held, INFINITE);
            CloseHandle(held);
        }
        bool Release()
        {
            SetEvent(release);
            thread.join();
            CloseHandle(release);
            return releasedByTest;
        }
        HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::atomic<bool> releasedByTest{ false };
        std::thread thread;
    };

    std::wstring m_folder;
    CWatchMain m_link;
};

TEST_F(RuleReload, ReloadAndRuleLookUpDoNotWaitBehindAnOpenDecision)
{
    WriteRules(L"旧组", { L"old-1", L"old-2" });
    ASSERT_EQ(0, m_link.LoadRules());
    std::shared_ptr<RuleSet> inDecision = m_link.Rules(); // what a running decision holds
    const Rule* second = inDecision->entries[0]->rules[OperationKind::OpenFile]->next;
    WriteRules(L"新组", { L"new-1" });

    Holder prompt(m_link.LinkMutex());
    // The prompt's "编辑规则" finds its rule's content (the mutex given up after 50 ms).
    RULE_CONTENT content;
    ASSERT_TRUE(m_link.ResolveRuleContent(second->id, &content, 50));
    EXPECT_EQ(L"old-2", content.info);
    EXPECT_EQ(4, content.groupId);
    EXPECT_TRUE(ParamListEqual(second->params, content.params.get()));

    EXPECT_EQ(-1, m_link.ReloadRules()); // not started: nothing to send
    EXPECT_EQ((std::vector<std::wstring>{ L"new-1" }), Infos());
    ASSERT_EQ(1u, m_link.Groups().groups.size()) << "the file's group once, the old one gone";
    EXPECT_EQ(L"新组", m_link.Groups().groups.front().name);
    EXPECT_TRUE(prompt.Release()) << "the reload returned while the decision still held the mutex";
    // The decision's own set stayed whole; its identities are stale now.
    EXPECT_EQ(2u, RuleCount(inDecision.get()));
    content.info = L"untouched";
    EXPECT_FALSE(m_link.ResolveRuleContent(second->id, &content));
    EXPECT_FALSE(m_link.ResolveRuleContent(0, &content));
    EXPECT_EQ(L"untouched", content.info);
}

TEST_F(RuleReload, GroupsReadOnAnotherThreadWhileRulesAreReloadedAreAlwaysWhole)
{
    WriteRules(L"组", { L"only" });
    std::atomic<bool> done{ false };
    std::atomic<int> reads{ 0 }, torn{ 0 };
    std::thread reader([&] {
        while (!done || reads == 0) {
            const GroupList copy = m_link.Groups();
            if (!copy.groups.empty() && (copy.groups.size() != 1 || copy.groups.front().name != L"组"))
                ++torn;
            ++reads;
        }
    });
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(i % 2 ? -1 : 0, i % 2 ? m_link.ReloadRules() : m_link.LoadRules());
    done = true;
    reader.join();
    EXPECT_EQ(0, torn.load());
    ASSERT_EQ(1u, m_link.Groups().groups.size());
}

} // namespace
