#pragma once

// What the platform core takes from the widgets layer where a program has
// windows: the dialogs behind AlertPresenter and FileChooser, the style's
// standard images and file icons. Called once, after the QApplication.
namespace WidgetServices {
void install();
}
