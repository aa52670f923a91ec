#include "platform/widgets/Popover.h"

#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

class PopoverTest : public ::testing::Test
{
protected:
    PopoverTest()
    {
        m_content = new QLabel(QStringLiteral("content"));
        m_popover.setContentWidget(m_content);
        m_popover.resize(200, 100);
        QObject::connect(&m_popover, &Popover::willShow, [this] {
            ++m_willShowCount;
            // The window is not on screen yet when the signal goes out.
            m_onScreenAtWillShow = m_popover.windowHandle() && m_popover.windowHandle()->isVisible();
        });
    }

    void showAndClose()
    {
        m_popover.show();
        m_popover.close();
    }

    Popover m_popover;
    QLabel* m_content = nullptr;
    int m_willShowCount = 0;
    bool m_onScreenAtWillShow = true;
};

int stackIndex(const QWidget& parent, const QObject* child)
{
    return int(parent.children().indexOf(const_cast<QObject*>(child)));
}

} // namespace

TEST_F(PopoverTest, BackgroundViewIsInsertedOnlyAfterItWasAskedFor)
{
    showAndClose();
    EXPECT_EQ(m_willShowCount, 1);
    EXPECT_FALSE(m_onScreenAtWillShow);
    EXPECT_EQ(m_popover.findChildren<QWidget*>(Qt::FindDirectChildrenOnly), QList<QWidget*>{m_content});

    QWidget* background = m_popover.backgroundView();
    ASSERT_NE(background, nullptr);
    EXPECT_EQ(m_popover.backgroundView(), background);
    EXPECT_EQ(background->parentWidget(), nullptr) << "not before the popover shows again";

    showAndClose();
    EXPECT_EQ(background->parentWidget(), &m_popover);
    EXPECT_LT(stackIndex(m_popover, background), stackIndex(m_popover, m_content)) << "below the content";
    EXPECT_EQ(background->geometry(), QRect(1, 1, 198, 98));

    // Shown again, it stays the one view and follows the popover's size.
    m_popover.resize(300, 150);
    showAndClose();
    EXPECT_EQ(m_willShowCount, 3);
    EXPECT_EQ(m_popover.findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size(), 2);
    EXPECT_EQ(background->geometry(), QRect(1, 1, 298, 148));
}

TEST_F(PopoverTest, BackgroundColour)
{
    EXPECT_EQ(m_popover.backgroundColor(), std::nullopt);
    m_popover.backgroundView();
    EXPECT_EQ(m_popover.backgroundColor(), std::nullopt) << "a view without a colour";

    m_popover.setBackgroundColor(QColor(Qt::red));
    EXPECT_EQ(m_popover.backgroundColor(), QColor(Qt::red));
    m_popover.show();
    const QImage image = m_popover.grab().toImage();
    m_popover.close();
    // Beside the label's text, the content lets the background show through.
    EXPECT_EQ(image.pixelColor(image.width() - 5, image.height() - 5), QColor(Qt::red));
}

TEST_F(PopoverTest, ShowsUnderTheGivenPlace)
{
    QWidget anchor;
    anchor.setGeometry(300, 200, 100, 40);
    anchor.show();
    m_popover.showRelativeTo(QRect(0, 0, 20, 10), &anchor);
    EXPECT_TRUE(m_popover.isVisible());
    EXPECT_EQ(m_popover.geometry().top(), anchor.mapToGlobal(QPoint(0, 10)).y());
    EXPECT_EQ(m_popover.geometry().left() + m_popover.width() / 2, anchor.mapToGlobal(QPoint(10, 0)).x());
    m_popover.close();
    EXPECT_FALSE(m_popover.isVisible());
}

TEST_F(PopoverTest, ClicksOutsideCloseByBehaviourAndClicksInItsOwnWindowsNever)
{
    QWidget window;
    window.setGeometry(100, 100, 400, 300);
    auto* anchor = new QPushButton(QStringLiteral("anchor"), &window);
    window.show();
    QPushButton otherWindow(QStringLiteral("other window"));
    otherWindow.show();
    // A window the popover opened from one of its controls (a menu, another
    // popover) belongs to it.
    auto* child = new Popover(m_content);
    child->setContentWidget(new QLabel(QStringLiteral("child")));

    const struct
    {
        Popover::Behavior behavior;
        bool closesOnClickInOtherWindow;
        bool closesOnClickInAnchorWindow;
        bool closesWhenTheApplicationGoesInactive;
    } cases[] = {
        {Popover::Behavior::ApplicationDefined, false, false, false},
        {Popover::Behavior::Transient, true, true, true},
        {Popover::Behavior::Semitransient, false, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.behavior));
        m_popover.setBehavior(c.behavior);
        m_popover.showRelativeTo(QRect(), anchor);
        child->showRelativeTo(QRect(), m_content);
        QSignalSpy closed(&m_popover, &Popover::didClose);

        QTest::mouseClick(m_content, Qt::LeftButton);
        QTest::mouseClick(child->contentWidget(), Qt::LeftButton);
        EXPECT_TRUE(m_popover.isVisible()) << "clicks inside";

        QTest::mouseClick(&otherWindow, Qt::LeftButton);
        EXPECT_EQ(!m_popover.isVisible(), c.closesOnClickInOtherWindow);
        m_popover.show();
        QTest::mouseClick(anchor, Qt::LeftButton);
        EXPECT_EQ(!m_popover.isVisible(), c.closesOnClickInAnchorWindow);
        EXPECT_EQ(closed.count(), int(c.closesOnClickInOtherWindow) + int(c.closesOnClickInAnchorWindow));

        m_popover.show();
        // As the platform reports another program taking the focus.
        emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
        EXPECT_EQ(!m_popover.isVisible(), c.closesWhenTheApplicationGoesInactive);

        m_popover.show();
        QTest::keyClick(&m_popover, Qt::Key_Escape);
        EXPECT_FALSE(m_popover.isVisible()) << "Escape closes every kind";
        child->close();
    }
}

TEST_F(PopoverTest, ContentSizeSetsThePopoverAroundItAlsoWhileShown)
{
    m_popover.setContentSize(QSize(360, 465));
    EXPECT_EQ(m_content->size(), QSize(360, 465));
    const QSize closedSize = m_popover.size();
    m_popover.show();
    m_popover.setContentSize(QSize(700, 465));
    EXPECT_EQ(m_content->size(), QSize(700, 465));
    EXPECT_EQ(m_popover.size(), closedSize + QSize(340, 0));
    m_popover.performClose();
    EXPECT_FALSE(m_popover.isVisible());
}

TEST_F(PopoverTest, ShowsOnThePreferredEdgeUnlessTheScreenHasNoRoomThere)
{
    const QRect area(0, 0, 1000, 800);
    const QSize size(200, 100);
    const struct
    {
        QRect anchor;
        Popover::Edge edge;
        QPoint origin;
    } cases[] = {
        {QRect(400, 300, 100, 20), Popover::Edge::MinY, QPoint(350, 320)},
        {QRect(400, 300, 100, 20), Popover::Edge::MaxY, QPoint(350, 200)},
        {QRect(400, 300, 100, 20), Popover::Edge::MinX, QPoint(200, 260)},
        {QRect(400, 300, 100, 20), Popover::Edge::MaxX, QPoint(500, 260)},
        // No room below: above; none above: below.
        {QRect(400, 750, 100, 20), Popover::Edge::MinY, QPoint(350, 650)},
        {QRect(400, 10, 100, 20), Popover::Edge::MaxY, QPoint(350, 30)},
        // No room to the left: to the right; none to the right: to the left.
        {QRect(50, 300, 100, 20), Popover::Edge::MinX, QPoint(150, 260)},
        {QRect(900, 300, 50, 20), Popover::Edge::MaxX, QPoint(700, 260)},
        // Kept on the screen along the edge.
        {QRect(0, 300, 20, 20), Popover::Edge::MinY, QPoint(0, 320)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Popover::placement(c.anchor, size, c.edge, area), c.origin)
            << static_cast<int>(c.edge) << " at " << c.anchor.x() << "," << c.anchor.y();
}
