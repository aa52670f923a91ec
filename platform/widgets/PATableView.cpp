#include "platform/widgets/PATableView.h"

#include <QContextMenuEvent>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMouseEvent>
#include <QSet>

namespace {

int selectedRowCount(const QItemSelectionModel& selection)
{
    QSet<int> rows;
    for (const QModelIndex& index : selection.selectedIndexes())
        rows.insert(index.row());
    return static_cast<int>(rows.size());
}

} // namespace

PATableView::PATableView(QWidget* parent)
    : QTableView(parent)
{
}

PATableView::~PATableView() = default;

void PATableView::mousePressEvent(QMouseEvent* event)
{
    // The selection a right-click leaves is decided by the context-menu request alone.
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
}

void PATableView::contextMenuEvent(QContextMenuEvent* event)
{
    QItemSelectionModel* selection = selectionModel();
    if (selection && model()) {
        const int row = rowAt(event->pos().y());
        if (row < 0) {
            selection->clearSelection();
        } else if (selectedRowCount(*selection) <= 1) {
            selection->select(model()->index(row, 0, rootIndex()),
                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
    }
    if (m_menu)
        m_menu->popup(event->globalPos());
    event->accept();
}
