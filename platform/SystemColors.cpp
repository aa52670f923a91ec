#include "platform/SystemColors.h"

#include <QGuiApplication>
#include <QPalette>

QColor SystemColors::red()
{
    return QColor::fromRgbF(1.0f, 0.0f, 0.0f, 1.0f);
}

QColor SystemColors::systemRed()
{
    return QColor::fromRgb(255, 59, 48);
}

QColor SystemColors::orange()
{
    return QColor::fromRgbF(1.0f, 0.5f, 0.0f, 1.0f);
}

QColor SystemColors::magenta()
{
    return QColor::fromRgbF(1.0f, 0.0f, 1.0f, 1.0f);
}

QColor SystemColors::grey()
{
    return QColor::fromRgbF(0.5f, 0.5f, 0.5f, 1.0f);
}

QColor SystemColors::labelColor()
{
    return QGuiApplication::palette().color(QPalette::Active, QPalette::WindowText);
}

QColor SystemColors::controlTextColor()
{
    return QGuiApplication::palette().color(QPalette::Active, QPalette::ButtonText);
}

QColor SystemColors::textColor()
{
    return QGuiApplication::palette().color(QPalette::Active, QPalette::Text);
}

QColor SystemColors::windowBackgroundColor()
{
    return QGuiApplication::palette().color(QPalette::Active, QPalette::Window);
}
