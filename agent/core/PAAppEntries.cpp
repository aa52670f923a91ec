#include "core/PAAppEntries.h"

#include "core/PAAppRuleEvaluation.h"
#include "core/PAMatchStrings.h"
#include "core/TLMatchIP.h"
#include "core/TLValidateIP.h"

namespace {

constexpr qint64 kLowestPort = 1;
constexpr qint64 kHighestPort = 65535;
constexpr qint64 kLongestIPv4Prefix = 32;

bool isPort(qint64 value)
{
    return value >= kLowestPort && value <= kHighestPort;
}

bool isMatchWithEitherPrefix(const QStringList& matches, const QString& body)
{
    return matches.contains(QLatin1Char('@') + body) || matches.contains(QLatin1Char('#') + body);
}

PAAppEntries::Decision refused(const QString& message)
{
    return {PAAppEntries::Kind::Refused, message};
}

// "low:high" with both pieces decimal integers, low below high, both ports.
// Pieces after the second are not looked at.
bool isPortRange(const QString& text)
{
    const QStringList pieces = text.split(QLatin1Char(':'));
    if (pieces.size() < 2)
        return false;
    const auto low = PAMatchStrings::decimalInteger(pieces.at(0));
    const auto high = PAMatchStrings::decimalInteger(pieces.at(1));
    return low && high && *low < *high && isPort(*low) && isPort(*high);
}

// "address/length" with an IPv4 address and a length from 0 to 32. Pieces
// after the second are not looked at.
bool isIPv4Subnet(const QString& text)
{
    const QStringList pieces = text.split(QLatin1Char('/'));
    if (pieces.size() < 2 || !TLValidateIP().isValidIpAddress(pieces.at(0)))
        return false;
    const auto length = PAMatchStrings::decimalInteger(pieces.at(1));
    return length && *length >= 0 && *length <= kLongestIPv4Prefix;
}

PAAppEntries::Outcome appendUnlessPresent(QStringList& matches, const QString& entry, const QString& message)
{
    if (matches.contains(entry))
        return {PAAppEntries::Step::Stop, message};
    matches.append(entry);
    return {};
}

} // namespace

const QString& PAAppEntries::duplicatedRule()
{
    static const QString text = QStringLiteral("duplicated rule");
    return text;
}

const QString& PAAppEntries::invalidIPv6Subnet()
{
    static const QString text = QStringLiteral("invalid IPv6 subnet");
    return text;
}

const QString& PAAppEntries::invalidIPv4Subnet()
{
    static const QString text = QStringLiteral("invalid IPv4 subnet");
    return text;
}

const QString& PAAppEntries::invalidPortRange()
{
    static const QString text = QStringLiteral("invalid port range?");
    return text;
}

const QString& PAAppEntries::invalidPort()
{
    static const QString text = QStringLiteral("invalid port");
    return text;
}

const QString& PAAppEntries::invalidSubnet()
{
    static const QString text = QStringLiteral("invalid subnet");
    return text;
}

const QString& PAAppEntries::invalidEntry()
{
    static const QString text = QStringLiteral("invalid entry");
    return text;
}

QString PAAppEntries::prefixFor(qint64 addressType)
{
    return addressType == 0 ? QStringLiteral("@") : QStringLiteral("#");
}

PAAppEntries::Decision PAAppEntries::parseEntry(const QString& text, const QStringList& matches)
{
    if (text.isEmpty())
        return {};
    if (isMatchWithEitherPrefix(matches, text))
        return {Kind::Duplicate, duplicatedRule()};
    const bool hasColon = text.contains(QLatin1Char(':'));
    const bool hasSlash = text.contains(QLatin1Char('/'));
    if (hasColon && hasSlash)
        return TLMatchIP().validateIPV6cidr(text) ? Decision{Kind::Subnet, {}} : refused(invalidIPv6Subnet());
    if ((hasColon || text.contains(QLatin1Char('.'))) && TLValidateIP().isValidIpAddress(text))
        return {Kind::Address, {}};
    if (const auto value = PAMatchStrings::decimalInteger(text))
        return isPort(*value) ? Decision{Kind::Port, {}} : refused(invalidPort());
    if (hasColon)
        return isPortRange(text) ? Decision{Kind::PortRange, {}} : refused(invalidPortRange());
    if (hasSlash)
        return isIPv4Subnet(text) ? Decision{Kind::Subnet, {}} : refused(invalidIPv4Subnet());
    return {Kind::HostName, {}};
}

PAAppEntries::Outcome PAAppEntries::addSubnet(QStringList& matches, const QString& prefix,
                                              const QString& text)
{
    return appendUnlessPresent(matches, prefix + text, invalidSubnet());
}

PAAppEntries::Outcome PAAppEntries::addAddress(QStringList& matches, const QString& prefix,
                                               const QString& text)
{
    const QString entry = prefix + text;
    if (!matches.contains(entry))
        matches.append(entry);
    return {};
}

PAAppEntries::Outcome PAAppEntries::addPort(QStringList& matches, const QString& prefix, const QString& text)
{
    const auto value = PAMatchStrings::decimalInteger(text);
    if (!value || !PAMatchStrings::portIsValid(matches, *value))
        return {Step::Stop, invalidPort()};
    matches.append(prefix + text);
    return {};
}

PAAppEntries::Outcome PAAppEntries::addPortRange(QStringList& matches, const QString& prefix,
                                                 const QString& text)
{
    if (!PAMatchStrings::portRangeIsValid(matches, text))
        return {Step::Stop, {}};
    matches.append(prefix + QStringLiteral("_range") + text);
    return {};
}

PAAppEntries::Outcome PAAppEntries::addWildcard(QStringList& matches, const QString& prefix,
                                                const QString& text)
{
    return appendUnlessPresent(matches, prefix + text, {});
}

int PAAppEntries::addAddresses(QStringList& matches, const QString& prefix, const QStringList& addresses)
{
    int appended = 0;
    for (const QString& address : addresses) {
        if (isMatchWithEitherPrefix(matches, address))
            continue;
        matches.append(prefix + address);
        ++appended;
    }
    return appended;
}

PAAppEntries::EveryoneChange PAAppEntries::everyoneChange(qint64 state, int popupIndex,
                                                          const QStringList& matches)
{
    constexpr int pass = 0;
    constexpr int block = 1;
    EveryoneChange change;
    switch (state) {
    case 0:
    case 2:
        if (popupIndex == block)
            change = {true, 1, false};
        break;
    case 1:
    case 3:
        if (popupIndex == pass)
            change = {true, 0, false};
        break;
    case 4:
        // An asking app keeps its exceptions of the other direction.
        if (popupIndex == pass)
            change.rule = hasMatchBeginningWith(matches, QLatin1Char('#')) ? 2 : 0;
        else if (popupIndex == block)
            change.rule = hasMatchBeginningWith(matches, QLatin1Char('@')) ? 3 : 1;
        change.endQuietPeriod = true;
        break;
    default:
        break;
    }
    return change;
}
