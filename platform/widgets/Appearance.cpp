#include "platform/widgets/Appearance.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QStyle>
#include <QWidget>

bool Appearance::systemPrefersDark()
{
    const QByteArray forced = qgetenv("PALISOR_APPEARANCE").toLower();
    if (forced == "dark")
        return true;
    if (forced == "light")
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
    call << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
    // A missing portal must not hold the start for long.
    const QDBusMessage reply = bus.call(call, QDBus::Block, 500);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    QVariant value = reply.arguments().constFirst();
    // The value arrives wrapped once or twice in variants.
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value.toUInt() == 1;
}

QPalette Appearance::darkPalette()
{
    QPalette palette;
    const QColor window(0x2b, 0x2b, 0x2d), base(0x1e, 0x1e, 0x20), text(0xe8, 0xe8, 0xea);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3c));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::Highlight, QColor(0x2f, 0x6f, 0xd0));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::PlaceholderText, QColor(0x8e, 0x8e, 0x93));
    return palette;
}

QPalette Appearance::lightPalette()
{
    return QApplication::style() ? QApplication::style()->standardPalette() : QPalette();
}

void Appearance::setWhiteBackground(QWidget* window)
{
    if (!window)
        return;
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, Qt::white);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
}

void Appearance::applyTheme(QWidget* window, int theme)
{
    if (!window)
        return;
    switch (theme) {
    case 0:
        setWhiteBackground(window);
        break;
    case 1:
        window->setPalette(darkPalette());
        break;
    case 2:
        if (systemPrefersDark()) {
            window->setPalette(darkPalette());
        } else {
            window->setPalette(lightPalette());
            setWhiteBackground(window);
        }
        break;
    default:
        break;
    }
}
