#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The entries a user types into an app's add popover: which kind a text is,
// which message refuses it, and how each kind is appended to the app's match
// list. Pure functions on texts and lists, safe on any thread; the window
// applies the outcome to the app on the main thread.
class PAAppEntries
{
public:
    // The messages, as the add popover shows them.
    static const QString& duplicatedRule();    // "duplicated rule"
    static const QString& invalidIPv6Subnet(); // "invalid IPv6 subnet"
    static const QString& invalidIPv4Subnet(); // "invalid IPv4 subnet"
    static const QString& invalidPortRange();  // "invalid port range?"
    static const QString& invalidPort();       // "invalid port"
    static const QString& invalidSubnet();     // "invalid subnet"
    static const QString& invalidEntry();      // "invalid entry"

    // "@" for pop-up index 0 (pass), "#" for any other.
    static QString prefixFor(qint64 addressType);

    enum class Kind {
        // Empty text: nothing happens, not even a message.
        Nothing,
        // Already a match with either prefix; `message` says so.
        Duplicate,
        // Refused with `message`.
        Refused,
        Subnet,
        Address,
        Port,
        PortRange,
        // Anything else is looked up as a host name.
        HostName,
    };
    struct Decision
    {
        Kind kind = Kind::Nothing;
        QString message;
        bool operator==(const Decision&) const = default;
    };
    // Decides what `text` is, against the app's current matches. The tests
    // run in a fixed order and the first that applies decides: empty, already
    // a match with either prefix, IPv6 network, address, port, port range,
    // IPv4 network, host name. The text is taken as typed: nothing is trimmed.
    static Decision parseEntry(const QString& text, const QStringList& matches);

    // What one add step did to the list.
    enum class Step {
        // The list may have changed; the change is committed.
        Commit,
        // Nothing changed and nothing is committed; `message` is shown when
        // it is not empty.
        Stop,
    };
    struct Outcome
    {
        Step step = Step::Commit;
        QString message;
        bool operator==(const Outcome&) const = default;
    };
    // Each appends prefix + text (a port range behind "_range") unless that
    // kind's duplicate test finds it; the text is stored as typed.
    static Outcome addSubnet(QStringList& matches, const QString& prefix, const QString& text);
    // A duplicate is not appended, but the commit still runs.
    static Outcome addAddress(QStringList& matches, const QString& prefix, const QString& text);
    // A port is a duplicate when its value in decimal is a match with either
    // prefix, so "+80" is refused where "#80" stands.
    static Outcome addPort(QStringList& matches, const QString& prefix, const QString& text);
    static Outcome addPortRange(QStringList& matches, const QString& prefix, const QString& text);
    static Outcome addWildcard(QStringList& matches, const QString& prefix, const QString& text);
    // Appends prefix + each address in order, skipping any already a match
    // with either prefix, the ones just appended included. The number
    // appended.
    static int addAddresses(QStringList& matches, const QString& prefix, const QStringList& addresses);

    // The catch-all rule ("Everyone") for the pop-up's index on an app in
    // `state`: whether the matches are emptied first, the rule set then, and
    // whether a quiet period ends (an asking app only).
    struct EveryoneChange
    {
        bool emptyMatches = false;
        std::optional<qint64> rule;
        bool endQuietPeriod = false;
        bool operator==(const EveryoneChange&) const = default;
    };
    static EveryoneChange everyoneChange(qint64 state, int popupIndex, const QStringList& matches);
};
