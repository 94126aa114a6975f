#include "gui/ModalWatch.h"

#include <algorithm>
#include <vector>

namespace gui {

namespace {

std::vector<ModalWatch*>& Watches()
{
    static std::vector<ModalWatch*> watches;
    return watches;
}
UINT_PTR g_timer = 0;
// Windows whose action is running: an action that pumps messages must not
// see its own window served again by a later watch.
std::vector<HWND> g_acting;

struct Search {
    const std::wstring* title;
    HWND found;
};

BOOL CALLBACK FindTitled(HWND hwnd, LPARAM param)
{
    auto* search = reinterpret_cast<Search*>(param);
    if (IsWindowVisible(hwnd) && IsWindowEnabled(hwnd) && TextOf(hwnd) == *search->title &&
        std::find(g_acting.begin(), g_acting.end(), hwnd) == g_acting.end()) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

VOID CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    ServeWatches();
}

} // namespace

void ServeWatches()
{
    // A copy: an action may open another modal window (and loop here again).
    std::vector<ModalWatch*> watches = Watches();
    for (ModalWatch* watch : watches) {
        if (watch->m_seen || std::find(Watches().begin(), Watches().end(), watch) == Watches().end())
            continue;
        Search search{ &watch->m_title, nullptr };
        EnumThreadWindows(GetCurrentThreadId(), FindTitled, reinterpret_cast<LPARAM>(&search));
        if (!search.found)
            continue;
        watch->m_seen = true;
        watch->m_boxText = TextOf(search.found, 0xFFFF);
        g_acting.push_back(search.found);
        watch->m_action(search.found);
        g_acting.pop_back();
        return; // one at a time: the next one after this modal loop settles
    }
}

ModalWatch::ModalWatch(std::wstring title, std::function<void(HWND)> action)
    : m_title(std::move(title)), m_action(std::move(action))
{
    Watches().push_back(this);
    if (!g_timer)
        g_timer = SetTimer(nullptr, 0, 30, OnTimer);
}

ModalWatch::~ModalWatch()
{
    auto& v = Watches();
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    if (v.empty() && g_timer) {
        KillTimer(nullptr, g_timer);
        g_timer = 0;
    }
}

void PressButton(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::wstring TextOf(HWND dialog, int id)
{
    HWND hwnd = id ? GetDlgItem(dialog, id) : dialog;
    if (!hwnd)
        return std::wstring();
    wchar_t text[4096] = {};
    GetWindowTextW(hwnd, text, 4096);
    return text;
}

} // namespace gui
