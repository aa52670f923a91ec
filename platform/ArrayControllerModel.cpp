#include "platform/ArrayControllerModel.h"

#include "platform/Log.h"

#include <QItemSelection>
#include <QItemSelectionModel>

#include <utility>

ArrayControllerColumn::ArrayControllerColumn(QString title, RowValue value)
    : m_title(std::move(title))
{
    if (value) {
        m_value = [value = std::move(value)](const ArrayControllerBase&, int row, int role) {
            return value(row, role);
        };
    }
}

ArrayControllerColumn::ArrayControllerColumn(QString title, ControllerValue value)
    : m_title(std::move(title))
    , m_value(std::move(value))
{
}

QVariant ArrayControllerColumn::value(const ArrayControllerBase& controller, int row, int role) const
{
    return m_value ? m_value(controller, row, role) : QVariant();
}

ArrayControllerModel::ArrayControllerModel(ArrayControllerBase* controller,
                                           QList<ArrayControllerColumn> columns, QObject* parent)
    : QAbstractTableModel(parent)
    , m_controller(controller)
    , m_columns(std::move(columns))
{
    if (!controller)
        return;
    connect(controller, &ArrayControllerBase::aboutToRearrange, this, &ArrayControllerModel::beginResetModel);
    connect(controller, &ArrayControllerBase::arrangedObjectsChanged, this,
            &ArrayControllerModel::endResetModel);
    connect(controller, &ArrayControllerBase::selectionChanged, this, &ArrayControllerModel::m_pushSelection);
    // The pointer is already null when this arrives, so the reset leaves no rows.
    connect(controller, &QObject::destroyed, this, [this] {
        beginResetModel();
        endResetModel();
    });
}

ArrayControllerModel::~ArrayControllerModel() = default;

ArrayControllerBase* ArrayControllerModel::controller() const
{
    return m_controller.data();
}

void ArrayControllerModel::setColumns(QList<ArrayControllerColumn> columns)
{
    beginResetModel();
    m_columns = std::move(columns);
    endResetModel();
}

void ArrayControllerModel::bindSelectionModel(QItemSelectionModel* selectionModel)
{
    for (const QMetaObject::Connection& connection : std::as_const(m_selectionConnections))
        disconnect(connection);
    m_selectionConnections.clear();
    m_selectionModel = nullptr;
    if (!selectionModel)
        return;
    if (selectionModel->model() != this) {
        qCWarning(lcPlatform, "ArrayControllerModel: refused to bind a selection model of another model");
        return;
    }
    m_selectionModel = selectionModel;
    m_selectionConnections = {
        connect(selectionModel, &QItemSelectionModel::selectionChanged, this,
                &ArrayControllerModel::m_pullSelection),
        // A reset clears the selection model (silently) and the view; connected
        // after them, this puts the controller's selection back once they are done.
        connect(this, &QAbstractItemModel::modelReset, this, &ArrayControllerModel::m_pushSelection),
    };
    m_pushSelection();
}

int ArrayControllerModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_controller ? 0 : m_controller->arrangedCount();
}

int ArrayControllerModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant ArrayControllerModel::data(const QModelIndex& index, int role) const
{
    if (!m_controller || index.model() != this || index.parent().isValid() || index.row() >= rowCount() ||
        index.column() >= columnCount())
        return {};
    return m_columns.at(index.column()).value(*m_controller, index.row(), role);
}

QVariant ArrayControllerModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        if (section < 0 || section >= m_columns.size())
            return {};
        return m_columns.at(section).title();
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

void ArrayControllerModel::m_pushSelection()
{
    if (!m_selectionModel || !m_controller || m_syncingSelection)
        return;
    QItemSelection selection;
    const int lastColumn = columnCount() - 1;
    if (lastColumn >= 0) {
        // Runs of neighbouring rows become one range each.
        const std::vector<int>& rows = m_controller->selectionIndexes();
        for (size_t i = 0; i < rows.size();) {
            size_t end = i + 1;
            while (end < rows.size() && rows[end] == rows[end - 1] + 1)
                ++end;
            selection.select(index(rows[i], 0), index(rows[end - 1], lastColumn));
            i = end;
        }
    }
    m_syncingSelection = true;
    m_selectionModel->select(selection, QItemSelectionModel::ClearAndSelect);
    m_syncingSelection = false;
}

void ArrayControllerModel::m_pullSelection()
{
    if (!m_selectionModel || !m_controller || m_syncingSelection)
        return;
    std::vector<int> rows;
    for (const QItemSelectionRange& range : m_selectionModel->selection()) {
        if (!range.isValid())
            continue;
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(row);
    }
    m_syncingSelection = true;
    m_controller->setSelectionIndexes(std::move(rows));
    m_syncingSelection = false;
}
