#include "mainwindow/MainWindowTripleSplitViewDelegate.h"

#include <QEvent>

#include <algorithm>

MainWindowTripleSplitViewDelegate::MainWindowTripleSplitViewDelegate(QObject* parent)
    : QObject(parent)
{
}

void MainWindowTripleSplitViewDelegate::attach()
{
    if (!splitView || splitView->count() != 3)
        return;
    for (int i = 0; i < 3; ++i) {
        QWidget* pane = splitView->widget(i);
        splitView->setCollapsible(i, canCollapseSubview(pane));
        splitView->setStretchFactor(i, shouldAdjustSizeOfSubview(pane) ? 1 : 0);
    }
    // QSplitter has no per-drag hook, so the coordinate limits become the
    // panes' own size limits, which it honours while dragging and resizing.
    if (leftView) {
        const int width = constrainMaxCoordinate(0, 0);
        leftView->setMinimumWidth(constrainMinCoordinate(0, 0));
        leftView->setMaximumWidth(width);
    }
    if (rightView) {
        const int proposed = 0;
        rightView->setMinimumWidth(proposed - constrainMaxCoordinate(proposed, 1));
    }
    m_updateRightMaximum();
    connect(splitView, &QSplitter::splitterMoved, this, [this] { m_updateRightMaximum(); });
    // After the window's layout has given the split view its new width.
    splitView->installEventFilter(this);
    if (leftBtn)
        connect(leftBtn, &QAbstractButton::clicked, this, [this] { displayOrCollapseViews(leftBtn); });
    if (rightBtn)
        connect(rightBtn, &QAbstractButton::clicked, this, [this] { displayOrCollapseViews(rightBtn); });
}

bool MainWindowTripleSplitViewDelegate::eventFilter(QObject* watched, QEvent* event)
{
    // The event's type first: the split view's destruction passes events here
    // too, and by then it can no longer be looked at as a splitter.
    if (event->type() == QEvent::Resize && watched == splitView.data())
        m_updateRightMaximum();
    return QObject::eventFilter(watched, event);
}

void MainWindowTripleSplitViewDelegate::m_updateRightMaximum()
{
    if (!splitView || !rightView || splitView->count() != 3)
        return;
    // Divider 1's least position grows with the window, so it must never be a
    // least width: the window would widen to fit it, and widen again. Where
    // it leaves the right pane is a widest width instead, which holds a drag
    // back the same way and does not depend on the window's width.
    const int handle = splitView->handleWidth();
    const int centerLeft = (isSubviewCollapsed(leftView) ? 0 : leftView->width()) + handle;
    const int widest = splitViewWidth() - handle - constrainMinCoordinate(centerLeft, 1);
    rightView->setMaximumWidth(std::max(rightView->minimumWidth(), widest));
}

void MainWindowTripleSplitViewDelegate::displayOrCollapseViews(QObject* sender)
{
    if (!sender)
        return;
    if (sender == leftBtn.data())
        setPositionOfDivider(isSubviewCollapsed(leftView) ? sidePaneWidth : 0, 0);
    else if (sender == rightBtn.data())
        setPositionOfDivider(
            isSubviewCollapsed(rightView) ? splitViewWidth() - sidePaneWidth : splitViewWidth(), 1);
}

bool MainWindowTripleSplitViewDelegate::canCollapseSubview(const QWidget* subview) const
{
    return subview != centerView.data();
}

bool MainWindowTripleSplitViewDelegate::shouldAdjustSizeOfSubview(const QWidget* subview) const
{
    return subview && subview == centerView.data();
}

int MainWindowTripleSplitViewDelegate::constrainMinCoordinate(int proposedMinimum, int dividerIndex) const
{
    if (dividerIndex == 0)
        return proposedMinimum + sidePaneWidth;
    if (dividerIndex == 1) {
        const int base = isSubviewCollapsed(leftView) ? 584 : 284;
        const int windowWidth = window ? window->frameGeometry().width() : referenceWindowWidth;
        return proposedMinimum + base + windowWidth - referenceWindowWidth;
    }
    return 0;
}

int MainWindowTripleSplitViewDelegate::constrainMaxCoordinate(int proposedMaximum, int dividerIndex) const
{
    if (dividerIndex == 0)
        return sidePaneWidth;
    if (dividerIndex == 1)
        return proposedMaximum - sidePaneWidth;
    return 0;
}

bool MainWindowTripleSplitViewDelegate::isSubviewCollapsed(const QWidget* subview) const
{
    if (!splitView || !subview)
        return false;
    const int index = splitView->indexOf(const_cast<QWidget*>(subview));
    if (index < 0)
        return false;
    const QList<int> sizes = splitView->sizes();
    return index < sizes.size() && sizes.at(index) == 0;
}

int MainWindowTripleSplitViewDelegate::splitViewWidth() const
{
    return splitView ? splitView->width() : 0;
}

int MainWindowTripleSplitViewDelegate::positionOfDivider(int dividerIndex) const
{
    if (!splitView || splitView->count() != 3 || dividerIndex < 0 || dividerIndex > 1)
        return 0;
    const QList<int> sizes = splitView->sizes();
    const int handle = splitView->handleWidth();
    return dividerIndex == 0 ? sizes.at(0) : sizes.at(0) + handle + sizes.at(1);
}

void MainWindowTripleSplitViewDelegate::setPositionOfDivider(int position, int dividerIndex)
{
    if (!splitView || splitView->count() != 3 || dividerIndex < 0 || dividerIndex > 1)
        return;
    QList<int> sizes = splitView->sizes();
    const int handle = splitView->handleWidth();
    // The splitter's handles take two widths out of the panes' room.
    const int room = std::max(0, splitViewWidth() - 2 * handle);
    int left = sizes.at(0);
    int right = sizes.at(2);
    if (dividerIndex == 0)
        left = std::clamp(position, 0, room);
    else
        right = std::clamp(splitViewWidth() - handle - position, 0, room);
    const int center = std::max(0, room - left - right);
    splitView->setSizes({left, center, right});
    m_updateRightMaximum();
}
