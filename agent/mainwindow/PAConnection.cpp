#include "mainwindow/PAConnection.h"

#include "platform/SystemColors.h"

#include <QLocale>
#include <QRegularExpression>

PAConnection::PAConnection(const QString& text, qint64 count, QObject* parent)
    : QObject(parent)
    , connString(text)
    , connCount(count)
    , connIPAddress(text)
    , connRealDate(QDateTime::currentDateTime())
{
}

PAConnection::PAConnection(const QString& processName, const QString& ipAddress, qint64 port, qint64 pid,
                           const QString& uid, bool blocked, const QString& viaApp,
                           const QString& responsiblePath, bool otherUser, QObject* parent)
    : PAConnection(QString(), 0, parent)
{
    connProcessName = processName;
    connIPAddress = ipAddress;
    connPort = port;
    connPID = pid;
    connUID = uid;
    connBelongsToOtherUser = otherUser;
    connRepresentedPID = QString::number(pid);
    connRepresentedPORT = QString::number(port);
    connDate = dateText(QDateTime::currentDateTime());
    connRealDate = QDateTime::currentDateTime();
    connSimpleName = processName.section(QLatin1Char('/'), -1);
    connViaApp = viaApp;
    xpcPath = responsiblePath;
    if (connViaApp.isEmpty()) {
        connRepresentedXPC.clear();
    } else {
        connRepresentedXPC = connSimpleName;
        connSimpleName = connViaApp;
    }
    connHostname = ipAddress;
    connIsBlocked = blocked;
    connColor = blocked ? SystemColors::red() : SystemColors::controlTextColor();
    connIsRoot = uid == QLatin1String("0");
}

QString PAConnection::iconPath() const
{
    return xpcPath.isEmpty() ? connProcessName : xpcPath;
}

void PAConnection::setConnImage(const QIcon& image)
{
    connImage = image;
    emit changed();
}

void PAConnection::setConnHostname(const QString& hostname)
{
    if (connHostname == hostname)
        return;
    connHostname = hostname;
    emit changed();
}

QString PAConnection::dateText(const QDateTime& when)
{
    // Qt has no medium time style: the long one less its time zone, which
    // keeps the seconds in the locale's own order.
    const QLocale locale;
    QString time = locale.timeFormat(QLocale::LongFormat);
    time.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    return locale.toString(when, locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + time.trimmed());
}
