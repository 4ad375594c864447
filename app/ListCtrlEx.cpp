#include "ListCtrlEx.h"

#include "front/front_device_list.h"

#include <QHeaderView>
#include <QStyledItemDelegate>

namespace {

// Paints each cell on the background of its row's index; the text keeps the list's colour.
class CRowColourDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->backgroundBrush = CListCtrlEx::RowBackground(index.row());
    }
};

}  // namespace

CListCtrlEx::CListCtrlEx(QWidget* parent) : QTableWidget(parent) {
    setItemDelegate(new CRowColourDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // One Tab stop: Tab leaves the list, the arrow keys move within it.
    setTabKeyNavigation(false);
    setShowGrid(true);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setSortIndicatorShown(true);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &CListCtrlEx::OnHeaderClicked);
}

void CListCtrlEx::SetSortMark(int column, Qt::SortOrder order) {
    m_sortColumn = column;
    m_sortOrder = order;
    horizontalHeader()->setSortIndicator(column, order);
}

QColor CListCtrlEx::RowBackground(int row) {
    return QColor(static_cast<QRgb>(RowBackgroundRgb(row)));
}

void CListCtrlEx::OnHeaderClicked(int column) {
    Qt::SortOrder order = Qt::AscendingOrder;
    if (column == m_sortColumn && m_sortOrder == Qt::AscendingOrder) {
        order = Qt::DescendingOrder;
    }
    SetSortMark(column, order);
    // Cell texts compare by UTF-16 code units, case-sensitive; equal cells keep their order.
    sortItems(column, order);
}
