#pragma once

#include <QList>
#include <QToolButton>

class QAction;
class QActionGroup;
class QMenu;

// A button that shows a menu of items and keeps one of them selected, its
// title on the button. In pull-down mode item 0 is the button's title and is
// not offered in the menu. Any item may be selected, also one that hosts a
// view (QWidgetAction), since a control inside that view counts as touching
// the item.
class PopUpButton : public QToolButton
{
    Q_OBJECT

public:
    explicit PopUpButton(QWidget* parent = nullptr);

    void setPullsDown(bool pullsDown);
    bool pullsDown() const { return m_pullsDown; }

    QAction* addItemWithTitle(const QString& title);
    // The button takes ownership of `item`.
    void addItem(QAction* item);
    void removeAllItems();

    int numberOfItems() const { return static_cast<int>(m_items.size()); }
    QAction* itemAtIndex(int index) const;
    int indexOfItem(const QAction* item) const;
    QList<QAction*> itemArray() const { return m_items; }

    void selectItemAtIndex(int index);
    void selectItem(QAction* item);
    QAction* selectedItem() const;
    int indexOfSelectedItem() const { return m_selected; }
    QString titleOfSelectedItem() const;

    // Refreshes the button's title after an item's title changed.
    void synchronizeTitle();

    // Item titles as plain text: an "&" is shown as itself, never taken as a
    // keyboard mnemonic, and read back as it was given.
    static void setItemTitle(QAction* item, const QString& title);
    static QString itemTitle(const QAction* item);

signals:
    // The user chose an item from the menu (not emitted by selectItem...).
    void itemChosen(int index);

private:
    void m_rebuildMenu();
    void m_chosen(QAction* item);

    QMenu* m_menu;
    QList<QAction*> m_items;
    int m_selected = -1;
    bool m_pullsDown = false;
};
