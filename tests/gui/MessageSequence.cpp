#include "gui/MessageSequence.h"

#include <sstream>

namespace gui {

namespace {
thread_local CMessageRecorder* t_recorder = nullptr;
}

CMessageRecorder::CMessageRecorder(std::initializer_list<UINT> messages) : m_messages(messages)
{
    t_recorder = this;
    m_callHook = SetWindowsHookExW(WH_CALLWNDPROC, CallHook, nullptr, GetCurrentThreadId());
    m_getHook = SetWindowsHookExW(WH_GETMESSAGE, GetHook, nullptr, GetCurrentThreadId());
}

CMessageRecorder::~CMessageRecorder()
{
    if (m_callHook)
        UnhookWindowsHookEx(m_callHook);
    if (m_getHook)
        UnhookWindowsHookEx(m_getHook);
    if (t_recorder == this)
        t_recorder = nullptr;
}

void CMessageRecorder::Record(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool posted)
{
    if (m_messages.count(message))
        m_sequence.push_back({ hwnd, message, wParam, lParam, posted });
}

LRESULT CALLBACK CMessageRecorder::CallHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && t_recorder) {
        const CWPSTRUCT* c = reinterpret_cast<const CWPSTRUCT*>(lParam);
        t_recorder->Record(c->hwnd, c->message, c->wParam, c->lParam, false);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK CMessageRecorder::GetHook(int code, WPARAM wParam, LPARAM lParam)
{
    // Only messages taken off the queue: a peek that leaves them there would
    // be recorded again when they are taken.
    if (code == HC_ACTION && wParam == PM_REMOVE && t_recorder) {
        const MSG* m = reinterpret_cast<const MSG*>(lParam);
        t_recorder->Record(m->hwnd, m->message, m->wParam, m->lParam, true);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

namespace {

bool RowMatches(const RecordedMessage& got, const ExpectedMessage& want)
{
    if (got.message != want.message)
        return false;
    if ((want.flags & SEQ_SENT) && got.posted)
        return false;
    if ((want.flags & SEQ_POSTED) && !got.posted)
        return false;
    if ((want.flags & SEQ_WPARAM) && got.wParam != want.wParam)
        return false;
    if ((want.flags & SEQ_WINDOW) && got.hwnd != want.hwnd)
        return false;
    return true;
}

std::string Describe(const std::vector<RecordedMessage>& recorded, const std::vector<ExpectedMessage>& expected)
{
    std::ostringstream out;
    out << "recorded:";
    for (const RecordedMessage& r : recorded)
        out << " 0x" << std::hex << r.message << (r.posted ? "(posted" : "(sent") << " w=" << std::dec
            << static_cast<unsigned long long>(r.wParam) << ")";
    out << "\nexpected:";
    for (const ExpectedMessage& e : expected)
        out << " 0x" << std::hex << e.message << std::dec << ((e.flags & SEQ_OPTIONAL) ? "?" : "");
    return out.str();
}

} // namespace

std::vector<RecordedMessage> ForWindow(const std::vector<RecordedMessage>& recorded, HWND hwnd)
{
    std::vector<RecordedMessage> out;
    for (const RecordedMessage& r : recorded)
        if (r.hwnd == hwnd)
            out.push_back(r);
    return out;
}

::testing::AssertionResult SequenceMatches(const std::vector<RecordedMessage>& recorded,
                                           const std::vector<ExpectedMessage>& expected)
{
    size_t at = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        if (at < recorded.size() && RowMatches(recorded[at], expected[i])) {
            ++at;
            continue;
        }
        if (expected[i].flags & SEQ_OPTIONAL)
            continue;
        return ::testing::AssertionFailure() << "row " << i << " is missing or out of order\n"
                                             << Describe(recorded, expected);
    }
    if (at != recorded.size())
        return ::testing::AssertionFailure() << (recorded.size() - at) << " message(s) more than expected\n"
                                             << Describe(recorded, expected);
    return ::testing::AssertionSuccess();
}

} // namespace gui
