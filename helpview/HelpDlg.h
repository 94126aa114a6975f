// The help page of the main window (template 203): a white page with a
// title, a short explanation and a link to the online help address, which
// the page opens in the user's browser.
#pragma once

#include "base/Handles.h"
#include "controls/VxLinkStatic.h"
#include "ui/Page.h"

#include <windows.h>

#include <functional>
#include <string>

class CHelpDlg : public ui::CPage {
public:
    // Opens an address; the default asks the shell ("open").
    using Opener = std::function<void(const std::wstring& address)>;

    CHelpDlg();

    // The online help address: the "/client" page of the vendor's site.
    static std::wstring HelpAddress();

    // Points the page at the online help address; the main window calls it
    // each time it shows the page.
    void Navigate();
    // The address the page shows.
    const std::wstring& Address() const { return m_address; }

    // Set before the link is clicked; null restores the shell.
    void SetOpener(Opener opener) { m_opener = std::move(opener); }

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(int id, int code, HWND control) override;

private:
    void OpenAddress();

    CVxLinkStatic m_link;
    std::wstring m_address;
    Opener m_opener;
    ui::CFont m_titleFont;
};
