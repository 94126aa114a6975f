#include "controls/TreeView.h"

#include "ui/Window.h"

void CTreeView::SetImages(HIMAGELIST images) const
{
    SendMessageW(m_hWnd, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
}

HTREEITEM CTreeView::Insert(HTREEITEM parent, const std::wstring& text, LPARAM data, int image,
                            int selectedImage) const
{
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | (image >= 0 ? TVIF_IMAGE : 0) |
                       (selectedImage >= 0 ? TVIF_SELECTEDIMAGE : 0);
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    insert.item.lParam = data;
    insert.item.iImage = image;
    insert.item.iSelectedImage = selectedImage;
    return reinterpret_cast<HTREEITEM>(SendMessageW(m_hWnd, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void CTreeView::Delete(HTREEITEM item) const
{
    SendMessageW(m_hWnd, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
}

void CTreeView::DeleteAll() const
{
    Delete(TVI_ROOT);
}

void CTreeView::SetText(HTREEITEM item, const std::wstring& text) const
{
    TVITEMW tv = {};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(m_hWnd, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
}

std::wstring CTreeView::Text(HTREEITEM item) const
{
    return ui::TreeItemText(m_hWnd, item);
}

bool CTreeView::Data(HTREEITEM item, LPARAM* data) const
{
    TVITEMW tv = {};
    tv.mask = TVIF_PARAM;
    tv.hItem = item;
    if (!item || !SendMessageW(m_hWnd, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv)))
        return false;
    *data = tv.lParam;
    return true;
}

void CTreeView::Expand(HTREEITEM item) const
{
    SendMessageW(m_hWnd, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
}

void CTreeView::Select(HTREEITEM item) const
{
    SendMessageW(m_hWnd, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
}

HTREEITEM CTreeView::Selected() const
{
    return Next(nullptr, TVGN_CARET);
}

HTREEITEM CTreeView::Parent(HTREEITEM item) const
{
    return Next(item, TVGN_PARENT);
}

HTREEITEM CTreeView::FirstChild(HTREEITEM item) const
{
    return Next(item, TVGN_CHILD);
}

HTREEITEM CTreeView::NextSibling(HTREEITEM item) const
{
    return Next(item, TVGN_NEXT);
}

HTREEITEM CTreeView::ItemAt(POINT screen) const
{
    TVHITTESTINFO hit = {};
    hit.pt = screen;
    ScreenToClient(m_hWnd, &hit.pt);
    return reinterpret_cast<HTREEITEM>(SendMessageW(m_hWnd, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

HTREEITEM CTreeView::Next(HTREEITEM item, UINT how) const
{
    return reinterpret_cast<HTREEITEM>(SendMessageW(m_hWnd, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}
