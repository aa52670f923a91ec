#include "support/StandInLogind.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QMutexLocker>

namespace {

const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

} // namespace

class StandInLogind::Responder : public QDBusVirtualObject
{
public:
    explicit Responder(const QString& sessionId)
        : m_sessionId(sessionId)
    {
    }

    QString sessionPath() const { return kManagerPath + QStringLiteral("/session/") + m_sessionId; }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        QMutexLocker lock(&m_mutex);
        const QList<QVariant> arguments = message.arguments();
        if (message.path() == kManagerPath && message.member() == QLatin1String("GetSession") &&
            arguments.size() == 1) {
            const QString asked = arguments.at(0).toString();
            m_asked << asked;
            // "auto" is the caller's session, or the user's graphical one.
            if (asked != m_sessionId && asked != QLatin1String("auto"))
                return connection.send(
                    message.createErrorReply(QStringLiteral("org.freedesktop.login1.NoSuchSession"),
                                             QStringLiteral("No such session")));
            return connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(sessionPath()))));
        }
        if (message.path() == sessionPath() && message.interface() == kProperties &&
            message.member() == QLatin1String("Get") && arguments.size() == 2 &&
            arguments.at(0).toString() == kSessionInterface &&
            arguments.at(1).toString() == QLatin1String("Active"))
            return connection.send(message.createReply(QVariant::fromValue(QDBusVariant(m_active))));
        return false;
    }

    void setActive(bool active)
    {
        QMutexLocker lock(&m_mutex);
        m_active = active;
    }

    QStringList asked() const
    {
        QMutexLocker lock(&m_mutex);
        return m_asked;
    }

private:
    const QString m_sessionId;
    mutable QMutex m_mutex;
    bool m_active = true;
    QStringList m_asked;
};

StandInLogind::StandInLogind(const QByteArray& busAddress, const QString& sessionId)
    : m_connectionName(QStringLiteral("stand-in-logind-%1").arg(quintptr(this)))
    , m_responder(new Responder(sessionId))
{
    // Registered before it moves: the connection gives it a child, which
    // moves with it. Nobody calls before the name is taken.
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromLatin1(busAddress), m_connectionName);
    const bool registered =
        bus.isConnected() && bus.registerVirtualObject(kManagerPath, m_responder, QDBusConnection::SubPath);
    m_responder->moveToThread(&m_thread);
    m_thread.start();
    m_running = registered && bus.registerService(kLogin);
}

StandInLogind::~StandInLogind()
{
    {
        QDBusConnection bus(m_connectionName);
        bus.unregisterService(kLogin);
        bus.unregisterObject(kManagerPath, QDBusConnection::UnregisterTree);
    }
    QDBusConnection::disconnectFromBus(m_connectionName);
    m_thread.quit();
    m_thread.wait();
    delete m_responder;
}

QString StandInLogind::sessionPath() const
{
    return m_responder->sessionPath();
}

void StandInLogind::setActive(bool active, bool announceValue)
{
    m_responder->setActive(active);
    QDBusMessage changed =
        QDBusMessage::createSignal(sessionPath(), kProperties, QStringLiteral("PropertiesChanged"));
    QVariantMap values;
    QStringList invalidated;
    if (announceValue)
        values.insert(QStringLiteral("Active"), active);
    else
        invalidated << QStringLiteral("Active");
    changed << kSessionInterface << values << invalidated;
    QDBusConnection(m_connectionName).send(changed);
}

QStringList StandInLogind::askedSessions() const
{
    return m_responder->asked();
}
