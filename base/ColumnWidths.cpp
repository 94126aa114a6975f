#include "base/ColumnWidths.h"

bool ParseColumnWidths(const std::wstring& text, size_t count, NumberListRule rule, std::vector<int>* widths)
{
    std::vector<int> parsed;
    if (!ParseNumberList(text, count, rule, &parsed))
        return false;
    for (int w : parsed) {
        if (w < 0 || w > COLUMN_WIDTH_MAX)
            return false;
    }
    *widths = std::move(parsed);
    return true;
}

int LoadColumnWidths(const WindowStateKey& key, const wchar_t* name, size_t count, NumberListRule rule,
                     std::vector<int>* widths)
{
    std::wstring text;
    int read = ReadWindowStateText(key, name, &text);
    if (read != 0)
        return read;
    return ParseColumnWidths(text, count, rule, widths) ? 0 : -2;
}

int SaveColumnWidths(const WindowStateKey& key, const wchar_t* name, const std::vector<int>& widths)
{
    return WriteWindowStateText(key, name, FormatNumberList(widths));
}
