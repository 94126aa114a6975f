#include "base/WindowState.h"

#include "base/Registry.h"

#include <climits>
#include <cwctype>

namespace {

// Reads one decimal integer at `pos` (blanks before it allowed); false when
// there is none or it does not fit an int.
bool ReadNumber(const std::wstring& text, size_t* pos, int* value)
{
    size_t i = *pos;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+'))
        negative = text[i++] == L'-';
    size_t digits = i;
    long long number = 0;
    while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') {
        number = number * 10 + (text[i] - L'0');
        if (number > static_cast<long long>(INT_MAX) + 1)
            return false;
        ++i;
    }
    if (i == digits)
        return false;
    if (negative)
        number = -number;
    if (number > INT_MAX || number < INT_MIN)
        return false;
    *value = static_cast<int>(number);
    *pos = i;
    return true;
}

} // namespace

bool ParseNumberList(const std::wstring& text, size_t count, NumberListRule rule, std::vector<int>* numbers)
{
    if (count == 0 || !numbers)
        return false;
    std::vector<int> parsed(count);
    size_t pos = 0;
    for (size_t n = 0; n < count; ++n) {
        if (n > 0) {
            if (pos >= text.size() || text[pos] != L',')
                return false;
            ++pos;
        }
        if (!ReadNumber(text, &pos, &parsed[n]))
            return false;
    }
    if (rule == NumberListRule::Exact) {
        while (pos < text.size() && std::iswspace(text[pos]))
            ++pos;
        if (pos != text.size())
            return false;
    }
    *numbers = std::move(parsed);
    return true;
}

std::wstring FormatNumberList(const std::vector<int>& numbers)
{
    std::wstring text;
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (i)
            text += L',';
        text += std::to_wstring(numbers[i]);
    }
    return text;
}

int ReadWindowStateText(const WindowStateKey& key, const wchar_t* name, std::wstring* text)
{
    CRegKey reg;
    if (reg.Open(key.root, key.path.c_str(), KEY_QUERY_VALUE) != 0)
        return -1;
    return reg.QueryString(name, text);
}

int WriteWindowStateText(const WindowStateKey& key, const wchar_t* name, const std::wstring& text)
{
    CRegKey reg;
    if (reg.Create(key.root, key.path.c_str(), KEY_SET_VALUE) != 0)
        return -1;
    return reg.SetString(name, text);
}
