#include "monitor/PromoArea.h"

#include "base/Config.h"
#include "base/Messages.h"
#include "base/Product.h"
#include "base/Shell.h"
#include "base/Strings.h"
#include "base/TextConv.h"
#include "res/resource.h"

CPromoArea::CPromoArea(const CConfig* config) : m_config(config) {}

CPromoArea::~CPromoArea()
{
    Shutdown();
}

void CPromoArea::SetBannerTiming(const CVxBanner::Timing& timing)
{
    m_banner.SetTiming(timing);
}

bool CPromoArea::Create(HWND owner, HWND picturePlaceholder, HWND bannerPlaceholder)
{
    m_owner = owner;
    if (!m_picture.CreateOver(picturePlaceholder) || !m_banner.CreateOver(bannerPlaceholder, WM_BANNER_CLICK))
        return false;
    m_picture.LoadResource(ui::ResourceModule(), L"GIF", IDR_PROMO_GIF);
    m_picture.SetTooltip(ui::LoadStr(IDS_PICTURE_TIP));
    m_clickAddress = HM_VENDOR_SITE;
    ApplyFeed(false);
    return true;
}

void CPromoArea::ApplyFeed(bool afterDownload)
{
    const std::wstring folder = m_config ? m_config->ProgramFolder() : std::wstring();
    const std::wstring path = FeedPath(folder);
    FEED_TEXT text;
    const SERIAL_STORE store = m_config ? SettingsSerialStore(m_config->Places()) : SERIAL_STORE();
    const FEED_UPDATE update = PlanFeedUpdate(ReadFeedFile(path, &text, store), text);
    if (update.url)
        m_clickAddress = AnsiToWide(*update.url);
    if (update.tooltip)
        m_picture.SetTooltip(AnsiToWide(*update.tooltip));
    if (update.image) {
        // A name that would leave "AD" (or an empty one) leaves the picture empty.
        const std::wstring picture = FeedPicturePath(folder, kFeedFolder, *update.image);
        m_picture.Unload();
        if (!picture.empty())
            m_picture.LoadFile(picture);
    }
    if (update.replaceItems) {
        m_banner.RemoveAllItems();
        m_itemAddresses.clear();
        for (const FEED_ITEM& item : update.items) {
            m_banner.AddItem(AnsiToWide(item.text), AnsiToWide(item.tooltip));
            m_itemAddresses.push_back(AnsiToWide(item.url));
        }
    }
    // At most one download per program run: only the first application,
    // the stored feed's, may schedule it.
    if (!afterDownload && FeedNeedsFetch(path, update.complete) && m_owner) {
        m_fetchScheduled = true;
        SetTimer(m_owner, kFeedTimer, kFeedFetchDelayMs, nullptr);
    }
}

void CPromoArea::StartFeedThread()
{
    std::wstring url;
    if (!m_config || m_config->GetFeedUrl(url) != 0 || url.empty())
        return;
    HWND owner = m_owner;
    m_thread.Start(m_config->ProgramFolder(), url,
                   [owner](int result) { PostMessageW(owner, WM_FEED_READY, static_cast<WPARAM>(result), 0); },
                   m_limits, SettingsSerialStore(m_config->Places()));
}

bool CPromoArea::OnTimer(UINT_PTR id)
{
    if (id != kFeedTimer)
        return false;
    KillTimer(m_owner, kFeedTimer);
    m_fetchScheduled = false;
    StartFeedThread();
    return true;
}

bool CPromoArea::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_FEED_READY:
        // At most one download per run: its thread goes with it.
        m_thread.EndWorker();
        if (wParam == 0)
            ApplyFeed(true);
        return true;
    case WM_BANNER_CLICK:
        if (wParam < m_itemAddresses.size())
            Open(m_itemAddresses[wParam]);
        return true;
    }
    return false;
}

bool CPromoArea::OnCommand(int id, int code)
{
    if (!m_picture.IsWindow() || id != GetDlgCtrlID(m_picture.Hwnd()))
        return false;
    if (code == STN_CLICKED && !m_clickAddress.empty())
        Open(m_clickAddress);
    return true;
}

void CPromoArea::Shutdown()
{
    if (m_owner)
        KillTimer(m_owner, kFeedTimer);
    m_thread.Cancel();
    m_thread.Wait(INFINITE);
}

void CPromoArea::Open(const std::wstring& address) const
{
    // Whatever the feed says, only web addresses are opened (OpenAddress
    // traces the refusal).
    if (!IsWebAddress(address)) {
        OpenAddress(m_owner, address);
        return;
    }
    if (m_open)
        m_open(address);
    else
        OpenAddress(m_owner, address);
}
