#pragma once

#include <QColor>

// The desktop's named colours the agent's design refers to. Dynamic ones
// (label, control text, window background) follow the application palette at
// the moment they are asked for.
class SystemColors
{
public:
    static QColor red();
    // The desktop's red for text and marks (a softer red than red()).
    static QColor systemRed();
    static QColor orange();
    static QColor magenta();
    static QColor grey();
    static QColor labelColor();
    static QColor controlTextColor();
    // The colour of text in lists and fields.
    static QColor textColor();
    static QColor windowBackgroundColor();
};
