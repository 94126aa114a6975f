#include "base/LateBound.h"

#include "support/Wait.h"

#include <gtest/gtest.h>

TEST(LateBound, WrappingTickCountIsExtendedWithoutGoingBack)
{
    struct Step {
        uint32_t now;
        uint64_t expected;
    } steps[] = {
        {5, 5},
        {0x7FFFFFFFu, 0x7FFFFFFFu},
        {0xFFFFFFF0u, 0xFFFFFFF0u},
        {0x10, 0x100000010ull},  // wrapped
        {0x08, 0x100000010ull},  // another thread's slightly older count
        {0x20, 0x100000020ull},
        {0xFFFFFFFFu, 0x1FFFFFFFFull},
        {0, 0x200000000ull},     // wrapped again
    };
    for (const Step& s : steps)
        EXPECT_EQ(late::TickCount64FromWrappingCount(s.now), s.expected) << s.now;
    const uint64_t first = TickCount64();
    testwait::WaitUntil([&] { return TickCount64() >= first + 10; }, 5000);
    EXPECT_GE(TickCount64(), first + 10);
}

TEST(LateBound, OrdinalComparisonIgnoresCaseAndNothingElse)
{
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        bool equal;
    } cases[] = {
        {L"Execute", L"EXECUTE", true},
        {L"RegSetValue", L"regsetvalue", true},
        {L"", L"", true},
        {L"\u00C4rger", L"\u00E4RGER", true}, // Latin-1
        {L"\u03A3\u0399", L"\u03C3\u03B9", true}, // Greek
        {L"abc", L"abd", false},
        {L"abc", L"ab", false},
        {L"ab", L"abc", false},
        {L"a b", L"ab", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EqualNoCaseOrdinal(c.a, c.b), c.equal) << c.a << L" / " << c.b;
        EXPECT_EQ(late::EqualNoCaseByUpperCase(c.a, c.b), c.equal) << c.a << L" / " << c.b;
    }
}
