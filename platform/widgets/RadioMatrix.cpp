#include "platform/widgets/RadioMatrix.h"

#include <QAbstractButton>

RadioMatrix::RadioMatrix(QObject* parent)
    : QButtonGroup(parent)
{
    setExclusive(true);
    connect(this, &QButtonGroup::idClicked, this, &RadioMatrix::rowClicked);
}

void RadioMatrix::addRow(QAbstractButton* button)
{
    addButton(button, numberOfRows());
}

void RadioMatrix::selectCellAtRow(int row)
{
    if (QAbstractButton* cell = button(row))
        cell->setChecked(true);
}

void RadioMatrix::setRowEnabled(int row, bool enabled)
{
    if (QAbstractButton* cell = button(row))
        cell->setEnabled(enabled);
}

bool RadioMatrix::isRowEnabled(int row) const
{
    const QAbstractButton* cell = button(row);
    return cell && cell->isEnabled();
}
