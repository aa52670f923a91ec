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
};
