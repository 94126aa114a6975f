#include "ui/MessageLoop.h"

#include <algorithm>
#include <vector>

namespace ui {

namespace {
// Touched by the thread that owns the dialogs; modeless dialogs live on the
// main thread only.
std::vector<HWND>& ModelessDialogs()
{
    static std::vector<HWND> dialogs;
    return dialogs;
}
struct Filter {
    HWND owner;
    MessageFilter filter;
    void* context;
};

std::vector<Filter>& Filters()
{
    static std::vector<Filter> filters;
    return filters;
}
} // namespace

void AddMessageFilter(HWND owner, MessageFilter filter, void* context)
{
    RemoveMessageFilter(owner);
    Filters().push_back({ owner, filter, context });
}

void RemoveMessageFilter(HWND owner)
{
    auto& v = Filters();
    v.erase(std::remove_if(v.begin(), v.end(), [owner](const Filter& f) { return f.owner == owner; }), v.end());
}

void AddModelessDialog(HWND dialog)
{
    auto& v = ModelessDialogs();
    if (std::find(v.begin(), v.end(), dialog) == v.end())
        v.push_back(dialog);
}

void RemoveModelessDialog(HWND dialog)
{
    auto& v = ModelessDialogs();
    v.erase(std::remove(v.begin(), v.end(), dialog), v.end());
}

bool PreTranslateDialogMessage(MSG* msg)
{
    // A copy: a filter may remove itself.
    std::vector<Filter> filters = Filters();
    for (const Filter& f : filters)
        if (f.filter(f.context, *msg))
            return true;
    // Nested dialogs (pages inside the main window) are handled by their
    // top-level ancestor's IsDialogMessage, so only top-level ones are asked.
    for (HWND dialog : ModelessDialogs()) {
        if (GetWindowLongPtrW(dialog, GWL_STYLE) & WS_CHILD)
            continue;
        if ((msg->hwnd == dialog || IsChild(dialog, msg->hwnd)) && IsDialogMessageW(dialog, msg))
            return true;
    }
    return false;
}

int RunMessageLoop()
{
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1)
            break;
        if (PreTranslateDialogMessage(&msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

} // namespace ui
