// CInsertRegDlg: the registry path picker (template 194). A tree of the
// registry on the left, grown one level ahead as the user expands it, and
// the values of the selected key on the right. Import hands back the key
// path and the selected value's name and data.
//
// The first levels (the five hives and their subkeys) are read by a loader
// job on the window's CJobWorker that queues them and posts
// WM_INSERT_REG_HIVE_READY; the window's thread inserts them. Import and
// cancel are ignored until the loader is done.
#pragma once

#include "base/JobWorker.h"
#include "base/WindowState.h"
#include "controls/ReportList.h"
#include "controls/ResizableDlg.h"
#include "controls/SplitterControl.h"

#include <windows.h>
#include <commctrl.h>

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class CInsertRegDlg : public CResizableDlg {
public:
    // Subkey names of hive\relativePath (EnumRegistrySubKeys by default).
    using SubKeySource = std::function<std::vector<std::wstring>(HKEY hive, const std::wstring& relativePath)>;

    // `stateKey`: where "InsertRegWnd" and "InsertRegWndList" are kept.
    explicit CInsertRegDlg(const WindowStateKey& stateKey);
    ~CInsertRegDlg() override;

    // The caller's three result strings, set before the dialog runs. Import
    // fills them (or leaves them when nothing below the computer is
    // selected); cancel leaves them.
    void SetResults(std::wstring* keyPath, std::wstring* valueName, std::wstring* valueData)
    {
        m_keyPath = keyPath;
        m_valueName = valueName;
        m_valueData = valueData;
    }
    // Where the loader and the expansion read subkeys from (tests).
    void SetSubKeySource(SubKeySource source) { m_subKeys = std::move(source); }

    bool IsLoading() const { return m_loading; }
    HWND Tree() const;
    const CReportList& Values() const { return m_list; }

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(int id, int code, HWND control) override;
    BOOL OnNotify(NMHDR* header, LRESULT& result) override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnDestroy() override;

private:
    void StartLoader();
    void InsertQueuedHives();
    HTREEITEM InsertItem(HTREEITEM parent, const std::wstring& text, int image, int selectedImage);
    // Names from the hive down to `item`; empty for the computer item.
    std::vector<std::wstring> NamesOf(HTREEITEM item) const;
    void OnExpanding(HTREEITEM item);
    void ShowValues(HTREEITEM item);
    void Import();
    void MoveSplitter(int delta);

    WindowStateKey m_stateKey;
    SubKeySource m_subKeys;
    std::wstring* m_keyPath = nullptr;
    std::wstring* m_valueName = nullptr;
    std::wstring* m_valueData = nullptr;

    CSplitterControl m_splitter;
    CReportList m_list;
    HIMAGELIST m_images = nullptr; // destroyed with the window
    HTREEITEM m_root = nullptr;

    // Runs the loader job: it reads the hives' subkeys, queues them under
    // m_queueLock and posts WM_INSERT_REG_HIVE_READY; it ends early on the
    // worker's stop flag. Stopped (joined) when the window is destroyed.
    CJobWorker m_loader;
    std::mutex m_queueLock;
    std::deque<std::pair<int, std::vector<std::wstring>>> m_queue;
    bool m_loading = false;
};
