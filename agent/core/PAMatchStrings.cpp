#include "core/PAMatchStrings.h"

#include "core/PAApplication.h"

#include <limits>

namespace {

constexpr qint64 kLowestPort = 1;
constexpr qint64 kHighestPort = 65535;

bool isPort(const std::optional<qint64>& value)
{
    return value && *value >= kLowestPort && *value <= kHighestPort;
}

// The four kinds of body under one prefix, into the four lists of that prefix.
void classifyBody(const QString& match, QChar prefix, QStringList& ranges, QStringList& subnets,
                  QStringList& ports, QStringList& addresses)
{
    if (match.startsWith(QString(prefix) + QStringLiteral("_range"))) {
        ranges.append(match);
        return;
    }
    if (match.contains(QLatin1Char('/'))) {
        subnets.append(match);
        return;
    }
    QString rest = match;
    rest.remove(prefix);
    if (isPort(PAMatchStrings::decimalInteger(rest)))
        ports.append(match);
    else
        addresses.append(match);
}

bool containsEither(const QStringList& matches, const QString& body)
{
    return matches.contains(QLatin1Char('@') + body) || matches.contains(QLatin1Char('#') + body);
}

void removeFromApp(PAApplication& app, const QStringList& texts)
{
    QStringList matches = app.appMatches();
    if (PAMatchStrings::removeMatches(matches, texts))
        app.setAppMatches(matches);
}

} // namespace

std::optional<qint64> PAMatchStrings::decimalInteger(QStringView text)
{
    qsizetype position = 0;
    bool negative = false;
    if (!text.isEmpty() && (text.front() == QLatin1Char('+') || text.front() == QLatin1Char('-'))) {
        negative = text.front() == QLatin1Char('-');
        position = 1;
    }
    if (position == text.size())
        return std::nullopt;
    // Accumulated as a negative number, whose range reaches one further than
    // the positive one, so the lowest qint64 is read too.
    constexpr qint64 lowest = std::numeric_limits<qint64>::min();
    qint64 value = 0;
    for (; position < text.size(); ++position) {
        const char16_t c = text[position].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c - u'0';
        if (value < (lowest + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    if (value == lowest)
        return std::nullopt;
    return -value;
}

void PAMatchStrings::classifyMatch(const QString& match, PAMatchLists& lists)
{
    if (match.startsWith(QLatin1Char('@')))
        classifyBody(match, QLatin1Char('@'), lists.passedPortRanges, lists.passedSubnets, lists.passedPorts,
                     lists.passedAddresses);
    else if (match.startsWith(QLatin1Char('#')))
        classifyBody(match, QLatin1Char('#'), lists.blockedPortRanges, lists.blockedSubnets,
                     lists.blockedPorts, lists.blockedAddresses);
}

bool PAMatchStrings::portIsValid(const QStringList& matches, qint64 port)
{
    return !containsEither(matches, QString::number(port));
}

bool PAMatchStrings::portIsValid(const PAApplication& app, qint64 port)
{
    return portIsValid(app.appMatches(), port);
}

bool PAMatchStrings::portRangeIsValid(const QStringList& matches, const QString& range)
{
    return !containsEither(matches, QStringLiteral("_range") + range);
}

bool PAMatchStrings::portRangeIsValid(const PAApplication& app, const QString& range)
{
    return portRangeIsValid(app.appMatches(), range);
}

bool PAMatchStrings::removeMatches(QStringList& matches, const QStringList& texts)
{
    return matches.removeIf([&texts](const QString& match) { return texts.contains(match); }) > 0;
}

bool PAMatchStrings::logsIPIsValid(PAApplication& app, const QString& ipaddr)
{
    removeFromApp(app, {QLatin1Char('@') + ipaddr, QLatin1Char('#') + ipaddr});
    return true;
}

bool PAMatchStrings::logsPortIsValid(PAApplication& app, qint64 port)
{
    const QString decimal = QString::number(port);
    removeFromApp(app, {QLatin1Char('@') + decimal, QLatin1Char('#') + decimal});
    return true;
}

void PAMatchStrings::removeAddressFromApp(PAApplication& app, const QString& ip, const QString& prefix)
{
    removeFromApp(app, {prefix + ip});
}
