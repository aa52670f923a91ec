#include "mainwindow/PAConnection.h"

#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "platform/Clock.h"
#include "platform/ConcurrentQueue.h"
#include "platform/HostNames.h"
#include "platform/MainQueue.h"
#include "platform/SystemColors.h"
#include "platform/Workspace.h"

#include <QHash>
#include <QLocale>
#include <QPointer>

namespace {

// The bundle whose icon stands for an executable inside it: the path rebuilt
// from the front up to its first component that ends in ".app".
QString outermostBundle(const QString& path)
{
    const QStringList components = path.split(QLatin1Char('/'));
    QString prefix = QLatin1Char('/') + components.first();
    for (qsizetype i = 1; !prefix.endsWith(QLatin1String(".app")); ++i) {
        if (i >= components.size())
            return QString();
        prefix += QLatin1Char('/') + components.at(i);
    }
    // An absolute path rebuilds with a doubled leading slash.
    prefix.replace(QLatin1String("//"), QLatin1String("/"));
    prefix.replace(QLatin1String("//"), QLatin1String("/"));
    return prefix;
}

// Many rows share a few executables; one icon per path keeps a busy log from
// asking the desktop's entries and the file manager's provider for each row.
// Main thread only.
QIcon cachedFileIcon(const QString& path)
{
    static QHash<QString, QIcon> icons;
    constexpr qsizetype kMostIcons = 512;
    auto cached = icons.constFind(path);
    if (cached != icons.constEnd())
        return cached.value();
    if (icons.size() >= kMostIcons)
        icons.clear();
    const QIcon icon = Workspace::iconForApplication(path);
    icons.insert(path, icon);
    return icon;
}

} // namespace

PAConnection::PAConnection(const QString& text, qint64 count, QObject* parent)
    : QObject(parent)
    , connString(text)
    , connCount(count)
    , connIPAddress(text)
    , connRealDate(Clock::shared().now())
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
    connDate = dateText(Clock::shared().now());
    connRealDate = Clock::shared().now();
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
    connColor = blocked ? SystemColors::systemRed() : SystemColors::textColor();
    connIsRoot = uid == QLatin1String("0");
}

void PAConnection::startLookUps(PAWorkQueues& queues)
{
    m_queues = &queues;
    // Which path stands for the connection is settled off the main thread;
    // the icon itself is made on it.
    QPointer<PAConnection> self(this);
    queues.work().async([self, process = connProcessName, responsible = xpcPath] {
        const QString path = responsible.isEmpty() ? process : responsible;
        MainQueue::async([self, path] {
            if (self)
                self->setConnImage(getIcon(path));
        });
    });
    if (showHostnames)
        m_lookUpHostnameLater();
}

void PAConnection::updateRecord()
{
    if (!showHostnames) {
        setConnHostname(connIPAddress);
        return;
    }
    m_lookUpHostnameLater();
}

void PAConnection::resolveHostname()
{
    const QStringList names = HostNames::shared().namesOfAddress(connIPAddress);
    if (names.isEmpty() || names.first().isEmpty())
        return;
    QPointer<PAConnection> self(this);
    MainQueue::async([self, name = names.first()] {
        if (self)
            self->setConnHostname(name);
    });
}

void PAConnection::m_lookUpHostnameLater()
{
    if (!m_queues)
        return;
    // One look-up in flight per address, shared by every row that waits for
    // it: a busy log names the same few servers thousands of times a minute,
    // and the queue of look-ups stays as long as the list of addresses.
    // Main thread only.
    static QHash<QString, QList<QPointer<PAConnection>>> waiting;
    auto found = waiting.find(connIPAddress);
    if (found != waiting.end()) {
        found->append(this);
        return;
    }
    waiting.insert(connIPAddress, {this});
    m_queues->connHostnamesQueue().async([address = connIPAddress] {
        const QStringList names = HostNames::shared().namesOfAddress(address);
        const QString name = names.isEmpty() ? QString() : names.first();
        MainQueue::async([address, name] {
            const QList<QPointer<PAConnection>> rows = waiting.take(address);
            // Switched off meanwhile: the rows show their addresses.
            if (name.isEmpty() || !showHostnames)
                return;
            for (const QPointer<PAConnection>& row : rows)
                if (row)
                    row->setConnHostname(name);
        });
    });
}

QIcon PAConnection::getIcon(const QString& path)
{
    if (!path.contains(QLatin1String(".app/Contents/")))
        return cachedFileIcon(path);
    return cachedFileIcon(outermostBundle(path));
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
    // Qt knows no medium time style; the long one is the medium one and its
    // time zone. The zone goes, with the blanks before it (or after it, when
    // it comes first); quoted text stays as it is.
    const QLocale locale;
    const QString longTime = locale.timeFormat(QLocale::LongFormat);
    QString time;
    bool quoted = false;
    bool skipBlanks = false;
    for (qsizetype i = 0; i < longTime.size(); ++i) {
        const QChar c = longTime.at(i);
        if (skipBlanks && c.isSpace())
            continue;
        skipBlanks = false;
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (quoted || c != QLatin1Char('t')) {
            time += c;
            continue;
        }
        while (i + 1 < longTime.size() && longTime.at(i + 1) == QLatin1Char('t'))
            ++i;
        while (!time.isEmpty() && time.back().isSpace())
            time.chop(1);
        skipBlanks = time.isEmpty();
    }
    return locale.toString(when, locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + time);
}
