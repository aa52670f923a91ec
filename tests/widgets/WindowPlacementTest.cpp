#include "platform/widgets/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

TEST(WindowPlacementTest, CentresBySizeOfScreenOnly)
{
    struct Case
    {
        QRect screen;
        QPoint expected;
    };
    // A screen that does not start at (0, 0) gives the same place.
    const Case cases[] = {
        {QRect(0, 0, 1440, 900), QPoint(520, 300)},
        {QRect(1920, 200, 1440, 900), QPoint(520, 300)},
        {QRect(0, 0, 300, 200), QPoint(-50, -50)},
    };
    for (const Case& c : cases) {
        QWidget window;
        window.resize(400, 300);
        window.move(7, 9);
        centerOnScreen(&window, c.screen);
        EXPECT_EQ(window.pos(), c.expected);
        EXPECT_EQ(window.size(), QSize(400, 300));
    }
}

TEST(WindowPlacementTest, UsesThePrimaryScreen)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    QWidget window;
    window.resize(400, 300);
    centerOnScreen(&window);
    EXPECT_EQ(window.pos(),
              QPoint(screen->geometry().width() / 2 - 200, screen->geometry().height() / 2 - 150));
}

TEST(WindowPlacementTest, NoScreenMovesNothing)
{
    QWidget window;
    window.resize(400, 300);
    window.move(7, 9);
    centerOnScreen(&window, QRect());
    EXPECT_EQ(window.pos(), QPoint(7, 9));
    centerOnScreen(nullptr);
}
