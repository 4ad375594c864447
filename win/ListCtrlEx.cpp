#include "ListCtrlEx.h"

#include "front/front_device_list.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

namespace {

COLORREF ToColorRef(uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

}  // namespace

void CListCtrlEx::Attach(HWND list, CellSource cells) {
    m_list = list;
    m_cells = std::move(cells);
}

void CListCtrlEx::SetItemCount() {
    ListView_SetItemCountEx(m_list, m_rows.size(), LVSICF_NOSCROLL);
    // The vertical scroll bar comes and goes with the rows: the last column then takes the
    // width that is left again, so that no horizontal scroll bar appears.
    const bool scrolls = (GetWindowLongW(m_list, GWL_STYLE) & WS_VSCROLL) != 0;
    if (scrolls != m_scrolls) {
        m_scrolls = scrolls;
        FitLastColumn();
    }
}

void CListCtrlEx::FitLastColumn() {
    const int columns = Header_GetItemCount(ListView_GetHeader(m_list));
    if (columns > 0) {
        ListView_SetColumnWidth(m_list, columns - 1, LVSCW_AUTOSIZE_USEHEADER);
    }
}

void CListCtrlEx::AppendRows(const std::vector<int>& keys) {
    for (int key : keys) {
        m_rows.push_back({key, static_cast<int>(m_rows.size())});
    }
    SetItemCount();
}

void CListCtrlEx::Clear() {
    m_rows.clear();
    SetItemCount();
    InvalidateRect(m_list, nullptr, TRUE);
}

int CListCtrlEx::KeyOfRow(int row) const {
    return row >= 0 && row < RowCount() ? m_rows[static_cast<size_t>(row)].key : -1;
}

void CListCtrlEx::RewriteRow(int row) {
    if (row < 0 || row >= RowCount()) {
        return;
    }
    m_rows[static_cast<size_t>(row)].writtenIndex = row;
    ListView_RedrawItems(m_list, row, row);
}

std::wstring CListCtrlEx::CellText(int row, int column) const {
    if (row < 0 || row >= RowCount()) {
        return std::wstring();
    }
    const Row& entry = m_rows[static_cast<size_t>(row)];
    if (column == 0) {
        return std::to_wstring(entry.writtenIndex);
    }
    return m_cells(entry.key, column);
}

void CListCtrlEx::SetSortMark(int column, bool ascending) {
    m_sortColumn = column;
    m_ascending = ascending;
    HWND header = ListView_GetHeader(m_list);
    const int columns = Header_GetItemCount(header);
    for (int c = 0; c < columns; ++c) {
        HDITEMW item = {};
        item.mask = HDI_FORMAT;
        Header_GetItem(header, c, &item);
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (c == column) {
            item.fmt |= ascending ? HDF_SORTUP : HDF_SORTDOWN;
        }
        Header_SetItem(header, c, &item);
    }
}

void CListCtrlEx::SortBy(int column) {
    const bool ascending = !(column == m_sortColumn && m_ascending);
    SetSortMark(column, ascending);
    // Each row's text once, then a stable sort: equal cells keep their order.
    std::vector<std::pair<std::wstring, Row>> keyed;
    keyed.reserve(m_rows.size());
    for (int row = 0; row < RowCount(); ++row) {
        keyed.emplace_back(CellText(row, column), m_rows[static_cast<size_t>(row)]);
    }
    std::stable_sort(keyed.begin(), keyed.end(), [ascending](const auto& a, const auto& b) {
        return ascending ? a.first < b.first : b.first < a.first;
    });
    for (size_t i = 0; i < keyed.size(); ++i) {
        m_rows[i] = keyed[i].second;
    }
    InvalidateRect(m_list, nullptr, FALSE);
}

LRESULT CListCtrlEx::OnCustomDraw(NMLVCUSTOMDRAW* pDraw) const {
    switch (pDraw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        pDraw->clrTextBk = ToColorRef(RowBackgroundRgb(static_cast<int>(pDraw->nmcd.dwItemSpec)));
        pDraw->clrText = ListView_GetTextColor(m_list);
        return CDRF_DODEFAULT;
    default:
        return CDRF_DODEFAULT;
    }
}

bool CListCtrlEx::OnNotify(const NMHDR* pHeader, LRESULT* pResult) {
    if (pHeader->hwndFrom != m_list) {
        return false;
    }
    *pResult = 0;
    switch (pHeader->code) {
    case LVN_GETDISPINFOW: {
        auto* pInfo = reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(pHeader));
        if ((pInfo->item.mask & LVIF_TEXT) != 0 && pInfo->item.cchTextMax > 0) {
            m_cellBuffer = CellText(pInfo->item.iItem, pInfo->item.iSubItem);
            lstrcpynW(pInfo->item.pszText, m_cellBuffer.c_str(), pInfo->item.cchTextMax);
        }
        return true;
    }
    case NM_CUSTOMDRAW:
        *pResult = OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(pHeader)));
        return true;
    case LVN_COLUMNCLICK:
        SortBy(reinterpret_cast<const NMLISTVIEW*>(pHeader)->iSubItem);
        return true;
    default:
        return false;
    }
}
