#pragma once

#include "platform/Clock.h"

#include <QString>

// Where a duration or size read from a file may lie: what the timer or
// control it feeds can hold. Outside it, or no number at all, the value is
// damaged and the setting keeps its default.
struct PARange
{
    double minimum;
    double maximum;

    // NaN fails both comparisons, so it is never contained.
    bool contains(double value) const { return value >= minimum && value <= maximum; }

    // For log lines: "0 to 2147483.647"; a number as "nan", "inf", "1e+308".
    QString text() const { return text(minimum) + QStringLiteral(" to ") + text(maximum); }
    static QString text(double number) { return QString::number(number, 'g', 10); }

    // Seconds that a timer waits.
    static constexpr PARange timerSeconds() { return {0.0, Clock::kLongestInterval}; }
    // A window's height: the largest a widget can be made.
    static constexpr PARange windowSize() { return {0.0, 16777215.0}; }
    // A window's distance from a screen edge, either side of it.
    static constexpr PARange windowOffset() { return {-16777215.0, 16777215.0}; }
    // The minutes of the alert's duration slider.
    static constexpr PARange alertMinutes() { return {1.0, 120.0}; }
};
