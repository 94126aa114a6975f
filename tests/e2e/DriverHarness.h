// Test-side helpers for the driver protocol: the driver service, a minimal
// program side that answers requests through the shared record, hand-built
// rule table images, and runs of the injector.
#pragma once

#include "driver/common/InjectProtocol.h"

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace drivertest {

// A file of the stage folder (beside the test folder, or HM_STAGE_DIR).
std::wstring StagedFile(const wchar_t* name);

// Stops the driver service if it runs, installs the staged driver, writes
// (or with 0 deletes) "ReplyTimeout" in the service key and starts it. True
// once the device opens.
bool StartDriverService(DWORD replyTimeoutMs);

// Stops the driver service and waits until it has stopped. True when stopped
// (or never installed).
bool StopDriverService();

// Deletes "ReplyTimeout" from the service key.
void ClearReplyTimeout();

// Opens the driver's device; INVALID_HANDLE_VALUE when it is absent.
HANDLE OpenDriverDevice();

// Starts the service and begins a session on a handle of this process's
// own, as another program would that got to the driver first; the handle
// (closing it ends the session), or INVALID_HANDLE_VALUE.
HANDLE HoldDriverSession();

// One rule of a hand-built image: an empty pattern stands for a parameter
// that matches anything (no payload).
struct TestRule {
    uint16_t kind;
    uint32_t id;
    std::vector<std::wstring> patterns;
};

// The rule table image: 12-byte header, then the records sorted by kind.
std::vector<uint8_t> BuildTestImage(const std::vector<TestRule>& rules);

// What the program side found in the shared record when it was asked.
struct SeenRequest {
    uint16_t kind = 0;
    uint16_t presetVerdict = 0;
    std::wstring param1;
    std::wstring param2;
    std::string processName; // raw bytes, system code page
    uint32_t processId = 0;
    uint32_t ruleId = 0;
    bool param1Terminated = false; // a NUL inside the field
    bool param2Terminated = false;
    bool nameTerminated = false;
};

// The program's side of the protocol, reduced to what the tests need.
class TestProgram {
public:
    using Policy = std::function<uint16_t(const SeenRequest&)>;

    ~TestProgram();

    // Open the device, GET_SHARED, SET_PID, create the events and start the
    // answering thread. False when a step fails.
    bool Begin();
    // Begin, SET_RULES, START. False when a step fails.
    bool Start(const std::vector<uint8_t>& image);
    // STOP, end the answering thread, close the events and the device.
    void Stop();
    // STOP and START again with the same events (a rule reload).
    bool Restart();
    // Closes the device without STOP, as a program that ends abruptly.
    void CloseDevice();

    bool Control(DWORD code, const void* input, DWORD inputSize);
    HANDLE Device() const { return device_; }
    volatile WATCH_SHARED_RECORD* Record() const { return record_; }

    // The verdict written for each request (default Accept).
    void SetPolicy(Policy policy);
    // While held, requests are seen but not answered.
    void HoldAnswers();
    void ReleaseAnswers();

    std::vector<SeenRequest> Seen();
    // Waits until `count` requests have been seen; false after `timeoutMs`.
    bool WaitSeen(size_t count, DWORD timeoutMs);

private:
    void AnswerLoop();

    HANDLE device_ = INVALID_HANDLE_VALUE;
    volatile WATCH_SHARED_RECORD* record_ = nullptr;
    HANDLE request_ = nullptr;
    HANDLE done_ = nullptr;
    HANDLE quit_ = nullptr;
    HANDLE gate_ = nullptr; // set: answers flow; reset: held
    std::thread answerer_;
    std::mutex mutex_;
    std::condition_variable seenChanged_;
    std::vector<SeenRequest> seen_;
    Policy policy_;
};

// Sends one operation through IOCTL_WATCH_INJECT on a device of its own.
// False when the call fails; `error` receives the last error then.
bool InjectOperation(uint32_t kind, const std::wstring& param1, const std::wstring& param2,
                     WATCH_INJECT_RESULT* result, DWORD* error = nullptr);

struct WatchSimRun {
    DWORD exitCode = 0xFFFFFFFF;
    DWORD pid = 0;
    std::string out;
    std::string err;
};

// Runs the staged WatchSim.exe with the arguments (quoted as needed) and
// collects its output; a run that takes longer than two minutes is ended.
WatchSimRun RunWatchSim(const std::vector<std::wstring>& arguments);

// Starts WatchSim.exe without waiting and without collecting its output;
// returns the process handle (null on failure).
HANDLE StartWatchSim(const std::vector<std::wstring>& arguments);

} // namespace drivertest
