// The promotion area of the main window: a picture that opens an address
// when clicked and shows a tooltip, and a sliding banner whose items each
// have a tooltip and an address. It starts with the built-in animated picture
// (resource "GIF" 202), tooltip string 243 and the vendor's address, applies
// the stored feed "AD\AD.xml" at once, and when that feed is missing,
// incomplete or two days old, fetches a fresh one on the feed thread one
// second later (timer 200 of the owner). The feed thread posts
// WM_FEED_READY to the owner; the owner's thread applies the fresh feed.
//
// The owner creates the area over two placeholder controls and hands it the
// messages it asks for: WM_TIMER (OnTimer), WM_FEED_READY and WM_BANNER_CLICK
// (OnMessage), and the picture's click (OnCommand).
#pragma once

#include "controls/VxBanner.h"
#include "controls/VxPicture.h"
#include "promo/FeedFetch.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class CConfig;

// Timer of the owner window that starts the feed thread.
const UINT_PTR kFeedTimer = 200;
const UINT kFeedFetchDelayMs = 1000;

class CPromoArea {
public:
    // Opens an address (default: the shell's "open").
    using Opener = std::function<void(const std::wstring& address)>;

    // The settings name the program folder and the feed address; they must
    // outlive the area.
    explicit CPromoArea(const CConfig* config);
    // Ends the feed thread.
    ~CPromoArea();
    CPromoArea(const CPromoArea&) = delete;
    CPromoArea& operator=(const CPromoArea&) = delete;

    void SetOpener(Opener opener) { m_open = std::move(opener); }
    // For tests: the feed's transfer limits and the banner's timing.
    void SetFetchLimits(const FEED_FETCH_LIMITS& limits) { m_limits = limits; }
    void SetBannerTiming(const CVxBanner::Timing& timing);

    // Creates the picture and the banner over their placeholders in `owner`,
    // sets the defaults and applies the stored feed (ApplyFeed(false)).
    bool Create(HWND owner, HWND picturePlaceholder, HWND bannerPlaceholder);

    // Applies the stored feed as far as it is complete. Right after a
    // download (`afterDownload`) it never schedules another one; otherwise a
    // missing, incomplete or stale feed starts timer 200.
    void ApplyFeed(bool afterDownload);

    // The owner's messages; true when the area handled them.
    bool OnTimer(UINT_PTR id);
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    bool OnCommand(int id, int code);

    // Cancels the feed download and waits for the thread (about a second).
    void Shutdown();

    const std::wstring& ClickAddress() const { return m_clickAddress; }
    const std::wstring& ItemAddress(int index) const { return m_itemAddresses.at(static_cast<size_t>(index)); }
    bool FetchScheduled() const { return m_fetchScheduled; }
    bool FeedThreadAlive() const { return m_thread.IsAlive(); }
    CVxPicture& Picture() { return m_picture; }
    CVxBanner& Banner() { return m_banner; }

private:
    void StartFeedThread();
    void Open(const std::wstring& address) const;

    const CConfig* m_config;
    HWND m_owner = nullptr;
    CVxPicture m_picture;
    CVxBanner m_banner;
    std::wstring m_clickAddress;
    std::vector<std::wstring> m_itemAddresses;
    bool m_fetchScheduled = false;
    FEED_FETCH_LIMITS m_limits;
    CFeedThread m_thread;
    Opener m_open;
};
