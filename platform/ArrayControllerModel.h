#pragma once

#include "platform/ArrayController.h"
#include "platform/ArrayControllerBase.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <functional>

class QItemSelectionModel;

// One column of an ArrayControllerModel: its header title and how a cell is read.
class ArrayControllerColumn
{
public:
    using RowValue = std::function<QVariant(int row, int role)>;
    using ControllerValue = std::function<QVariant(const ArrayControllerBase& controller, int row, int role)>;

    ArrayControllerColumn() = default;
    ArrayControllerColumn(QString title, RowValue value);
    ArrayControllerColumn(QString title, ControllerValue value);

    const QString& title() const { return m_title; }
    // An invalid QVariant when the column has no reader.
    QVariant value(const ArrayControllerBase& controller, int row, int role) const;

private:
    QString m_title;
    ControllerValue m_value;
};

// A column that reads the arranged object itself. On a controller of another
// element type its cells are empty.
template <class T>
ArrayControllerColumn makeColumn(const QString& title, std::function<QVariant(const T&, int role)> value)
{
    ArrayControllerColumn::ControllerValue reader =
        [value = std::move(value)](const ArrayControllerBase& base, int row, int role) -> QVariant {
        const auto* controller = dynamic_cast<const ArrayController<T>*>(&base);
        if (!controller || !value || row < 0 || row >= controller->arrangedCount())
            return {};
        return value(*controller->arrangedObjects()[static_cast<size_t>(row)], role);
    };
    return ArrayControllerColumn(title, std::move(reader));
}

// Shows a controller's arranged objects as rows. Every change of the
// arrangement is a model reset (the lists are small enough for that).
// Main thread only.
class ArrayControllerModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit ArrayControllerModel(ArrayControllerBase* controller, QList<ArrayControllerColumn> columns = {},
                                  QObject* parent = nullptr);
    ~ArrayControllerModel() override;

    // Null once the controller is gone; the model is empty then.
    ArrayControllerBase* controller() const;
    const QList<ArrayControllerColumn>& columns() const { return m_columns; }
    void setColumns(QList<ArrayControllerColumn> columns);

    // Keeps `selectionModel` (a selection model of this model) and the
    // controller's selection equal, whichever side changes; nullptr unbinds.
    // Bind after the view has been given this model, so the view's own reset
    // runs before the selection is put back after a rearrangement.
    void bindSelectionModel(QItemSelectionModel* selectionModel);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void m_pushSelection();
    void m_pullSelection();

    QPointer<ArrayControllerBase> m_controller;
    QList<ArrayControllerColumn> m_columns;
    QPointer<QItemSelectionModel> m_selectionModel;
    QList<QMetaObject::Connection> m_selectionConnections;
    // Set while one side is being brought in line with the other, so the echo is ignored.
    bool m_syncingSelection = false;
};
