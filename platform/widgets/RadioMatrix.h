#pragma once

#include <QButtonGroup>

class QAbstractButton;

// A column of radio buttons, one selected, addressed by row.
class RadioMatrix : public QButtonGroup
{
    Q_OBJECT

public:
    explicit RadioMatrix(QObject* parent = nullptr);

    void addRow(QAbstractButton* button);
    int numberOfRows() const { return static_cast<int>(buttons().size()); }
    // -1 when no row is selected.
    int selectedRow() const { return checkedId(); }
    void selectCellAtRow(int row);
    void setRowEnabled(int row, bool enabled);
    bool isRowEnabled(int row) const;

signals:
    // The user clicked a row.
    void rowClicked(int row);
};
