// What windows remember between runs: their placement and the widths of
// their list columns, kept as texts of comma-separated numbers under the
// settings key ("RuleWnd" and "RuleWndList", "TaskWnd" and "ProcessWndList"...).
// Logic only: parsing, formatting, and the registry through CRegKey.
#pragma once

#include "base/Product.h"

#include <windows.h>

#include <string>
#include <vector>

// The registry key that holds the texts: the settings key by default; tests
// point it at a scratch key.
struct WindowStateKey {
    HKEY root = HKEY_CURRENT_USER;
    std::wstring path = HM_SETTINGS_KEY;
};

// How a stored list of numbers must look to be used.
enum class NumberListRule {
    Exact,  // exactly the expected count of numbers and nothing else
    Prefix, // the expected count of numbers first; anything after is ignored
};

// Parses `count` comma-separated decimal integers (optional sign, blanks
// before a number allowed). False when the text does not match the rule, a
// number is missing, or a number does not fit 32 bits; `numbers` is then
// untouched.
bool ParseNumberList(const std::wstring& text, size_t count, NumberListRule rule, std::vector<int>* numbers);
// "%d,%d,...": the numbers joined by commas.
std::wstring FormatNumberList(const std::vector<int>& numbers);

// The text stored under `name`. 0; -1 when the key or the value is missing
// or unreadable; -2 when the value is not a text.
int ReadWindowStateText(const WindowStateKey& key, const wchar_t* name, std::wstring* text);
// Writes the text (REG_SZ), creating the key when needed. 0, or -1.
int WriteWindowStateText(const WindowStateKey& key, const wchar_t* name, const std::wstring& text);
