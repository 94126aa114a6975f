// The sensor's own decision: it must let through exactly the operations the
// driver would not match, from a copy of the driver's table that it fetches
// once per generation, and ask whenever it does not know.
#include "sensor/LocalDecision.h"

#include "bench/RuleMix.h"
#include "driver/common/KeySpellings.h"
#include "driver/common/Matcher.h"
#include "rules/RuleImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using sensor::LocalAnswer;

const wchar_t kSid[] = L"S-1-5-21-1004336348-1177238915-682003330-1000";

std::vector<uint8_t> MixImage(int count)
{
    GroupList groups;
    RuleSet* set = benchmix::MakeRuleSet(count, &groups);
    std::vector<uint8_t> image = BuildRuleImage(set);
    FreeRuleSet(set);
    return image;
}

WATCH_INJECT_OPERATION Operation(uint32_t kind, const std::wstring& param1, const std::wstring& param2 = L"")
{
    WATCH_INJECT_OPERATION op;
    std::memset(&op, 0, sizeof(op));
    op.kind = kind;
    for (size_t i = 0; i < param1.size() && i + 1 < WATCH_INJECT_PARAM1_CHARS; ++i)
        op.param1[i] = param1[i];
    for (size_t i = 0; i < param2.size() && i + 1 < WATCH_INJECT_PARAM2_CHARS; ++i)
        op.param2[i] = param2[i];
    return op;
}

// What the driver matches: the walk over the image, a value set in every
// spelling of its key with the user's SID.
bool DriverMatches(const std::vector<uint8_t>& image, const WATCH_INJECT_OPERATION& op, const wchar_t* sid)
{
    uint32_t id = 0;
    const wchar_t* p1 = reinterpret_cast<const wchar_t*>(op.param1);
    if (op.kind != 1)
        return MatchOperation(image.data(), static_cast<uint32_t>(image.size()), op.kind, p1, nullptr, &id) == 1;
    std::vector<wchar_t> scratch(KEY_SPELLING_SCRATCH_CHARS(WATCH_INJECT_PARAM1_CHARS + 1, sensor::kSidChars));
    return MatchKeyOperation(image.data(), static_cast<uint32_t>(image.size()), nullptr, p1,
                             reinterpret_cast<const wchar_t*>(op.param2), sid, scratch.data(),
                             static_cast<uint32_t>(scratch.size()), &id) == 1;
}

// Operations around rule `n` of the mix: some its rule matches, some only
// come close, and the kind a benchmark workload makes, which none touches.
std::vector<WATCH_INJECT_OPERATION> OperationsNear(int n)
{
    std::wstring s = std::to_wstring(n);
    std::wstring user = std::wstring(L"\\REGISTRY\\USER\\") + kSid;
    return {
        Operation(0, L"C:\\Users\\bob\\AppData\\Roaming\\app" + s + L"\\x.dat"),
        Operation(0, L"C:\\Users\\bob\\AppData\\Roaming\\app" + s + L"\\x.txt"),
        Operation(0, L"C:\\Windows\\System32\\drivers\\etc\\hosts" + s),
        Operation(0, L"C:\\Users\\bob\\Documents\\x\\report" + s + L"1.docx"),
        Operation(0, L"C:\\Users\\bob\\Temp\\~$" + s + L"a.tmp"),
        Operation(0, L"D:\\Data\\Project" + s + L"\\notes.txt"),
        Operation(0, L"C:\\bench\\tree\\d" + s + L"\\file" + s + L".txt"),
        Operation(0, L"\\\\server\\share\\a.b"),
        Operation(1, L"\\REGISTRY\\MACHINE\\SOFTWARE\\Vendor" + s + L"\\k", L"Setting" + s),
        Operation(1, L"\\REGISTRY\\MACHINE\\SOFTWARE\\Vendor" + s + L"\\k", L"Other"),
        Operation(1, user + L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"Helper" + s),
        Operation(1, L"\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Services\\svc" + s + L"\\x", L"ImagePath"),
        Operation(1, user + L"\\Software\\BenchImport\\key" + s, L"value" + s),
        Operation(2, L"C:\\Program Files\\Vendor" + s + L"\\a.exe"),
        Operation(2, L"C:\\Users\\bob\\Downloads\\xsetup" + s + L"y.exe"),
        Operation(2, L"E:\\Tools\\tool" + s + L".exe"),
        Operation(2, L"C:\\bench\\small.exe"),
    };
}

TEST(SensorLocalDecision, CandidatesAreExactlyTheOperationsTheDriverMatches)
{
    std::vector<uint8_t> image = MixImage(1000);
    WATCH_TABLE_HEADER header = {7, 1, static_cast<uint32_t>(image.size()), 0};
    sensor::LocalTable* table = sensor::CreateLocalTable(header, image.data());
    ASSERT_NE(nullptr, table);
    int candidates = 0, others = 0;
    for (int n = 0; n < 1000; n += 7) {
        for (const WATCH_INJECT_OPERATION& op : OperationsNear(n)) {
            bool expected = DriverMatches(image, op, kSid);
            ASSERT_EQ(expected, sensor::IsCandidate(table, &op, kSid))
                << "rule " << n << ", kind " << op.kind << ": "
                << std::string(op.param1, op.param1 + 40).c_str();
            (expected ? candidates : others) += 1;
            // Without the user's SID the driver may still match through
            // HKEY_CURRENT_USER: every value set is asked about then.
            if (op.kind == 1) {
                EXPECT_TRUE(sensor::IsCandidate(table, &op, nullptr));
            }
        }
    }
    EXPECT_GT(candidates, 200); // both answers were really exercised
    EXPECT_GT(others, 600);
    sensor::FreeLocalTable(table);
}

TEST(SensorLocalDecision, NothingIsACandidateWhenNothingCanMatchAndOddFieldsAlwaysAre)
{
    std::vector<uint8_t> image = MixImage(10);
    WATCH_INJECT_OPERATION matched = Operation(0, L"C:\\Users\\bob\\AppData\\Roaming\\app0\\x.dat");
    struct Case {
        uint32_t matching;
        bool withImage;
        bool candidate;
    } cases[] = { { 1, true, true }, { 0, true, false }, { 1, false, false }, { 0, false, false } };
    for (const Case& c : cases) {
        WATCH_TABLE_HEADER header = {1, c.matching, c.withImage ? static_cast<uint32_t>(image.size()) : 0u, 0};
        sensor::LocalTable* table = sensor::CreateLocalTable(header, c.withImage ? image.data() : nullptr);
        ASSERT_NE(nullptr, table);
        EXPECT_EQ(c.candidate, sensor::IsCandidate(table, &matched, kSid)) << c.matching << c.withImage;
        sensor::FreeLocalTable(table);
    }
    WATCH_TABLE_HEADER header = {1, 1, static_cast<uint32_t>(image.size()), 0};
    sensor::LocalTable* table = sensor::CreateLocalTable(header, image.data());
    ASSERT_NE(nullptr, table);
    WATCH_INJECT_OPERATION unterminated = Operation(0, L"C:\\elsewhere.txt");
    for (uint16_t& c : unterminated.param1)
        c = L'a';
    EXPECT_TRUE(sensor::IsCandidate(table, &unterminated, kSid));
    WATCH_INJECT_OPERATION unknownKind = Operation(3, L"C:\\elsewhere.txt");
    EXPECT_TRUE(sensor::IsCandidate(table, &unknownKind, kSid));
    sensor::FreeLocalTable(table);
}

// The driver's side of GET_TABLE, as StatePageCopyTable answers: the header
// always, the image when the buffer has room for it. `damage` spoils the
// copy the way a torn or broken answer would.
struct FakeDriver {
    enum Damage { None, Fails, Short, CutImage, BadRecord, SizeLies };
    uint32_t generation = 1;
    uint32_t matching = 1;
    std::vector<uint8_t> image;
    Damage damage = None;
    int fetches = 0;

    static uint32_t Fetch(void* context, void* buffer, uint32_t capacity)
    {
        FakeDriver* d = static_cast<FakeDriver*>(context);
        ++d->fetches;
        if (d->damage == Fails)
            return 0;
        if (d->damage == Short)
            return sizeof(WATCH_TABLE_HEADER) - 2;
        WATCH_TABLE_HEADER header = {d->generation, d->matching, static_cast<uint32_t>(d->image.size()), 0};
        std::vector<uint8_t> image = d->image;
        if (d->damage == BadRecord && image.size() > 20)
            image[RULE_IMAGE_HEADER_SIZE + 8] = 3; // the first record's size
        if (d->damage == SizeLies)
            header.imageSize += 64;
        std::memcpy(buffer, &header, sizeof(header));
        uint32_t written = sizeof(header);
        if (capacity - sizeof(header) >= image.size()) {
            size_t n = d->damage == CutImage ? image.size() / 2 : image.size();
            std::memcpy(static_cast<uint8_t*>(buffer) + sizeof(header), image.data(), n);
            written += static_cast<uint32_t>(n);
        }
        return written;
    }
};

struct SensorLocalTable : ::testing::Test {
    FakeDriver driver;
    sensor::TableCache cache = {};
    WATCH_STATE_PAGE page = {WATCH_STATE_MAGIC, 1, 1, 0, 0, {0, 0, 0}};
    WATCH_INJECT_OPERATION guarded = Operation(2, L"C:\\Program Files\\Vendor3\\a.exe");
    WATCH_INJECT_OPERATION untouched = Operation(0, L"C:\\bench\\tree\\d1\\file1.txt");

    void SetUp() override { driver.image = MixImage(1000); }
    void TearDown() override { cache.Clear(); }
    LocalAnswer Decide(const WATCH_INJECT_OPERATION& op, const WATCH_STATE_PAGE* p)
    {
        return sensor::DecideLocally(p, &cache, &FakeDriver::Fetch, &driver, &op, kSid);
    }
    LocalAnswer Decide(const WATCH_INJECT_OPERATION& op) { return Decide(op, &page); }
};

TEST_F(SensorLocalTable, UntouchedOperationsPassWithoutACallAndTheTableIsFetchedOncePerGeneration)
{
    EXPECT_EQ(LocalAnswer::Ask, Decide(guarded));
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(LocalAnswer::Accept, Decide(untouched));
    EXPECT_EQ(1, driver.fetches);

    // A table that outgrows the room of the first fetch takes a second.
    driver.image = MixImage(10000);
    ASSERT_GT(driver.image.size(), 640u * 1024);
    driver.generation = page.generation = 2;
    EXPECT_EQ(LocalAnswer::Accept, Decide(untouched));
    EXPECT_EQ(LocalAnswer::Ask, Decide(guarded));
    EXPECT_EQ(3, driver.fetches);

    // Monitoring off: everything passes at once, nothing is fetched.
    page.matching = 0;
    page.generation = 3;
    EXPECT_EQ(LocalAnswer::Accept, Decide(guarded));
    EXPECT_EQ(3, driver.fetches);
}

TEST_F(SensorLocalTable, ANewGenerationBringsTheNewTableAndAHeldCopyOutlivesIt)
{
    WATCH_INJECT_OPERATION other = Operation(0, L"C:\\bench\\tree\\d1\\file1.txt");
    sensor::LocalTable* held = cache.Acquire(1, &FakeDriver::Fetch, &driver);
    ASSERT_NE(nullptr, held);
    EXPECT_EQ(LocalAnswer::Accept, Decide(other));

    // The table now holds a rule for the benchmark's tree.
    GroupList groups;
    RuleSet* set = benchmix::MakeRuleSet(1000, &groups);
    CopyRuleInto(set->entries[0], RuleAction::Reject, RuleLog::Log, 0, 0, L"tree",
                 BuildParamList(0, "w", L"C:\\bench\\tree\\*"));
    driver.image = BuildRuleImage(set);
    FreeRuleSet(set);
    driver.generation = page.generation = 2;
    int before = driver.fetches;
    EXPECT_EQ(LocalAnswer::Ask, Decide(other));
    EXPECT_EQ(before + 1, driver.fetches);
    EXPECT_EQ(2u, sensor::LocalTableGeneration(cache.current));

    // The copy taken before the change is still whole for its holder.
    EXPECT_EQ(1u, sensor::LocalTableGeneration(held));
    EXPECT_FALSE(sensor::IsCandidate(held, &other, kSid));
    EXPECT_TRUE(sensor::IsCandidate(held, &guarded, kSid));
    cache.Release(held);
}

TEST_F(SensorLocalTable, WhatCannotBeTrustedIsAskedAbout)
{
    struct Case {
        const char* name;
        FakeDriver::Damage damage;
    } cases[] = { { "call fails", FakeDriver::Fails },     { "short answer", FakeDriver::Short },
                  { "image cut", FakeDriver::CutImage },    { "record broken", FakeDriver::BadRecord },
                  { "size lies", FakeDriver::SizeLies } };
    uint32_t generation = 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        driver.damage = c.damage;
        driver.generation = page.generation = ++generation;
        int before = driver.fetches;
        EXPECT_EQ(LocalAnswer::Ask, Decide(untouched));
        EXPECT_EQ(LocalAnswer::Ask, Decide(untouched));
        // A generation that failed is not fetched again for every operation.
        EXPECT_LE(driver.fetches - before, 2);
    }
    // A sound answer in the next generation is used again.
    driver.damage = FakeDriver::None;
    driver.generation = page.generation = ++generation;
    EXPECT_EQ(LocalAnswer::Accept, Decide(untouched));

    // Pages that are not the driver's current one.
    WATCH_STATE_PAGE foreign = page;
    foreign.magic = 0;
    WATCH_STATE_PAGE retired = page;
    retired.retired = 1;
    EXPECT_EQ(LocalAnswer::Ask, Decide(untouched, nullptr));
    EXPECT_EQ(LocalAnswer::Ask, Decide(untouched, &foreign));
    EXPECT_EQ(LocalAnswer::Ask, Decide(untouched, &retired));
}

} // namespace
