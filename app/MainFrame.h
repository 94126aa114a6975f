// The hidden top-level frame "HarrowmereMainFrame" and its client view. The
// view loads the settings and creates the main window; closing the frame
// deletes the main window object and ends the message loop.
#pragma once

#include "ui/Window.h"

#include <memory>

class CHarrowmereDlg;

class CChildView : public ui::CWindow {
public:
    // `background`: the command line asked for a hidden start.
    explicit CChildView(bool background);
    ~CChildView() override;

    // Loads the settings, creates the main window (shown unless the command
    // line says "background"), then creates the view window itself.
    bool CreateView(HWND frame);
    CHarrowmereDlg* MainDialog() const { return m_mainDialog.get(); }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    bool m_background;
    std::unique_ptr<CHarrowmereDlg> m_mainDialog;
};

class CMainFrame : public ui::CWindow {
public:
    explicit CMainFrame(bool background);
    ~CMainFrame() override;

    // Creates the hidden frame: style 0, tool window, at 0,0 with size 0x0.
    bool CreateFrame();
    CChildView& View() { return m_view; }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    CChildView m_view;
};
