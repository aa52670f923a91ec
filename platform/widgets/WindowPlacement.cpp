#include "platform/widgets/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

void centerOnScreen(QWidget* window)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!window || !screen)
        return;
    centerOnScreen(window, screen->geometry());
}

void centerOnScreen(QWidget* window, const QRect& screenGeometry)
{
    if (!window || screenGeometry.isEmpty())
        return;
    // The frame, title bar included, is what gets centred; move() places it.
    const QSize size = window->frameGeometry().size();
    const double x = screenGeometry.width() * 0.5 - size.width() * 0.5;
    const double y = screenGeometry.height() * 0.5 - size.height() * 0.5;
    window->move(int(std::lround(x)), int(std::lround(y)));
}
