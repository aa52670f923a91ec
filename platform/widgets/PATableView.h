#pragma once

#include <QMenu>
#include <QPointer>
#include <QTableView>

// A table whose context menu acts on the clicked row: a right-click on an
// unselected row selects just that row, on empty space clears the selection,
// and on a row of a multiple selection keeps the whole selection.
class PATableView : public QTableView
{
    Q_OBJECT

public:
    explicit PATableView(QWidget* parent = nullptr);
    ~PATableView() override;

    // The menu a right-click opens; not owned.
    void setMenu(QMenu* menu) { m_menu = menu; }
    QMenu* menu() const { return m_menu; }

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QPointer<QMenu> m_menu;
};
