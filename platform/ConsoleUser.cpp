#include "platform/ConsoleUser.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <optional>
#include <unistd.h>

namespace {

const QString kLogin = QStringLiteral("org.freedesktop.login1");

std::optional<QVariant> property(const QString& path, const QString& interface, const QString& name)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return std::nullopt;
    QDBusMessage call = QDBusMessage::createMethodCall(
        kLogin, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << interface << name;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 1000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant();
}

// logind gives structures of (id, object path); the first field is wanted.
template <typename T> std::optional<T> firstField(const QVariant& value)
{
    if (!value.canConvert<QDBusArgument>())
        return std::nullopt;
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (argument.currentType() != QDBusArgument::StructureType)
        return std::nullopt;
    T first{};
    QDBusObjectPath path;
    argument.beginStructure();
    argument >> first >> path;
    argument.endStructure();
    return first;
}

// What logind says: whether it answered at all, and its console user.
struct LogindAnswer
{
    bool answered = false;
    bool hasUser = false;
    uid_t uid = 0;
};

LogindAnswer logindConsoleUser()
{
    LogindAnswer answer;
    const std::optional<QVariant> active =
        property(QStringLiteral("/org/freedesktop/login1/seat/seat0"),
                 QStringLiteral("org.freedesktop.login1.Seat"), QStringLiteral("ActiveSession"));
    if (!active)
        return answer;
    answer.answered = true;
    if (!active->canConvert<QDBusArgument>())
        return answer;
    QString sessionId;
    QDBusObjectPath sessionPath;
    {
        const QDBusArgument argument = active->value<QDBusArgument>();
        argument.beginStructure();
        argument >> sessionId >> sessionPath;
        argument.endStructure();
    }
    // No active session on the seat: nobody is at the console.
    if (sessionId.isEmpty() || sessionPath.path().isEmpty() || sessionPath.path() == QLatin1String("/"))
        return answer;
    const std::optional<QVariant> user = property(
        sessionPath.path(), QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("User"));
    const std::optional<uint> uid = user ? firstField<uint>(*user) : std::nullopt;
    if (uid) {
        answer.hasUser = true;
        answer.uid = static_cast<uid_t>(*uid);
    }
    return answer;
}

} // namespace

std::optional<uid_t> ConsoleUser::uid()
{
    const LogindAnswer logind = logindConsoleUser();
    if (!logind.answered)
        return getuid();
    if (!logind.hasUser)
        return std::nullopt;
    return logind.uid;
}
