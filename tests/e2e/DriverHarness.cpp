#include "e2e/DriverHarness.h"
#include "TestRegistry.h"
#include "support/Wait.h"

#include <winioctl.h>

#include <chrono>
#include <cstring>

namespace drivertest {
namespace {

const wchar_t kServiceName[] = L"Harrowmere";
const wchar_t kServiceKey[] = L"System\\CurrentControlSet\\Services\\Harrowmere";

std::wstring FolderOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring InstalledDriverPath()
{
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system) + L"\\drivers\\Harrowmere.sys";
}

bool WaitForServiceState(SC_HANDLE service, DWORD state)
{
    bool queried = true;
    const bool reached = testwait::WaitUntil([&] {
        SERVICE_STATUS status = {};
        queried = QueryServiceStatus(service, &status) != FALSE;
        return !queried || status.dwCurrentState == state;
    }, 10000);
    return queried && reached;
}

std::wstring Quote(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

std::string ReadAll(HANDLE pipe)
{
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        text.append(buffer, got);
    return text;
}

void CopyField(uint16_t* field, size_t chars, const std::wstring& text)
{
    size_t n = text.size() < chars - 1 ? text.size() : chars - 1;
    for (size_t i = 0; i < n; ++i)
        field[i] = uint16_t(text[i]);
    field[n] = 0;
}

template <size_t N>
std::wstring FieldText(const uint16_t (&field)[N], bool* terminated)
{
    std::wstring text;
    for (size_t i = 0; i < N; ++i) {
        if (field[i] == 0) {
            *terminated = true;
            return text;
        }
        text += wchar_t(field[i]);
    }
    *terminated = false;
    return text;
}

SeenRequest Capture(volatile WATCH_SHARED_RECORD* shared)
{
    WATCH_SHARED_RECORD copy;
    memcpy(&copy, const_cast<WATCH_SHARED_RECORD*>(shared), sizeof(copy));
    SeenRequest seen;
    seen.kind = copy.kind;
    seen.presetVerdict = copy.verdict;
    seen.param1 = FieldText(copy.param1, &seen.param1Terminated);
    seen.param2 = FieldText(copy.param2, &seen.param2Terminated);
    for (size_t i = 0; i < WATCH_PROCESS_CHARS; ++i) {
        if (copy.processName[i] == 0) {
            seen.nameTerminated = true;
            break;
        }
        seen.processName += copy.processName[i];
    }
    seen.processId = copy.processId;
    seen.ruleId = copy.ruleId;
    return seen;
}

} // namespace

std::wstring StagedFile(const wchar_t* name)
{
    wchar_t configured[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"HM_STAGE_DIR", configured, MAX_PATH) > 0)
        return std::wstring(configured) + L"\\" + name;
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    return FolderOf(FolderOf(module)) + L"\\stage\\" + name;
}

HANDLE OpenDriverDevice()
{
    return CreateFileW(L"\\\\.\\Global\\Harrowmere", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE HoldDriverSession()
{
    if (!StartDriverService(0))
        return INVALID_HANDLE_VALUE;
    HANDLE device = OpenDriverDevice();
    uint64_t address = 0;
    DWORD got = 0;
    if (device != INVALID_HANDLE_VALUE &&
        !DeviceIoControl(device, IOCTL_WATCH_GET_SHARED, nullptr, 0, &address, sizeof(address), &got, nullptr)) {
        CloseHandle(device);
        return INVALID_HANDLE_VALUE;
    }
    return device;
}

bool StopDriverService()
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return false;
    SC_HANDLE service = OpenServiceW(manager, kServiceName, SERVICE_ALL_ACCESS);
    bool stopped = true;
    if (service) {
        SERVICE_STATUS status = {};
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        stopped = WaitForServiceState(service, SERVICE_STOPPED);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return stopped;
}

void ClearReplyTimeout()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, L"ReplyTimeout");
        RegCloseKey(key);
    }
}

bool StartDriverService(DWORD replyTimeoutMs)
{
    if (!StopDriverService())
        return false;
    if (!CopyFileW(StagedFile(L"Harrowmere.sys").c_str(), InstalledDriverPath().c_str(), FALSE))
        return false;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return false;
    SC_HANDLE service = CreateServiceW(manager, kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                       SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                       SERVICE_ERROR_NORMAL, InstalledDriverPath().c_str(), nullptr,
                                       nullptr, nullptr, nullptr, nullptr);
    if (!service)
        service = OpenServiceW(manager, kServiceName, SERVICE_ALL_ACCESS);
    bool started = false;
    if (service) {
        if (replyTimeoutMs == 0) {
            ClearReplyTimeout();
        } else {
            testreg::SetValue(HKEY_LOCAL_MACHINE, kServiceKey, L"ReplyTimeout", REG_DWORD,
                            &replyTimeoutMs, sizeof(replyTimeoutMs));
        }
        started = StartServiceW(service, 0, nullptr) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return started && testwait::WaitUntil([] {
        HANDLE device = OpenDriverDevice();
        if (device == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(device);
        return true;
    }, 5000);
}

std::vector<uint8_t> BuildTestImage(const std::vector<TestRule>& rules)
{
    std::vector<uint8_t> image(12, 0);
    uint32_t header[3] = {};
    auto put32 = [](std::vector<uint8_t>& v, size_t at, uint32_t value) {
        memcpy(&v[at], &value, 4);
    };
    for (uint16_t kind = 0; kind < 3; ++kind) {
        header[kind] = uint32_t(image.size());
        for (const TestRule& rule : rules) {
            if (rule.kind != kind)
                continue;
            std::vector<uint8_t> payload;
            uint32_t offsets[2] = {};
            for (size_t i = 0; i < rule.patterns.size(); ++i) {
                offsets[i] = uint32_t(payload.size());
                const std::wstring& p = rule.patterns[i];
                if (p.empty())
                    continue; // matches anything: no payload
                const uint8_t* bytes = reinterpret_cast<const uint8_t*>(p.c_str());
                payload.insert(payload.end(), bytes, bytes + 2 * (p.size() + 1));
            }
            std::vector<uint8_t> record(28 + payload.size(), 0);
            put32(record, 0, rule.id);
            memcpy(&record[4], &kind, 2);
            put32(record, 8, uint32_t(record.size()));
            put32(record, 12, uint32_t(rule.patterns.size()));
            put32(record, 16, offsets[0]);
            put32(record, 20, rule.patterns.size() > 1 ? offsets[1] : 0);
            std::copy(payload.begin(), payload.end(), record.begin() + 24);
            image.insert(image.end(), record.begin(), record.end());
        }
    }
    memcpy(&image[0], header, sizeof(header));
    return image;
}

// ---- TestProgram ----------------------------------------------------------

TestProgram::~TestProgram()
{
    Stop();
}

bool TestProgram::Control(DWORD code, const void* input, DWORD inputSize)
{
    DWORD got = 0;
    return DeviceIoControl(device_, code, const_cast<void*>(input), inputSize, nullptr, 0, &got,
                           nullptr) != FALSE;
}

bool TestProgram::Begin()
{
    device_ = OpenDriverDevice();
    if (device_ == INVALID_HANDLE_VALUE)
        return false;
    uint64_t address = 0;
    DWORD got = 0;
    if (!DeviceIoControl(device_, IOCTL_WATCH_GET_SHARED, nullptr, 0, &address, sizeof(address), &got,
                         nullptr) ||
        address == 0)
        return false;
    record_ = reinterpret_cast<volatile WATCH_SHARED_RECORD*>(uintptr_t(address));
    DWORD pid = GetCurrentProcessId();
    if (!Control(IOCTL_WATCH_SET_PID, &pid, sizeof(pid)))
        return false;
    request_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    done_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    quit_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    gate_ = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    record_->requestEvent = uint32_t(uintptr_t(request_));
    record_->doneEvent = uint32_t(uintptr_t(done_));
    answerer_ = std::thread(&TestProgram::AnswerLoop, this);
    return true;
}

bool TestProgram::Start(const std::vector<uint8_t>& image)
{
    return Begin() && Control(IOCTL_WATCH_SET_RULES, image.data(), DWORD(image.size())) &&
           Control(IOCTL_WATCH_START, nullptr, 0);
}

bool TestProgram::Restart()
{
    return Control(IOCTL_WATCH_STOP, nullptr, 0) && Control(IOCTL_WATCH_START, nullptr, 0);
}

void TestProgram::CloseDevice()
{
    if (device_ != INVALID_HANDLE_VALUE)
        CloseHandle(device_);
    device_ = INVALID_HANDLE_VALUE;
}

void TestProgram::Stop()
{
    if (device_ != INVALID_HANDLE_VALUE) {
        Control(IOCTL_WATCH_STOP, nullptr, 0);
        CloseHandle(device_);
        device_ = INVALID_HANDLE_VALUE;
    }
    if (answerer_.joinable()) {
        SetEvent(quit_);
        answerer_.join();
    }
    for (HANDLE* h : { &request_, &done_, &quit_, &gate_ }) {
        if (*h)
            CloseHandle(*h);
        *h = nullptr;
    }
}

void TestProgram::SetPolicy(Policy policy)
{
    std::lock_guard<std::mutex> lock(mutex_);
    policy_ = std::move(policy);
}

void TestProgram::HoldAnswers()
{
    ResetEvent(gate_);
}

void TestProgram::ReleaseAnswers()
{
    SetEvent(gate_);
}

std::vector<SeenRequest> TestProgram::Seen()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

bool TestProgram::WaitSeen(size_t count, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return seenChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return seen_.size() >= count; });
}

// The answering thread: like the program's request thread, it waits for the
// request event, writes a verdict, resets the request event and sets the
// done event. Ends when `quit_` is set, also while answers are held.
void TestProgram::AnswerLoop()
{
    HANDLE waits[2] = { quit_, request_ };
    for (;;) {
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            return;
        SeenRequest seen = Capture(record_);
        uint16_t verdict = WATCH_VERDICT_ACCEPT;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (policy_)
                verdict = policy_(seen);
            seen_.push_back(seen);
        }
        seenChanged_.notify_all();
        HANDLE gate[2] = { quit_, gate_ };
        if (WaitForMultipleObjects(2, gate, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            return;
        record_->verdict = verdict;
        ResetEvent(request_);
        SetEvent(done_);
    }
}

// ---- injection --------------------------------------------------------------

bool InjectOperation(uint32_t kind, const std::wstring& param1, const std::wstring& param2,
                     WATCH_INJECT_RESULT* result, DWORD* error)
{
    std::vector<WATCH_INJECT_OPERATION> buffer(1);
    WATCH_INJECT_OPERATION& op = buffer[0];
    memset(&op, 0, sizeof(op));
    op.kind = kind;
    op.processId = GetCurrentProcessId();
    CopyField(op.processName, WATCH_INJECT_PROCESS_CHARS, L"hm_e2e_tests.exe");
    CopyField(op.param1, WATCH_INJECT_PARAM1_CHARS, param1);
    CopyField(op.param2, WATCH_INJECT_PARAM2_CHARS, param2);
    HANDLE device = OpenDriverDevice();
    DWORD got = 0;
    bool ok = device != INVALID_HANDLE_VALUE &&
              DeviceIoControl(device, IOCTL_WATCH_INJECT, &op, sizeof(op), result, sizeof(*result),
                              &got, nullptr) &&
              got == sizeof(*result);
    if (error)
        *error = ok ? 0 : GetLastError();
    if (device != INVALID_HANDLE_VALUE)
        CloseHandle(device);
    return ok;
}

static std::wstring WatchSimCommand(const std::vector<std::wstring>& arguments)
{
    std::wstring command = Quote(StagedFile(L"WatchSim.exe"));
    for (const std::wstring& a : arguments)
        command += L" " + Quote(a);
    return command;
}

HANDLE StartWatchSim(const std::vector<std::wstring>& arguments)
{
    std::wstring command = WatchSimCommand(arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(StagedFile(L"WatchSim.exe").c_str(), &command[0], nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

WatchSimRun RunWatchSim(const std::vector<std::wstring>& arguments)
{
    WatchSimRun run;
    std::wstring exe = StagedFile(L"WatchSim.exe");
    std::wstring command = WatchSimCommand(arguments);

    SECURITY_ATTRIBUTES inherit = { sizeof(inherit), nullptr, TRUE };
    HANDLE outRead, outWrite, errRead, errWrite;
    CreatePipe(&outRead, &outWrite, &inherit, 0);
    CreatePipe(&errRead, &errWrite, &inherit, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(0);
    BOOL created = CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &process);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (created) {
        run.pid = process.dwProcessId;
        std::thread outReader([&] { run.out = ReadAll(outRead); });
        std::thread errReader([&] { run.err = ReadAll(errRead); });
        if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0)
            TerminateProcess(process.hProcess, 0xFFFFFFFF);
        outReader.join();
        errReader.join();
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(outRead);
    CloseHandle(errRead);
    return run;
}

} // namespace drivertest
