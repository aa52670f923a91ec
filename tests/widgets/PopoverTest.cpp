#include "platform/widgets/Popover.h"

#include <QImage>
#include <QLabel>
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
