// The checks under everything that arrives over the network: detached
// signatures with the build folder's throwaway keys, the keys compiled into
// the programs (the shipped ones hold no throwaway key), serials and expiry
// dates, and the addresses the guard agrees to open.
#include "base/Shell.h"
#include "net/Freshness.h"
#include "net/Signature.h"
#include "net/TrustedKeys.h"

#include "update/UpdateTestKit.h"

#include <gtest/gtest.h>

namespace {

PUBLIC_KEY KeyOf(const char* name)
{
    std::ifstream in(kit::fs::path(kit::TestFolder() + L"..\\keys\\" + kit::W(name) + L".pub"));
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    PUBLIC_KEY key;
    EXPECT_TRUE(ParsePublicKey(text, &key)) << name;
    return key;
}

TEST(Signature, OutcomesOfEachKindOfSignature)
{
    const std::string data = "<Harrowmere_AD Serial=\"2\"/>";
    const std::string good = kit::Sign(data);
    auto edited = [&good](size_t line, size_t at, char c) {
        std::string s = good;
        size_t start = 0;
        for (size_t i = 0; i < line; ++i)
            start = s.find('\n', start) + 1;
        s[start + at] = c;
        return s;
    };
    const struct {
        const char* what;
        std::string data, signature;
        SignatureResult result;
    } cases[] = {
        { "good", data, good, SIGNATURE_OK },
        { "good with CRLF line ends", data, [&] {
              std::string s;
              for (char c : good)
                  s += c == '\n' ? std::string("\r\n") : std::string(1, c);
              return s;
          }(), SIGNATURE_OK },
        { "empty", data, "", SIGNATURE_MALFORMED },
        { "three lines", data, good.substr(0, good.rfind('\n', good.size() - 2) + 1), SIGNATURE_MALFORMED },
        { "no untrusted comment prefix", data, edited(0, 0, 'U'), SIGNATURE_MALFORMED },
        { "bad base64", data, edited(1, 3, '*'), SIGNATURE_MALFORMED },
        { "too long", data, good + std::string(kMaxSignatureBytes, '\n'), SIGNATURE_MALFORMED },
        { "legacy form", data, kit::Sign(data, { "dev", true }), SIGNATURE_LEGACY },
        { "unknown key", data, kit::Sign(data, { "other" }), SIGNATURE_UNKNOWN_KEY },
        { "key id spliced", data, kit::Sign(data, { "other", false, "c", "dev" }), SIGNATURE_BAD },
        { "other data", data + " ", good, SIGNATURE_BAD },
        { "trusted comment edited", data, kit::Sign(data, { "dev", false, "c", nullptr, "d" }),
          SIGNATURE_BAD_COMMENT },
    };
    const std::vector<PUBLIC_KEY> keys = { KeyOf("dev") };
    for (const auto& c : cases) {
        std::string comment;
        EXPECT_EQ(c.result, VerifySignature(c.data, c.signature, keys, &comment)) << c.what;
        EXPECT_EQ(c.result == SIGNATURE_OK ? "timestamp:1700000000" : "", comment) << c.what;
    }
    EXPECT_EQ(SIGNATURE_UNKNOWN_KEY, VerifySignature(data, good, {})) << "no key, no trust";
    EXPECT_EQ(SIGNATURE_OK, VerifyTrusted(data, good)) << "the test programs trust the throwaway key";
}

TEST(Signature, ShippedProgramsHoldTheReleaseKeysAndNoThrowawayKey)
{
    ASSERT_GE(kTrustedKeyCount, 3u);
    EXPECT_EQ(std::string(HM_DEV_KEY_LINE), kTrustedKeyLines[kTrustedKeyCount - 1]);
    for (const wchar_t* program : { L"Harrowmere.exe", L"VxUpdate.exe" }) {
        const std::string image = kit::ReadFile(kit::TestFolder() + L"..\\stage\\" + program);
        ASSERT_GT(image.size(), 100000u) << program;
        for (size_t i = 0; i + 1 < kTrustedKeyCount; ++i)
            EXPECT_NE(std::string::npos, image.find(kTrustedKeyLines[i])) << program << " release key " << i;
        EXPECT_EQ(std::string::npos, image.find(HM_DEV_KEY_LINE)) << program;
        const PUBLIC_KEY dev = KeyOf("dev");
        EXPECT_EQ(std::string::npos, image.find(std::string(reinterpret_cast<const char*>(dev.key), sizeof(dev.key))));
    }
}

TEST(Freshness, SerialsAndExpiryDates)
{
    const struct {
        const char* text;
        bool ok;
        int64_t seconds;
    } dates[] = {
        { "1970-01-01", true, 0 },          { "2000-03-01", true, 951868800 },
        { "2024-02-29", true, 1709164800 }, { "2023-02-29", false, 0 },
        { "2026-12-08T06:15:00Z", true, 1796710500 }, { "2026-12-08T24:00:00Z", false, 0 },
        { "2026-12-08 06:15:00", false, 0 }, { "1969-12-31", false, 0 }, { "26-12-08", false, 0 },
        { "2026-13-01", false, 0 },         { "", false, 0 },
    };
    for (const auto& d : dates) {
        int64_t seconds = -1;
        EXPECT_EQ(d.ok, ParseUtcTime(d.text, &seconds)) << d.text;
        if (d.ok) {
            EXPECT_EQ(d.seconds, seconds) << d.text;
        }
    }
    const struct {
        const char* serial;
        const char* expires;
        bool equalAllowed;
        FreshnessResult result;
    } files[] = {
        { "11", "2030-01-01", false, FRESH_OK },      { "10", "2030-01-01", false, FRESH_OLD },
        { "10", "2030-01-01", true, FRESH_OK },       { "9", "2030-01-01", true, FRESH_OLD },
        { "+11", "2030-01-01", false, FRESH_NO_SERIAL }, { "", "2030-01-01", false, FRESH_NO_SERIAL },
        { "99999999999999999999", "2030-01-01", false, FRESH_NO_SERIAL },
        { "11", "2020-01-01", false, FRESH_EXPIRED }, { "11", "2026-12-08T00:00:00Z", false, FRESH_EXPIRED },
        { "11", "soon", false, FRESH_NO_EXPIRY },
    };
    for (const auto& f : files) {
        FRESHNESS_FLOOR floor{ 10, f.equalAllowed, 1796688000 }; // 2026-12-08 00:00 UTC
        EXPECT_EQ(f.result, CheckFreshness(std::string(f.serial), std::string(f.expires), floor))
            << f.serial << " " << f.expires;
    }
    EXPECT_EQ(FRESH_NO_SERIAL, CheckFreshness(std::nullopt, std::string("2030-01-01"), FRESHNESS_FLOOR{}));
}

TEST(Shell, OnlyWebAddressesAreOpened)
{
    for (const wchar_t* address : { L"http://example.org/", L"HTTPS://example.org/a?b=c", L"http://x" })
        EXPECT_TRUE(IsWebAddress(address)) << address;
    for (const wchar_t* address :
         { L"C:\\Windows\\notepad.exe", L"\\\\host\\share\\x.exe", L"file:///C:/Windows/notepad.exe", L"http://",
           L"ftp://example.org/", L" http://example.org/", L"http://a\r\nb", L"javascript:alert(1)", L"",
           L"notepad.exe" }) {
        EXPECT_FALSE(IsWebAddress(address)) << address;
        EXPECT_FALSE(OpenAddress(nullptr, address)) << address;
    }
}

} // namespace
