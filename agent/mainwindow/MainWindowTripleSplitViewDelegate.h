#pragma once

#include <QAbstractButton>
#include <QObject>
#include <QPointer>
#include <QSplitter>
#include <QWidget>

// The rules of the main window's three panes: the Global Rules pane on the
// left keeps its width or folds away, the Managed Folders pane on the right is
// at least as wide or folds away, and only the managed apps in the centre
// follow the window's width. Positions are divider positions in the split
// view's coordinates: divider 0 sits after the left pane, divider 1 after the
// centre one.
class MainWindowTripleSplitViewDelegate : public QObject
{
    Q_OBJECT

public:
    static constexpr int sidePaneWidth = 270;
    static constexpr int referenceWindowWidth = 900;

    explicit MainWindowTripleSplitViewDelegate(QObject* parent = nullptr);

    // Outlets, in the order the window form connects them.
    QPointer<QWidget> window;
    QPointer<QSplitter> splitView;
    QPointer<QWidget> leftView;
    QPointer<QWidget> centerView;
    QPointer<QWidget> rightView;
    QPointer<QAbstractButton> leftBtn;
    QPointer<QAbstractButton> rightBtn;

    // Puts the rules below into the split view and connects the two buttons;
    // once, after the outlets are set.
    void attach();

    void displayOrCollapseViews(QObject* sender);
    bool canCollapseSubview(const QWidget* subview) const;
    bool shouldAdjustSizeOfSubview(const QWidget* subview) const;
    int constrainMinCoordinate(int proposedMinimum, int dividerIndex) const;
    int constrainMaxCoordinate(int proposedMaximum, int dividerIndex) const;

    bool isSubviewCollapsed(const QWidget* subview) const;
    int splitViewWidth() const;
    // Moves divider 0 or 1; a side pane pushed to nothing is collapsed.
    void setPositionOfDivider(int position, int dividerIndex);
    // The divider's position now: the right edge of the pane before it.
    int positionOfDivider(int dividerIndex) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void m_updateRightMaximum();
};
