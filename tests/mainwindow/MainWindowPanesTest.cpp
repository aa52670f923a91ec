#include "mainwindow/MainWindowTripleSplitViewDelegate.h"
#include "mainwindow/PAController.h"
#include "support/EventLoop.h"
#include "support/widgets/AgentFixture.h"

#include <QAbstractButton>
#include <QMainWindow>
#include <QSplitter>
#include <QSplitterHandle>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

// The whole agent as it starts, its main window on screen. The suite also
// runs on a real display, where a window that keeps widening or a divider that
// follows its own limits shows up as it would for a user.
class MainWindowPanesOnDisplay : public AgentFixture
{
protected:
    void SetUp() override
    {
        AgentFixture::SetUp();
        if (HasFatalFailure())
            return;
        m_window = controller().window();
        m_panes = controller().splitViewDelegate();
        m_split = controller().splitView();
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window));
        drainEvents();
        m_width = m_window->width();
        m_leastWidth = m_window->minimumSizeHint().width();
    }

    // Whether the window stays at the width and least width it was shown
    // with, long enough for a resize that feeds itself to show.
    ::testing::AssertionResult windowStaysPut()
    {
        const bool moved = processEventsUntil(
            [&] {
                return m_window->width() != m_width || m_window->minimumSizeHint().width() != m_leastWidth;
            },
            200);
        if (!moved)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "window width " << m_window->width() << " (was " << m_width << "), least width "
               << m_window->minimumSizeHint().width() << " (was " << m_leastWidth << ")";
    }

    int paneWidth(int index) const { return m_split->sizes().at(index); }

    QMainWindow* m_window = nullptr;
    MainWindowTripleSplitViewDelegate* m_panes = nullptr;
    QSplitter* m_split = nullptr;
    int m_width = 0;
    int m_leastWidth = 0;
};

TEST_F(MainWindowPanesOnDisplay, OpeningAndClosingAPaneLeavesTheWindowAsItWas)
{
    const int side = MainWindowTripleSplitViewDelegate::sidePaneWidth;
    ASSERT_EQ(paneWidth(0), side);
    ASSERT_EQ(paneWidth(2), side);
    const int centre = paneWidth(1);

    struct Way
    {
        const char* name;
        int pane;
        std::function<void(bool open)> toggle;
    };
    const Way ways[] = {
        {"Global Rules button", 0, [&](bool) { QTest::mouseClick(m_panes->leftBtn, Qt::LeftButton); }},
        {"Managed Folders button", 2, [&](bool) { QTest::mouseClick(m_panes->rightBtn, Qt::LeftButton); }},
        {"left show/hide", 0,
         [&](bool open) { controller().controlSplitViewWithView("left", open ? "show" : "hide"); }},
        {"right show/hide", 2,
         [&](bool open) { controller().controlSplitViewWithView("right", open ? "show" : "hide"); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        const int other = 2 - way.pane;
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(round);
            way.toggle(false);
            ASSERT_TRUE(windowStaysPut());
            EXPECT_EQ(paneWidth(way.pane), 0);
            EXPECT_EQ(paneWidth(other), side);
            EXPECT_EQ(paneWidth(1), centre + side);

            way.toggle(true);
            ASSERT_TRUE(windowStaysPut());
            EXPECT_EQ(paneWidth(way.pane), side);
            EXPECT_EQ(paneWidth(other), side);
            EXPECT_EQ(paneWidth(1), centre);
        }
    }

    // Both closed, then both open again.
    controller().controlSplitViewWithView("left", "hide");
    controller().controlSplitViewWithView("right", "hide");
    EXPECT_TRUE(windowStaysPut());
    EXPECT_EQ(paneWidth(1), centre + 2 * side);
    controller().controlSplitViewWithView("right", "show");
    controller().controlSplitViewWithView("left", "show");
    EXPECT_TRUE(windowStaysPut());
    EXPECT_EQ(m_split->sizes(), QList<int>({side, centre, side}));
}

// Dragging the Managed Folders divider towards the left stops at the least
// position its rule gives, with the Global Rules pane open or closed, and
// the window keeps its width meanwhile.
TEST_F(MainWindowPanesOnDisplay, TheRightDividerStopsWhereItsRuleSays)
{
    for (const bool leftOpen : {true, false}) {
        SCOPED_TRACE(leftOpen ? "Global Rules open" : "Global Rules closed");
        controller().controlSplitViewWithView("left", leftOpen ? "show" : "hide");
        ASSERT_TRUE(windowStaysPut());

        QSplitterHandle* handle = m_split->handle(2);
        const QPoint grip = handle->rect().center();
        QTest::mousePress(handle, Qt::LeftButton, {}, grip);
        // Far past any limit, in small steps as a hand would; the release
        // lands there too, for a style that moves the divider only then.
        const QPoint farLeft = grip - QPoint(800, 0);
        for (int step = 1; step <= 20; ++step)
            QTest::mouseMove(handle, grip - QPoint(step * 40, 0));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, farLeft);
        EXPECT_TRUE(windowStaysPut());

        const int centreLeft = paneWidth(0) + m_split->handleWidth();
        const int ruled = m_panes->constrainMinCoordinate(centreLeft, 1);
        // The pane's own least width can hold the divider further right.
        const int leastWidthLimit =
            m_split->width() - m_split->handleWidth() - MainWindowTripleSplitViewDelegate::sidePaneWidth;
        EXPECT_EQ(m_panes->positionOfDivider(1), std::min(ruled, leastWidthLimit));
        EXPECT_EQ(paneWidth(0), leftOpen ? MainWindowTripleSplitViewDelegate::sidePaneWidth : 0);
    }
}

} // namespace
