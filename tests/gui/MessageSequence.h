// A recorder of the messages that windows of this thread receive, and a
// comparison with an expected table, for tests where the order of messages
// matters. Sent messages are seen by a call-window hook before the window
// procedure runs, posted ones by a get-message hook when they are taken from
// the queue; both hooks belong to the recorder's thread.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <set>
#include <vector>

namespace gui {

struct RecordedMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool posted;
};

// One row of an expected sequence.
enum SequenceFlags : unsigned {
    SEQ_SENT = 1,     // must have been sent
    SEQ_POSTED = 2,   // must have been posted
    SEQ_WPARAM = 4,   // wParam must equal the row's
    SEQ_OPTIONAL = 8, // may be missing
    SEQ_WINDOW = 16,  // must have gone to the row's window
};
struct ExpectedMessage {
    UINT message;
    unsigned flags = 0;
    WPARAM wParam = 0;
    HWND hwnd = nullptr;
};

class CMessageRecorder {
public:
    // Records the listed messages from now until destruction (one recorder
    // per thread at a time).
    explicit CMessageRecorder(std::initializer_list<UINT> messages);
    ~CMessageRecorder();
    CMessageRecorder(const CMessageRecorder&) = delete;
    CMessageRecorder& operator=(const CMessageRecorder&) = delete;

    const std::vector<RecordedMessage>& Sequence() const { return m_sequence; }
    void Clear() { m_sequence.clear(); }

private:
    static LRESULT CALLBACK CallHook(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK GetHook(int code, WPARAM wParam, LPARAM lParam);
    void Record(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool posted);

    std::set<UINT> m_messages;
    std::vector<RecordedMessage> m_sequence;
    HHOOK m_callHook = nullptr;
    HHOOK m_getHook = nullptr;
};

// The messages of `recorded` that went to `hwnd`.
std::vector<RecordedMessage> ForWindow(const std::vector<RecordedMessage>& recorded, HWND hwnd);

// Success when the recorded sequence is the expected one, row by row
// (optional rows may be missing); otherwise a failure that lists both.
::testing::AssertionResult SequenceMatches(const std::vector<RecordedMessage>& recorded,
                                           const std::vector<ExpectedMessage>& expected);

} // namespace gui
