// Base of the program's process-wide objects (settings, driver link). The one
// object is created on first use by Instance() and deleted explicitly by its
// owner at shut-down with DeleteInstance(); a later Instance() creates a fresh
// one. Creation is thread-safe: the request thread and the main thread may
// both be the first to ask.
#pragma once

#include <atomic>
#include <mutex>
#include <new>

template <class T>
class CSingleton {
public:
    // The one object, created with T's default constructor on first call.
    // Returns null only when the allocation fails.
    static T* Instance()
    {
        T* object = s_instance.load(std::memory_order_acquire);
        if (object)
            return object;
        std::lock_guard<std::mutex> guard(s_lock);
        object = s_instance.load(std::memory_order_relaxed);
        if (!object) {
            object = new (std::nothrow) T();
            s_instance.store(object, std::memory_order_release);
        }
        return object;
    }

    // Deletes the object; no caller may still use a pointer to it.
    static void DeleteInstance()
    {
        std::lock_guard<std::mutex> guard(s_lock);
        delete s_instance.exchange(nullptr, std::memory_order_acq_rel);
    }

    // The object if it exists, without creating it.
    static T* PeekInstance() { return s_instance.load(std::memory_order_acquire); }

    CSingleton(const CSingleton&) = delete;
    CSingleton& operator=(const CSingleton&) = delete;

protected:
    CSingleton() = default;
    virtual ~CSingleton() = default;

private:
    static inline std::atomic<T*> s_instance{nullptr};
    static inline std::mutex s_lock;
};
