#include "rules/RuleHits.h"

#include "rules/RuleFile.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

const char kHeader[] = "HarrowmereHits 1";
const char kEnd[] = "End ";
const DWORD kLargestFile = 64u << 20;

const uint64_t kFnvOffset = 14695981039346656037ull;
const uint64_t kFnvPrime = 1099511628211ull;

void Mix(uint64_t* hash, const void* bytes, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < size; ++i) {
        *hash ^= p[i];
        *hash *= kFnvPrime;
    }
}

void MixNumber(uint64_t* hash, uint32_t number)
{
    const uint8_t bytes[4] = { static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                               static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24) };
    Mix(hash, bytes, sizeof(bytes));
}

void AppendHex(std::string* out, uint64_t value)
{
    static const char digits[] = "0123456789abcdef";
    for (int shift = 60; shift >= 0; shift -= 4)
        out->push_back(digits[(value >> shift) & 0xF]);
}

bool ParseHex(const std::string& text, uint64_t* value)
{
    if (text.size() != 16)
        return false;
    uint64_t v = 0;
    for (char c : text) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0)
            return false;
        v = (v << 4) | static_cast<uint64_t>(digit);
    }
    *value = v;
    return true;
}

bool ParseDecimal(const std::string& text, uint64_t* value)
{
    if (text.empty() || text.size() > 20)
        return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (v > (UINT64_MAX - digit) / 10)
            return false;
        v = v * 10 + digit;
    }
    *value = v;
    return true;
}

// The text's lines without their CR LF or LF; false when the last line has
// no line end (a cut file).
bool SplitLines(const std::string& text, std::vector<std::string>* lines)
{
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos)
            return false;
        size_t stop = end;
        if (stop > start && text[stop - 1] == '\r')
            --stop;
        lines->push_back(text.substr(start, stop - start));
        start = end + 1;
    }
    return true;
}

// "<key> <count> <last>"
bool ParseEntry(const std::string& line, uint64_t* key, RULE_HITS* hits)
{
    const size_t first = line.find(' ');
    const size_t second = first == std::string::npos ? std::string::npos : line.find(' ', first + 1);
    if (second == std::string::npos)
        return false;
    return ParseHex(line.substr(0, first), key) &&
           ParseDecimal(line.substr(first + 1, second - first - 1), &hits->count) &&
           ParseHex(line.substr(second + 1), &hits->lastHit);
}

uint64_t SystemTimeNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

} // namespace

std::wstring RuleHitFilePath(const std::wstring& ruleFile)
{
    const size_t slash = ruleFile.find_last_of(L"\\/");
    return (slash == std::wstring::npos ? std::wstring() : ruleFile.substr(0, slash + 1)) + HM_HIT_FILE;
}

uint64_t RuleContentKey(const Rule* rule)
{
    if (!rule)
        return 0;
    uint64_t hash = kFnvOffset;
    MixNumber(&hash, RuleKind(rule));
    MixNumber(&hash, rule->action);
    const uint32_t count = rule->params ? rule->params->count : 0;
    MixNumber(&hash, count);
    for (uint32_t i = 0; i < count; ++i) {
        const PARAM_ENTRY* entry = ParamEntryAt(rule->params, i);
        if (!entry) {
            MixNumber(&hash, UINT32_MAX);
            continue;
        }
        MixNumber(&hash, entry->type);
        // Values by what they say, not by the entry's bytes: the rule file
        // and the rule dialog may leave different slack after a text.
        if (const wchar_t* text = ParamEntryText(entry)) {
            for (const wchar_t* c = text; *c; ++c)
                MixNumber(&hash, static_cast<uint16_t>(*c));
            MixNumber(&hash, UINT32_MAX);
        } else if (entry->type == ParamType::Integer) {
            MixNumber(&hash, ParamEntryInteger(entry));
        }
    }
    return hash;
}

std::string FormatRuleHits(const RuleHitMap& hits)
{
    std::vector<std::pair<uint64_t, RULE_HITS>> sorted;
    for (const auto& entry : hits)
        if (entry.second.count > 0)
            sorted.push_back(entry);
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string text = std::string(kHeader) + "\r\n";
    for (const auto& [key, value] : sorted) {
        AppendHex(&text, key);
        text += ' ' + std::to_string(value.count) + ' ';
        AppendHex(&text, value.lastHit);
        text += "\r\n";
    }
    text += kEnd + std::to_string(sorted.size()) + "\r\n";
    return text;
}

bool ParseRuleHits(const std::string& text, RuleHitMap* hits)
{
    hits->clear();
    std::vector<std::string> lines;
    if (!SplitLines(text, &lines) || lines.size() < 2 || lines.front() != kHeader)
        return false;
    const std::string& last = lines.back();
    uint64_t declared = 0;
    if (last.compare(0, strlen(kEnd), kEnd) != 0 || !ParseDecimal(last.substr(strlen(kEnd)), &declared) ||
        declared != lines.size() - 2)
        return false;
    RuleHitMap read;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        uint64_t key = 0;
        RULE_HITS value;
        if (!ParseEntry(lines[i], &key, &value) || !read.emplace(key, value).second)
            return false;
    }
    hits->swap(read);
    return true;
}

RuleHitMap ReadRuleHitFile(const std::wstring& path)
{
    RuleHitMap hits;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return hits;
    LARGE_INTEGER size = {};
    std::string text;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart <= kLargestFile) {
        text.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        if (!ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &read, nullptr))
            read = 0;
        text.resize(read);
    }
    CloseHandle(file);
    ParseRuleHits(text, &hits);
    return hits;
}

std::wstring FormatHitTime(uint64_t fileTime)
{
    if (fileTime == 0)
        return std::wstring();
    FILETIME utc = { static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32) }, local;
    SYSTEMTIME time;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &time))
        return std::wstring();
    wchar_t text[32] = {};
    swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute,
             time.wSecond);
    return text;
}

int WriteRuleHitFile(const std::wstring& path, const RuleHitMap& hits)
{
    const std::string text = FormatRuleHits(hits);
    return WriteFileReplacing(path.c_str(), L"wb",
                              [&text](FILE* file) { return fwrite(text.data(), 1, text.size(), file) == text.size(); });
}

void CRuleHitStore::Open(const std::wstring& path)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (path == m_path)
        return;
    m_path = path;
    m_hits = ReadRuleHitFile(path);
    m_unsaved = false;
}

void CRuleHitStore::Record(const Rule* rule, uint64_t now)
{
    const uint64_t key = RuleContentKey(rule);
    std::lock_guard<std::mutex> guard(m_lock);
    RULE_HITS& hits = m_hits[key];
    ++hits.count;
    hits.lastHit = std::max(hits.lastHit, now);
    m_unsaved = true;
}

void CRuleHitStore::Record(const Rule* rule)
{
    Record(rule, SystemTimeNow());
}

bool CRuleHitStore::Save()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_unsaved)
        return true;
    if (m_path.empty() || WriteRuleHitFile(m_path, m_hits) != 0)
        return false;
    m_unsaved = false;
    return true;
}

RULE_HITS CRuleHitStore::Get(uint64_t key) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_hits.find(key);
    return found == m_hits.end() ? RULE_HITS() : found->second;
}
