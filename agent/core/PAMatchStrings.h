#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

class PAApplication;

// The eight lists an app's matches are drawn from, in the order the
// classifier names them. Each holds match strings unchanged, prefix included,
// in the order of the app's matches.
struct PAMatchLists
{
    QStringList passedPortRanges;
    QStringList passedSubnets;
    QStringList passedPorts;
    QStringList passedAddresses;
    QStringList blockedPortRanges;
    QStringList blockedSubnets;
    QStringList blockedPorts;
    QStringList blockedAddresses;

    bool operator==(const PAMatchLists&) const = default;
};

// One app's match strings: "@" passes and "#" blocks; the rest is a port
// range ("_range" low ":" high), a subnet (any text with "/"), a port (a
// decimal integer from 1 to 65535) or an address as typed. A match is its
// text: nothing is trimmed or normalised, and two matches are the same only
// when their texts are equal. Lists read from files may hold anything, so
// every function accepts any text. Main thread only for the app forms.
class PAMatchStrings
{
public:
    // An optional "+" or "-" and one or more ASCII digits, nothing else (no
    // blanks), whose value fits a qint64; nullopt otherwise.
    static std::optional<qint64> decimalInteger(QStringView text);

    // Appends `match` to the one list its prefix and body name, or to none
    // when it begins with neither "@" nor "#".
    static void classifyMatch(const QString& match, PAMatchLists& lists);

    // True when neither "@" nor "#" followed by the port in decimal is among
    // the matches.
    static bool portIsValid(const QStringList& matches, qint64 port);
    static bool portIsValid(const PAApplication& app, qint64 port);
    // The same for "@_range" and "#_range" followed by the range text.
    static bool portRangeIsValid(const QStringList& matches, const QString& range);
    static bool portRangeIsValid(const PAApplication& app, const QString& range);

    // Takes every match whose text equals one of `texts` out of `matches`,
    // keeping the others in order; true when any went.
    static bool removeMatches(QStringList& matches, const QStringList& texts);
    // Takes "@" + the address and "#" + the address out of the app's
    // matches; always true.
    static bool logsIPIsValid(PAApplication& app, const QString& ipaddr);
    // The same for the port in decimal.
    static bool logsPortIsValid(PAApplication& app, qint64 port);
    // Takes every match equal to prefix + body out of the app's matches. The
    // text decides alone: a port range's body carries its "_range" marker,
    // so removing "@80:90" leaves "@_range80:90" in place.
    static void removeAddressFromApp(PAApplication& app, const QString& ip, const QString& prefix);
};
