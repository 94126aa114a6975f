// RAII owners for the three kinds of handles the program keeps: kernel
// handles, GDI objects and icons. Nothing leaks on an early return.
#pragma once

#include <windows.h>

#include <utility>

namespace ui {

// Kernel handle (event, mutex, file, thread...). Both null and
// INVALID_HANDLE_VALUE count as "no handle".
class CHandle {
public:
    CHandle() = default;
    explicit CHandle(HANDLE h) : m_h(h) {}
    ~CHandle() { Close(); }
    CHandle(CHandle&& o) noexcept : m_h(o.Release()) {}
    CHandle& operator=(CHandle&& o) noexcept { if (this != &o) Reset(o.Release()); return *this; }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    HANDLE Get() const { return m_h; }
    bool Valid() const { return m_h && m_h != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return Valid(); }
    HANDLE Release() { HANDLE h = m_h; m_h = nullptr; return h; }
    void Reset(HANDLE h = nullptr) { Close(); m_h = h; }
    void Close() { if (Valid()) CloseHandle(m_h); m_h = nullptr; }

private:
    HANDLE m_h = nullptr;
};

// GDI object (bitmap, brush, font, pen, region).
template <typename T>
class CGdiObject {
public:
    CGdiObject() = default;
    explicit CGdiObject(T h) : m_h(h) {}
    ~CGdiObject() { Reset(); }
    CGdiObject(CGdiObject&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    CGdiObject& operator=(CGdiObject&& o) noexcept { if (this != &o) { Reset(); m_h = std::exchange(o.m_h, nullptr); } return *this; }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    T Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    void Reset(T h = nullptr) { if (m_h) DeleteObject(m_h); m_h = h; }

private:
    T m_h = nullptr;
};

using CBitmap = CGdiObject<HBITMAP>;
using CBrush = CGdiObject<HBRUSH>;
using CFont = CGdiObject<HFONT>;
using CPen = CGdiObject<HPEN>;

// Icon created or loaded with LoadImage (not a shared icon).
class CIcon {
public:
    CIcon() = default;
    explicit CIcon(HICON h) : m_h(h) {}
    ~CIcon() { Reset(); }
    CIcon(const CIcon&) = delete;
    CIcon& operator=(const CIcon&) = delete;
    HICON Get() const { return m_h; }
    void Reset(HICON h = nullptr) { if (m_h) DestroyIcon(m_h); m_h = h; }

private:
    HICON m_h = nullptr;
};

} // namespace ui
