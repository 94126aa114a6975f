// CJobWorker: one thread that runs a window's background jobs one after
// another (snapshots, module and handle lists, searches). A job hands its
// result to its window by a posted message; only the window's thread touches
// the window's controls. The owner stops the worker before its window goes:
// queued jobs are dropped, the running one sees the stop flag, the thread is
// joined.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

class CJobWorker {
public:
    using Job = std::function<void(const std::atomic<bool>& stop)>;

    CJobWorker() = default;
    ~CJobWorker() { Stop(); }
    CJobWorker(const CJobWorker&) = delete;
    CJobWorker& operator=(const CJobWorker&) = delete;

    // Queues a job; the thread starts with the first one. Ignored after Stop.
    void Post(Job job);
    // Drops the jobs that have not started.
    void DropQueued();
    // Drops queued jobs, sets the stop flag for the running one, and waits
    // for the thread to end.
    void Stop();
    bool Busy() const;

private:
    void Run();

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    std::atomic<bool> m_stop{ false };
    bool m_running = false; // a job is being run
    bool m_stopped = false;
    std::thread m_thread;
};

// A job's result on its way to the window thread: the job puts it and a
// message is posted to the window, which takes it when the message arrives.
// A result not yet taken is replaced by the next one.
template <typename T>
class CHandOver {
public:
    void Put(T value, HWND window, UINT message)
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_value = std::move(value);
        }
        PostMessageW(window, message, 0, 0);
    }
    // The result waiting, or an empty one.
    T Take()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return std::exchange(m_value, T{});
    }

private:
    std::mutex m_lock;
    T m_value{};
};
