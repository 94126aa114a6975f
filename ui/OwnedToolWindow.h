#pragma once

#include "ui/Dialog.h"

#include <functional>
#include <memory>

// A top-level tool window that a page owns: absent until first shown, shown
// again (restored when minimised) while it is still a window, made anew after
// the user closed it, closed and deleted with its owner. The window object
// comes from a factory; it must not delete itself when its window goes.
class COwnedToolWindow {
public:
    using Factory = std::function<std::unique_ptr<ui::CDialog>()>;

    COwnedToolWindow() = default;
    ~COwnedToolWindow() { Close(); }
    COwnedToolWindow(const COwnedToolWindow&) = delete;
    COwnedToolWindow& operator=(const COwnedToolWindow&) = delete;

    void SetFactory(Factory factory) { m_factory = std::move(factory); }
    bool HasFactory() const { return static_cast<bool>(m_factory); }

    // Shows the held window or a new one (parent: the desktop), activates it
    // and brings it to the foreground. The window, or null when there is no
    // factory or the window cannot be created.
    ui::CDialog* Show();
    // The held window while it is a window, else null.
    ui::CDialog* Get() const;
    // Sends WM_CLOSE to the held window when it is still a window, then
    // deletes the object.
    void Close();

private:
    Factory m_factory;
    std::unique_ptr<ui::CDialog> m_window;
};
