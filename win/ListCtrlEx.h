#pragma once

// The device list: a virtual report list view (LVS_OWNERDATA). The control holds no text; it
// asks for the cells of the rows it paints, so that ten thousand rows cost no more than ten.
// Each row carries the key of its record and the index it had when it was last written
// (column 0). A click on a column header sorts by that column's text, by UTF-16 code units,
// ascending first and reversed by each further click; rows keep their keys. Row backgrounds
// alternate by index.

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

class CListCtrlEx {
public:
    // The text of a column (1 and up) of the record under a key.
    using CellSource = std::function<std::wstring(int key, int column)>;

    void Attach(HWND list, CellSource cells);
    HWND Handle() const { return m_list; }

    int RowCount() const { return static_cast<int>(m_rows.size()); }
    // Appends a row for each key; the list is redrawn once.
    void AppendRows(const std::vector<int>& keys);
    void Clear();
    // The key of a row; -1 for a row that does not exist.
    int KeyOfRow(int row) const;
    // The row's record changed: column 0 takes the row's index and the row is redrawn.
    void RewriteRow(int row);
    std::wstring CellText(int row, int column) const;

    void SetSortMark(int column, bool ascending);
    int SortColumn() const { return m_sortColumn; }
    bool SortAscending() const { return m_ascending; }
    // A header click on a column.
    void SortBy(int column);
    // The last column takes the width that the others leave (after a resize).
    void FitLastColumn();

    // Notifications of the list (cell texts, custom draw, header clicks): true when handled,
    // with the value to return in *pResult.
    bool OnNotify(const NMHDR* pHeader, LRESULT* pResult);

private:
    struct Row {
        int key;
        int writtenIndex;
    };
    void SetItemCount();
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW* pDraw) const;

    HWND m_list = nullptr;
    CellSource m_cells;
    std::vector<Row> m_rows;
    bool m_scrolls = false;  // the vertical scroll bar is shown
    int m_sortColumn = 0;
    bool m_ascending = true;
    // Text handed to the list for the cell it asked for last; it copies it at once.
    std::wstring m_cellBuffer;
};
