#include "platform/LogindSessionEvents.h"

#include "platform/Log.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace {

const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kActive = QStringLiteral("Active");
// logind answers at once or not at all; a helper that starts at login must
// not hang on it.
constexpr int kCallTimeoutMs = 2000;

QString errorText(const QDBusMessage& reply)
{
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

} // namespace

LogindSessionEvents::LogindSessionEvents(const QDBusConnection& bus, QObject* parent)
    : SessionEvents(parent)
    , m_bus(bus)
{
}

bool LogindSessionEvents::start()
{
    if (!m_bus.isConnected())
        return m_unavailable(QStringLiteral("no system bus"));

    QString session = QString::fromLocal8Bit(qgetenv("XDG_SESSION_ID"));
    if (session.isEmpty())
        session = QStringLiteral("auto");
    QDBusMessage call = QDBusMessage::createMethodCall(kLogin, QStringLiteral("/org/freedesktop/login1"),
                                                       QStringLiteral("org.freedesktop.login1.Manager"),
                                                       QStringLiteral("GetSession"));
    call << session;
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return m_unavailable(errorText(reply));
    m_sessionPath = qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
    if (m_sessionPath.isEmpty())
        return m_unavailable(QStringLiteral("logind named no session"));

    // Subscribed before the first read, so that no change falls between them.
    if (!m_bus.connect(kLogin, m_sessionPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                       SLOT(m_propertiesChanged(QString, QVariantMap, QStringList))))
        return m_unavailable(m_bus.lastError().message());
    QString error;
    const std::optional<bool> active = m_readActive(&error);
    if (!active) {
        m_bus.disconnect(kLogin, m_sessionPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                         SLOT(m_propertiesChanged(QString, QVariantMap, QStringList)));
        return m_unavailable(error);
    }
    // The state to compare changes with; announcing it is no event.
    m_active = active;
    return true;
}

void LogindSessionEvents::m_propertiesChanged(const QString& interface, const QVariantMap& changed,
                                              const QStringList& invalidated)
{
    if (interface != kSessionInterface)
        return;
    const auto value = changed.constFind(kActive);
    if (value != changed.constEnd()) {
        m_setActive(value->toBool());
    } else if (invalidated.contains(kActive)) {
        if (const std::optional<bool> active = m_readActive())
            m_setActive(*active);
    }
}

bool LogindSessionEvents::m_unavailable(const QString& reason)
{
    m_sessionPath.clear();
    qCWarning(lcSession).noquote()
        << QStringLiteral("No login session from logind (%1): session switches are not followed").arg(reason);
    return false;
}

std::optional<bool> LogindSessionEvents::m_readActive(QString* error)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(kLogin, m_sessionPath, kProperties, QStringLiteral("Get"));
    call << kSessionInterface << kActive;
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        if (error)
            *error = errorText(reply);
        return std::nullopt;
    }
    const QVariant value = qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant();
    if (value.typeId() != QMetaType::Bool) {
        if (error)
            *error = QStringLiteral("the session's Active property is not a boolean");
        return std::nullopt;
    }
    return value.toBool();
}

void LogindSessionEvents::m_setActive(bool active)
{
    // Only a change is an event: logind may repeat a value.
    if (m_active == active)
        return;
    m_active = active;
    if (active)
        emit sessionDidBecomeActive();
    else
        emit sessionDidResignActive();
}
