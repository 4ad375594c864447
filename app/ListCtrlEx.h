#pragma once

#include <QColor>
#include <QTableWidget>

// Report list: a click on a column header sorts the rows by that column's text (ascending on
// the first click, reversed on each further click of the same column, with the sort mark in
// the header); rows alternate two background colours by their index; the last column
// stretches to the list's width. The list is one Tab stop; the arrow keys move within it.
class CListCtrlEx : public QTableWidget {
    Q_OBJECT
public:
    explicit CListCtrlEx(QWidget* parent = nullptr);

    // Marks a column as sorted without sorting.
    void SetSortMark(int column, Qt::SortOrder order);

    static QColor RowBackground(int row);

private:
    void OnHeaderClicked(int column);

    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
