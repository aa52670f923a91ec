#pragma once

#include <QPalette>

class QWidget;

// The desktop's light or dark setting ("follow the system"), and the two
// looks a window can be given.
class Appearance
{
public:
    // PALISOR_APPEARANCE=dark|light decides when set; otherwise the desktop
    // portal's org.freedesktop.appearance color-scheme (1 = prefer dark).
    // Light when neither answers.
    static bool systemPrefersDark();

    static QPalette darkPalette();
    static QPalette lightPalette();
    // Gives `window` a white background, keeping the rest of its look.
    static void setWhiteBackground(QWidget* window);
    // The agent's theme setting on one window: 0 light with a white
    // background, 1 dark, 2 follow the desktop (white background when light);
    // any other value leaves the window as it is.
    static void applyTheme(QWidget* window, int theme);
};
