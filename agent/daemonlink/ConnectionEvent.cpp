#include "daemonlink/ConnectionEvent.h"

#include "core/XPCpid.h"
#include "daemonlink/managesocketagent.h"

#include <charconv>
#include <limits>

namespace {

// Digits only: no sign, blank or exponent that a looser conversion lets by.
std::optional<quint64> decimal(const QString& text, quint64 largest)
{
    if (text.isEmpty() || text.size() > 20)
        return std::nullopt;
    quint64 value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        const quint64 digit = quint64(c.unicode() - '0');
        if (value > (largest - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// Decimal seconds, never an exponent: the shortest digits that read back the
// same, with a fraction always shown. The buffer holds the longest fixed form
// of a double (about 330 characters for the smallest subnormal).
QString secondsText(double seconds)
{
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('n')) &&
        !text.contains(QLatin1Char('i')))
        text += QLatin1String(".0");
    return text;
}

QString withoutControlCharacters(const QString& text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code < 0x20 || code == 0x7f || (code >= 0x80 && code < 0xa0))
            result += QStringLiteral("\\x%1").arg(unsigned(code), 2, 16, QLatin1Char('0'));
        else if (code == 0x2028 || code == 0x2029 || code == 0x85)
            result += QStringLiteral("\\u%1").arg(unsigned(code), 4, 16, QLatin1Char('0'));
        else
            result += c;
    }
    return result;
}

} // namespace

QString SystemConnectionLookups::infoprocess(quint32 pid) const
{
    return managesocketagent::infoprocess(pid);
}

int SystemConnectionLookups::infoRootProcess(quint32 pid) const
{
    return managesocketagent::infoRootProcess(pid);
}

QString SystemConnectionLookups::xpcpid(quint32 pid) const
{
    return XPCpid().xpcpid(pid);
}

std::optional<QStringList> connectionEventFields(const QString& line)
{
    QString text = line;
    text.remove(QLatin1Char('\n'));
    const QStringList fields = text.split(QLatin1Char(' '));
    if (fields.size() < 4 || fields.at(0) != QLatin1String("0"))
        return std::nullopt;
    if (!decimal(fields.at(3), std::numeric_limits<quint32>::max()) || !decimal(fields.at(2), 65535))
        return std::nullopt;
    return fields;
}

ParsedConnection parseConnectionEvent(const QStringList& fields, const ConnectionLookups& lookups,
                                      qint64 myUID)
{
    ParsedConnection connection;
    const quint32 pid = quint32(decimal(fields.value(3), std::numeric_limits<quint32>::max()).value_or(0));
    connection.pid = pid;
    connection.path = lookups.infoprocess(pid);
    connection.uid = QString::number(lookups.infoRootProcess(pid));
    connection.address = fields.value(1);
    connection.port = qint64(decimal(fields.value(2), 65535).value_or(0));
    connection.blocked = fields.size() >= 7;
    // A process that has gone is still named by the path that came with a
    // blocked report; a path with blanks came split over several fields.
    if (connection.blocked && connection.path == QLatin1String("error"))
        connection.path = fields.mid(6).join(QLatin1Char(' '));
    bool isNumber = false;
    const qint64 uid = connection.uid.toLongLong(&isNumber);
    connection.otherUser = !isNumber || uid != myUID;
    if (!connection.otherUser && connection.path.contains(QLatin1String(".xpc/Contents/"))) {
        connection.hostPath = lookups.infoprocess(xpcHostPid(pid, lookups));
        if (connection.hostPath != QLatin1String("error")) {
            QString name = connection.hostPath.section(QLatin1Char('/'), -1);
            if (name.endsWith(QLatin1String(".app")))
                name.chop(4);
            connection.viaName = name;
        }
    }
    return connection;
}

quint32 xpcHostPid(quint32 pid, const ConnectionLookups& lookups)
{
    const QString description = lookups.xpcpid(pid);
    if (description.isEmpty())
        return pid;
    QString line;
    for (const QString& candidate : description.split(QLatin1Char('\n'))) {
        if (candidate.contains(QLatin1String("domain = "))) {
            line = candidate;
            break;
        }
    }
    if (!line.contains(QLatin1String("domain = com.apple.xpc.launchd.domain.pid.")))
        return pid;
    const QStringList parts = line.split(QLatin1Char('.'));
    const std::optional<quint64> host = decimal(parts.last().trimmed(), std::numeric_limits<quint32>::max());
    if (parts.size() >= 2 && host && *host >= 1 && *host < 99999)
        return quint32(*host);
    return pid;
}

QString connectionProcessName(const QString& path)
{
    const QStringList components = path.split(QLatin1Char('/'));
    if (!path.contains(QLatin1String(".app/Contents/")))
        return components.last();
    for (const QString& component : components) {
        if (component.endsWith(QLatin1String(".app")))
            return component.chopped(4);
    }
    return QString();
}

QString connectionLogLine(const ParsedConnection& connection, double secondsSince1970)
{
    const QString via =
        connection.viaName.isEmpty() ? QStringLiteral("#") : QStringLiteral(" VIA:#") + connection.viaName;
    const QString line = QStringLiteral("[CONN] #") + secondsText(secondsSince1970) + QStringLiteral("# #") +
                         (connection.blocked ? QStringLiteral("BLOCK") : QStringLiteral("PASS")) +
                         QStringLiteral("# PROC:#") + connectionProcessName(connection.path) +
                         QStringLiteral("#") + via + QStringLiteral("# PID:#") +
                         QString::number(connection.pid) + QStringLiteral("# UID:#") + connection.uid +
                         QStringLiteral("# PATH:#") + connection.path + QStringLiteral("# ADDR:#") +
                         connection.address + QStringLiteral("#") + QString::number(connection.port);
    return withoutControlCharacters(line);
}
