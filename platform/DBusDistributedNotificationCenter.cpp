#include "platform/DBusDistributedNotificationCenter.h"

#include "platform/FreedMemory.h"
#include "platform/Log.h"
#include "platform/PropertyList.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusMessage>
#include <QMutexLocker>

namespace {

const QString kPath = QStringLiteral("/zz/tolvane/DistributedNotifications");
const QString kInterface = QStringLiteral("zz.tolvane.DistributedNotifications");
const QString kMember = QStringLiteral("Post");
const QString kSignature = QStringLiteral("ssay");
// A userInfo this large (a whole rule set) leaves the heap grown once its
// message is gone.
constexpr qsizetype kLargeUserInfoBytes = 1 << 20;
// Far above the largest userInfo the agent's own peers post (a whole rule set
// of thousands of apps), well below what the bus can carry: anything larger
// is not read at all.
constexpr qsizetype kMaxReadUserInfoBytes = 16 * 1024 * 1024;
// Whoever can post on a bus can post oversized userInfos in a loop; the log
// says so once in this long.
constexpr qint64 kOversizeLogIntervalMs = 60 * 1000;
// Long enough for a busy bus, short enough that a hung one does not hold up exit.
constexpr int kFlushTimeoutMs = 2000;

std::atomic<int> g_connectionSerial{0};

// A function, not a constant: SLOT() may record its location in thread data,
// which must not happen during static initialisation.
const char* receiveSlot()
{
    return SLOT(m_receivePost(QString, QString, QByteArray));
}

bool matches(const QString& wanted, const QString& actual)
{
    return wanted.isEmpty() || wanted == actual;
}

} // namespace

struct DBusDistributedNotificationCenter::Bus
{
    QDBusConnection connection;
    QString label;
    std::atomic<bool> posted{false};
    // One line per bus, however many posts it drops.
    std::atomic<bool> failureLogged{false};
};

struct DBusDistributedNotificationCenter::Observer
{
    ObserverToken token = 0;
    QString name;
    QString object;
    Handler handler;
    std::atomic<bool> active{true};
};

DBusDistributedNotificationCenter::DBusDistributedNotificationCenter()
{
    // QtDBus calls the slot on the receiver's thread; handlers belong on the
    // main thread, whichever thread made the centre.
    if (QCoreApplication* app = QCoreApplication::instance())
        moveToThread(app->thread());
    else
        qCWarning(lcBus).noquote() << "DistributedNotificationCenter:"
                                   << QStringLiteral(
                                          "no application object; notifications will not be received");

    const QString address = QString::fromLocal8Bit(qgetenv("PALISOR_DBUS_ADDRESS"));
    if (!address.isEmpty()) {
        m_privateConnectionName = QStringLiteral("palisor-notifications-%1").arg(g_connectionSerial++);
        m_buses.push_back(m_openBus(QDBusConnection::connectToBus(address, m_privateConnectionName),
                                    QStringLiteral("bus at %1").arg(address)));
        m_sessionBus = m_systemBus = m_buses.back().get();
    } else {
        m_buses.push_back(m_openBus(QDBusConnection::sessionBus(), QStringLiteral("session bus")));
        m_sessionBus = m_buses.back().get();
        m_buses.push_back(m_openBus(QDBusConnection::systemBus(), QStringLiteral("system bus")));
        m_systemBus = m_buses.back().get();
    }
}

DBusDistributedNotificationCenter::~DBusDistributedNotificationCenter()
{
    for (const auto& bus : m_buses) {
        if (bus->connection.isConnected())
            bus->connection.disconnect(QString(), kPath, kInterface, kMember, kSignature, this,
                                       receiveSlot());
    }
    if (!m_privateConnectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_privateConnectionName);
}

std::unique_ptr<DBusDistributedNotificationCenter::Bus>
DBusDistributedNotificationCenter::m_openBus(QDBusConnection connection, const QString& label)
{
    auto bus = std::make_unique<Bus>(connection, label);
    if (!connection.isConnected()) {
        qCWarning(lcBus).noquote() << "DistributedNotificationCenter:"
                                   << QStringLiteral(
                                          "the %1 cannot be reached (%2); notifications on it are dropped")
                                          .arg(label, connection.lastError().message());
        bus->failureLogged = true;
        return bus;
    }
    if (!connection.connect(QString(), kPath, kInterface, kMember, kSignature, this, receiveSlot()))
        qCWarning(lcBus).noquote()
            << "DistributedNotificationCenter:"
            << QStringLiteral("cannot listen on the %1 (%2)").arg(label, connection.lastError().message());
    return bus;
}

DBusDistributedNotificationCenter::Bus* DBusDistributedNotificationCenter::m_busFor(int options)
{
    Bus* bus = (options & PostToAllSessions) ? m_systemBus : m_sessionBus;
    if (!bus->connection.isConnected()) {
        if (!bus->failureLogged.exchange(true))
            qCWarning(lcBus).noquote()
                << "DistributedNotificationCenter:"
                << QStringLiteral("the %1 is gone; notifications on it are dropped").arg(bus->label);
        return nullptr;
    }
    return bus;
}

void DBusDistributedNotificationCenter::postNotificationName(const QString& name, const QString& object,
                                                             const QVariantMap& userInfo, int options)
{
    Bus* bus = m_busFor(options);
    if (!bus)
        return;
    QByteArray bytes;
    if (!userInfo.isEmpty()) {
        bytes = PropertyList::toData(userInfo, PropertyList::Format::Binary);
        if (bytes.isEmpty())
            qCWarning(lcBus).noquote()
                << "DistributedNotificationCenter:"
                << QStringLiteral("the userInfo of \"%1\" holds a value a property list cannot carry; "
                                  "posted without it")
                       .arg(name);
    }
    m_send(bus, name, object, bytes);
}

void DBusDistributedNotificationCenter::postNotificationData(const QString& name, const QString& object,
                                                             const QByteArray& userInfo, int options)
{
    if (Bus* bus = m_busFor(options))
        m_send(bus, name, object, userInfo);
}

void DBusDistributedNotificationCenter::m_send(Bus* bus, const QString& name, const QString& object,
                                               const QByteArray& userInfo)
{
    if (!userInfoFits(userInfo.size())) {
        qCWarning(lcBus).noquote() << "DistributedNotificationCenter:"
                                   << QStringLiteral("the userInfo of \"%1\" is %2 bytes, more than the bus "
                                                     "carries (%3); it was not posted")
                                          .arg(name)
                                          .arg(userInfo.size())
                                          .arg(kMaxUserInfoBytes);
        return;
    }
    QDBusMessage message = QDBusMessage::createSignal(kPath, kInterface, kMember);
    message << name << object << userInfo;
    if (!bus->connection.send(message)) {
        if (!bus->failureLogged.exchange(true))
            qCWarning(lcBus).noquote()
                << "DistributedNotificationCenter:"
                << QStringLiteral("cannot send on the %1 (%2); notifications on it are dropped")
                       .arg(bus->label, bus->connection.lastError().message());
        return;
    }
    bus->posted = true;
}

DistributedNotificationCenter::ObserverToken
DBusDistributedNotificationCenter::addObserver(const QString& name, const QString& object, Handler handler)
{
    auto observer = std::make_shared<Observer>();
    observer->name = name;
    observer->object = object;
    observer->handler = std::move(handler);
    QMutexLocker lock(&m_mutex);
    observer->token = m_nextToken++;
    m_observers.push_back(observer);
    return observer->token;
}

void DBusDistributedNotificationCenter::removeObserver(ObserverToken token)
{
    QMutexLocker lock(&m_mutex);
    for (auto it = m_observers.begin(); it != m_observers.end(); ++it) {
        if ((*it)->token == token) {
            (*it)->active = false;
            m_observers.erase(it);
            return;
        }
    }
}

void DBusDistributedNotificationCenter::flush()
{
    // The bus answers in order, so once it has answered a call every signal
    // sent before the call has left this process.
    for (const auto& bus : m_buses) {
        if (!bus->posted || !bus->connection.isConnected())
            continue;
        const QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
        const QDBusMessage reply = bus->connection.call(call, QDBus::Block, kFlushTimeoutMs);
        if (reply.type() == QDBusMessage::ErrorMessage)
            qCWarning(lcBus).noquote()
                << "DistributedNotificationCenter:"
                << QStringLiteral("flushing the %1 failed (%2)").arg(bus->label, reply.errorMessage());
    }
}

void DBusDistributedNotificationCenter::m_receivePost(const QString& name, const QString& object,
                                                      const QByteArray& userInfo)
{
    std::vector<std::shared_ptr<Observer>> matching;
    {
        QMutexLocker lock(&m_mutex);
        for (const auto& observer : m_observers) {
            if (matches(observer->name, name) && matches(observer->object, object))
                matching.push_back(observer);
        }
    }

    auto warnUnreadable =
        [&name](const QString& reason) {
            qCWarning(lcBus).noquote()
                << "DistributedNotificationCenter:"
                << QStringLiteral("\"%1\" arrived with an unreadable userInfo (%2); delivered without it")
                       .arg(name, reason);
        };
    if (userInfo.size() >= kLargeUserInfoBytes)
        FreedMemory::releaseSoon();
    Notification notification{name, object, {}};
    if (userInfo.size() > kMaxReadUserInfoBytes) {
        m_dropOversizedUserInfo(name, userInfo.size());
    } else if (!userInfo.isEmpty() && matching.empty()) {
        // Every post comes back to its poster too, the agent's whole rule set
        // among them: one no one here observes is only checked, never built,
        // which would cost the tree's memory for nothing.
        QString error;
        const std::optional<bool> dictionary = PropertyList::holdsDictionary(userInfo, &error);
        if (!dictionary || !*dictionary)
            warnUnreadable(dictionary ? QStringLiteral("not a dictionary") : error);
        return;
    } else if (!userInfo.isEmpty()) {
        QString error;
        const std::optional<QVariant> value = PropertyList::fromData(userInfo, &error);
        if (value && value->typeId() == QMetaType::QVariantMap)
            notification.userInfo = value->toMap();
        else
            warnUnreadable(value ? QStringLiteral("not a dictionary") : error);
    }

    // Without the lock: a handler may add or remove observers, or post.
    for (const auto& observer : matching) {
        if (observer->active)
            observer->handler(notification);
    }
}

void DBusDistributedNotificationCenter::m_dropOversizedUserInfo(const QString& name, qsizetype bytes)
{
    ++m_oversizedSinceLog;
    if (m_oversizeLogTimer.isValid() && !m_oversizeLogTimer.hasExpired(kOversizeLogIntervalMs))
        return;
    QString line =
        QStringLiteral("\"%1\" arrived with a userInfo of %2 bytes, more than %3; delivered without it")
            .arg(name)
            .arg(bytes)
            .arg(kMaxReadUserInfoBytes);
    if (m_oversizedSinceLog > 1)
        line += QStringLiteral(" (%1 such userInfos since the last report)").arg(m_oversizedSinceLog);
    qCWarning(lcBus).noquote() << "DistributedNotificationCenter:" << line;
    m_oversizedSinceLog = 0;
    m_oversizeLogTimer.start();
}
