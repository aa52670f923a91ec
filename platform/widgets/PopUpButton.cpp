#include "platform/widgets/PopUpButton.h"

#include <QAction>
#include <QMenu>
#include <QWidgetAction>

PopUpButton::PopUpButton(QWidget* parent)
    : QToolButton(parent)
    , m_menu(new QMenu(this))
{
    setPopupMode(QToolButton::InstantPopup);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    setMenu(m_menu);
    connect(m_menu, &QMenu::triggered, this, &PopUpButton::m_chosen);
}

void PopUpButton::setPullsDown(bool pullsDown)
{
    m_pullsDown = pullsDown;
    m_rebuildMenu();
    synchronizeTitle();
}

QAction* PopUpButton::addItemWithTitle(const QString& title)
{
    auto* item = new QAction(title, this);
    addItem(item);
    return item;
}

void PopUpButton::addItem(QAction* item)
{
    item->setParent(this);
    if (!qobject_cast<QWidgetAction*>(item))
        item->setCheckable(true);
    m_items.append(item);
    connect(item, &QAction::changed, this, &PopUpButton::synchronizeTitle);
    m_rebuildMenu();
    if (m_selected < 0 && !m_pullsDown)
        selectItemAtIndex(0);
    synchronizeTitle();
}

void PopUpButton::removeAllItems()
{
    m_menu->clear();
    qDeleteAll(m_items);
    m_items.clear();
    m_selected = -1;
    synchronizeTitle();
}

QAction* PopUpButton::itemAtIndex(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items.at(index) : nullptr;
}

int PopUpButton::indexOfItem(const QAction* item) const
{
    return static_cast<int>(m_items.indexOf(const_cast<QAction*>(item)));
}

void PopUpButton::selectItemAtIndex(int index)
{
    m_selected = (index >= 0 && index < m_items.size()) ? index : -1;
    for (int i = 0; i < m_items.size(); ++i)
        if (m_items.at(i)->isCheckable())
            m_items.at(i)->setChecked(i == m_selected);
    synchronizeTitle();
}

void PopUpButton::selectItem(QAction* item)
{
    selectItemAtIndex(indexOfItem(item));
}

QAction* PopUpButton::selectedItem() const
{
    return itemAtIndex(m_selected);
}

QString PopUpButton::titleOfSelectedItem() const
{
    const QAction* item = selectedItem();
    return item ? itemTitle(item) : QString();
}

void PopUpButton::setItemTitle(QAction* item, const QString& title)
{
    QString shown = title;
    item->setText(shown.replace(QLatin1Char('&'), QLatin1String("&&")));
}

QString PopUpButton::itemTitle(const QAction* item)
{
    return item->text().replace(QLatin1String("&&"), QLatin1String("&"));
}

void PopUpButton::synchronizeTitle()
{
    if (m_pullsDown) {
        const QAction* title = itemAtIndex(0);
        setText(title ? title->text() : QString());
        return;
    }
    // A hosted view has no title: the button keeps the last one it showed.
    const QAction* item = selectedItem();
    if (item && !qobject_cast<const QWidgetAction*>(item))
        setText(item->text());
}

void PopUpButton::m_rebuildMenu()
{
    m_menu->clear();
    for (int i = m_pullsDown ? 1 : 0; i < m_items.size(); ++i)
        m_menu->addAction(m_items.at(i));
}

void PopUpButton::m_chosen(QAction* item)
{
    const int index = indexOfItem(item);
    if (index < 0)
        return;
    if (!m_pullsDown)
        selectItemAtIndex(index);
    emit itemChosen(index);
}
