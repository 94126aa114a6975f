// Column widths of a window's list, kept as "%d,%d,..." under a name that
// ends in "List" ("RuleWndList", "InsertRegWndList", "ProcessWndList"...).
#pragma once

#include "base/WindowState.h"

#include <string>
#include <vector>

// Largest width taken from a stored text; a larger or negative one makes the
// whole text unusable.
#define COLUMN_WIDTH_MAX 32767

// Parses a stored text into `count` widths by `rule`. False (widths
// untouched) when it does not parse, is empty, or holds a width outside 0 to
// COLUMN_WIDTH_MAX.
bool ParseColumnWidths(const std::wstring& text, size_t count, NumberListRule rule, std::vector<int>* widths);

// Reads the widths stored under `name`. 0 with `count` widths; -1 when
// nothing is stored; -2 when the stored value is not a text or does not
// parse by `rule` (widths untouched in both cases).
int LoadColumnWidths(const WindowStateKey& key, const wchar_t* name, size_t count, NumberListRule rule,
                     std::vector<int>* widths);
// Stores the widths as "%d,%d,...". 0, or -1.
int SaveColumnWidths(const WindowStateKey& key, const wchar_t* name, const std::vector<int>& widths);
