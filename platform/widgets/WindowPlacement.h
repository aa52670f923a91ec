#pragma once

#include <QRect>

class QWidget;

// Centres the window on the primary screen, keeping its size. Only the
// screen's size counts, not its origin: on a screen that does not start at
// (0, 0) the window lands where the centre of one that does would be.
// Without a screen nothing moves.
void centerOnScreen(QWidget* window);
// The same on a screen of the given geometry (tests give one).
void centerOnScreen(QWidget* window, const QRect& screenGeometry);
