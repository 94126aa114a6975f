#include "rules/ui/InsertRegDlg.h"

#include "base/Messages.h"
#include "base/Strings.h"
#include "controls/TreeView.h"
#include "res/resource.h"
#include "sysview/RegistryBrowse.h"
#include "ui/Palette.h"
#include "ui/Window.h"

#include <algorithm>

namespace {

// Pictures of the shared image list.
enum { IMAGE_KEY = 0, IMAGE_KEY_OPEN = 1, IMAGE_COMPUTER = 2, IMAGE_TEXT_VALUE = 3, IMAGE_OTHER_VALUE = 4 };
const int kColumnWidth = 70;
const int kTreeMinWidth = 200, kTreeMaxWidth = 500;
const wchar_t kPlacementName[] = L"InsertRegWnd";
const wchar_t kColumnsName[] = L"InsertRegWndList";

} // namespace

CInsertRegDlg::CInsertRegDlg(const WindowStateKey& stateKey)
    : CResizableDlg(IDD_INSERT_REG), m_stateKey(stateKey), m_subKeys(EnumRegistrySubKeys)
{
    SetPlacementStore(stateKey, kPlacementName);
}

CInsertRegDlg::~CInsertRegDlg()
{
    m_loader.Stop();
}

HWND CInsertRegDlg::Tree() const
{
    return Item(IDC_INSERT_REG_TREE);
}

BOOL CInsertRegDlg::OnInitDialog()
{
    CResizableDlg::OnInitDialog();
    ui::SetWindowIcons(m_hWnd, IDI_MAINFRAME);

    m_list.Attach(Item(IDC_INSERT_REG_LIST), LVS_EX_FLATSB | LVS_EX_INFOTIP);
    m_list.SetColumns({ { ui::LoadStr(IDS_VALUE_NAME), kColumnWidth },
                        { ui::LoadStr(IDS_VALUE_TYPE), kColumnWidth },
                        { ui::LoadStr(IDS_VALUE_DATA), kColumnWidth } });

    m_images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 5, 0);
    if (HBITMAP keys = static_cast<HBITMAP>(
            LoadImageW(ui::ResourceModule(), MAKEINTRESOURCEW(IDB_INSERT_REG_KEYS), IMAGE_BITMAP, 0, 0, 0))) {
        ImageList_AddMasked(m_images, keys, ui::palette::kBitmapMask);
        DeleteObject(keys);
    }
    for (UINT id : { IDI_VALUE_TEXT, IDI_VALUE_OTHER }) {
        HICON value = static_cast<HICON>(LoadImageW(ui::ResourceModule(), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
        ImageList_AddIcon(m_images, value);
        DestroyIcon(value);
    }
    CTreeView(Tree()).SetImages(m_images);
    m_list.SetImages(m_images);

    m_splitter.CreateOver(Item(IDC_INSERT_REG_SPLITTER));
    m_splitter.SetNotifyMessage(WM_INSERT_REG_SPLITTER);
    const int treeLeft = ui::ChildRect(m_hWnd, Tree()).left;
    m_splitter.SetRange(treeLeft + kTreeMinWidth, treeLeft + kTreeMaxWidth);

    AddAnchor(IDC_INSERT_REG_TREE, ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_LEFT);
    AddAnchor(m_splitter.Hwnd(), ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_LEFT);
    AddAnchor(IDC_INSERT_REG_LIST, ANCHOR_TOP_LEFT, ANCHOR_BOTTOM_RIGHT);
    AddAnchor(IDC_INSERT_REG_LINE, ANCHOR_BOTTOM_LEFT, ANCHOR_BOTTOM_RIGHT);
    AddAnchor(IDOK, ANCHOR_BOTTOM_RIGHT, ANCHOR_BOTTOM_RIGHT);
    AddAnchor(IDCANCEL, ANCHOR_BOTTOM_RIGHT, ANCHOR_BOTTOM_RIGHT);
    RestorePlacement();
    m_list.RestoreColumnWidths(m_stateKey, kColumnsName, NumberListRule::Prefix);

    m_root = InsertItem(TVI_ROOT, ui::LoadStr(IDS_MY_COMPUTER), IMAGE_COMPUTER, IMAGE_COMPUTER);
    StartLoader();
    return TRUE;
}

HTREEITEM CInsertRegDlg::InsertItem(HTREEITEM parent, const std::wstring& text, int image, int selectedImage)
{
    return CTreeView(Tree()).Insert(parent, text, 0, image, selectedImage);
}

void CInsertRegDlg::StartLoader()
{
    m_loading = true;
    HWND window = m_hWnd;
    SubKeySource source = m_subKeys;
    // The loader reads the five hives' subkeys in order, queues each list and
    // tells the window, which inserts them; it ends after the last hive or
    // when the window is being destroyed (the worker's stop flag).
    m_loader.Post([this, window, source](const std::atomic<bool>& stop) {
        for (int i = 0; i < REGISTRY_HIVE_COUNT && !stop; ++i) {
            std::vector<std::wstring> names = source(g_registryHives[i].key, std::wstring());
            {
                std::lock_guard<std::mutex> lock(m_queueLock);
                m_queue.emplace_back(i, std::move(names));
            }
            PostMessageW(window, WM_INSERT_REG_HIVE_READY, 0, 0);
        }
        PostMessageW(window, WM_INSERT_REG_LOADED, 0, 0);
    });
}

void CInsertRegDlg::InsertQueuedHives()
{
    std::deque<std::pair<int, std::vector<std::wstring>>> ready;
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        ready.swap(m_queue);
    }
    SendMessageW(Tree(), WM_SETREDRAW, FALSE, 0);
    for (const auto& hive : ready) {
        HTREEITEM item = InsertItem(m_root, g_registryHives[hive.first].name, IMAGE_KEY, IMAGE_KEY_OPEN);
        for (const std::wstring& name : hive.second)
            InsertItem(item, name, IMAGE_KEY, IMAGE_KEY_OPEN);
    }
    SendMessageW(Tree(), WM_SETREDRAW, TRUE, 0);
}

std::vector<std::wstring> CInsertRegDlg::NamesOf(HTREEITEM item) const
{
    std::vector<std::wstring> names;
    const CTreeView keys(Tree());
    for (HTREEITEM i = item; i && i != m_root; i = keys.Parent(i))
        names.push_back(keys.Text(i));
    std::reverse(names.begin(), names.end());
    return names;
}

void CInsertRegDlg::OnExpanding(HTREEITEM item)
{
    // The hives below the computer come from the loader.
    if (!item || item == m_root)
        return;
    std::vector<std::wstring> names = NamesOf(item);
    HKEY hive = nullptr;
    std::wstring path;
    if (!LocateRegistryKey(names, &hive, &path))
        return;
    // One level ahead: every child gets its own subkeys, so that expand
    // buttons show where there are any.
    SendMessageW(Tree(), WM_SETREDRAW, FALSE, 0);
    const CTreeView keys(Tree());
    for (HTREEITEM child = keys.FirstChild(item); child; child = keys.NextSibling(child)) {
        if (keys.FirstChild(child))
            continue;
        for (const std::wstring& name : m_subKeys(hive, path + keys.Text(child) + L"\\"))
            InsertItem(child, name, IMAGE_KEY, IMAGE_KEY_OPEN);
    }
    SendMessageW(Tree(), WM_SETREDRAW, TRUE, 0);
}

void CInsertRegDlg::ShowValues(HTREEITEM item)
{
    HKEY hive = nullptr;
    std::wstring path;
    if (!LocateRegistryKey(NamesOf(item), &hive, &path))
        return;
    SendMessageW(m_list.Hwnd(), WM_SETREDRAW, FALSE, 0);
    m_list.DeleteAllRows();
    for (const REGISTRY_VALUE_ROW& row : EnumRegistryValues(hive, path))
        m_list.AddRow({ row.name, row.typeName, row.data }, 0, row.text ? IMAGE_TEXT_VALUE : IMAGE_OTHER_VALUE);
    SendMessageW(m_list.Hwnd(), WM_SETREDRAW, TRUE, 0);
}

void CInsertRegDlg::Import()
{
    HTREEITEM selected = CTreeView(Tree()).Selected();
    std::vector<std::wstring> names = NamesOf(selected);
    if (selected && !names.empty()) {
        if (m_keyPath)
            *m_keyPath = JoinRegistryPath(names);
        std::vector<int> rows = m_list.SelectedRows();
        if (m_valueName)
            *m_valueName = rows.empty() ? L"*" : m_list.Cell(rows[0], 0);
        if (m_valueData)
            *m_valueData = rows.empty() ? L"*" : m_list.Cell(rows[0], 2);
    }
    End(IDOK);
}

void CInsertRegDlg::MoveSplitter(int delta)
{
    ShiftAnchor(m_splitter.Hwnd(), delta, 0, delta, 0);
    ShiftAnchor(Tree(), 0, 0, delta, 0);
    ShiftAnchor(m_list.Hwnd(), delta, 0, 0, 0);
}

BOOL CInsertRegDlg::OnCommand(int id, int code, HWND control)
{
    switch (id) {
    case IDOK:
        if (!m_loading)
            Import();
        return TRUE;
    case IDCANCEL:
        if (!m_loading)
            End(IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

BOOL CInsertRegDlg::OnNotify(NMHDR* header, LRESULT& result)
{
    if (header->idFrom == IDC_INSERT_REG_TREE) {
        if (header->code == TVN_ITEMEXPANDINGW) {
            auto* view = reinterpret_cast<NMTREEVIEWW*>(header);
            if ((view->action & TVE_EXPAND) == TVE_EXPAND)
                OnExpanding(view->itemNew.hItem);
            result = FALSE; // let it expand
            return TRUE;
        }
        if (header->code == TVN_SELCHANGEDW) {
            ShowValues(reinterpret_cast<NMTREEVIEWW*>(header)->itemNew.hItem);
            return TRUE;
        }
    }
    return m_list.HandleCustomDraw(header, &result) ? TRUE : FALSE;
}

BOOL CInsertRegDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (msg) {
    case WM_INSERT_REG_HIVE_READY:
        InsertQueuedHives();
        return TRUE;
    case WM_INSERT_REG_LOADED:
        InsertQueuedHives();
        SendMessageW(Tree(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(m_root));
        m_loading = false;
        return TRUE;
    case WM_INSERT_REG_SPLITTER:
        MoveSplitter(static_cast<int>(lParam));
        return TRUE;
    }
    return CResizableDlg::OnMessage(msg, wParam, lParam, result);
}

void CInsertRegDlg::OnDestroy()
{
    m_loader.Stop();
    m_list.SaveColumnWidths(m_stateKey, kColumnsName);
    CResizableDlg::OnDestroy();
    if (m_images) {
        SendMessageW(Tree(), TVM_SETIMAGELIST, TVSIL_NORMAL, 0);
        ImageList_Destroy(m_images);
        m_images = nullptr;
    }
}
