#include "core/PAAppEntries.h"

#include "core/PAAppRuleEvaluation.h"
#include "core/PAApplication.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using Kind = PAAppEntries::Kind;
using Step = PAAppEntries::Step;

const char* kindName(Kind kind)
{
    switch (kind) {
    case Kind::Nothing:
        return "nothing";
    case Kind::Duplicate:
        return "duplicate";
    case Kind::Refused:
        return "refused";
    case Kind::Subnet:
        return "subnet";
    case Kind::Address:
        return "address";
    case Kind::Port:
        return "port";
    case Kind::PortRange:
        return "port range";
    case Kind::HostName:
        return "host name";
    }
    return "?";
}

TEST(PAAppEntriesTest, ParserDecidesInItsFixedOrderWithTheExactMessages)
{
    const struct
    {
        QString text;
        Kind kind;
        QString message;
        QStringList matches = {};
    } cases[] = {
        {"", Kind::Nothing, ""},
        // Already a match with either prefix, whatever the kind would be.
        {"10.0.0.1", Kind::Duplicate, "duplicated rule", {"#10.0.0.1"}},
        {"10.0.0.1", Kind::Duplicate, "duplicated rule", {"@10.0.0.1"}},
        {"junk/99", Kind::Duplicate, "duplicated rule", {"#junk/99"}},
        {"0", Kind::Duplicate, "duplicated rule", {"@0"}},
        // Only the exact text counts: a range is stored behind "_range", a
        // port by its value only in the port step.
        {"6000:6010", Kind::PortRange, "", {"@_range6000:6010"}},
        {"80", Kind::Port, "", {"#080", "@_range80"}},
        {"10.0.0.1", Kind::Address, "", {"@10.0.0.1 ", "10.0.0.1", "%10.0.0.1"}},
        // Addresses, IPv4 and IPv6, without any look-up.
        {"10.0.0.1", Kind::Address, ""},
        {"fe80::1", Kind::Address, ""},
        {"::1", Kind::Address, ""},
        {"::ffff:1.2.3.4", Kind::Address, ""},
        // IPv6 networks: anything with ":" and "/".
        {"fe80::/10", Kind::Subnet, ""},
        {"::/0", Kind::Subnet, ""},
        {"fe80::/200", Kind::Refused, "invalid IPv6 subnet"},
        {"fe80::/", Kind::Refused, "invalid IPv6 subnet"},
        {"1:2/3:4", Kind::Refused, "invalid IPv6 subnet"},
        {"10.0.0.1:80/8", Kind::Refused, "invalid IPv6 subnet"},
        // Ports.
        {"443", Kind::Port, ""},
        {"1", Kind::Port, ""},
        {"65535", Kind::Port, ""},
        {"+80", Kind::Port, ""},
        {"080", Kind::Port, ""},
        {"0", Kind::Refused, "invalid port"},
        {"65536", Kind::Refused, "invalid port"},
        {"-1", Kind::Refused, "invalid port"},
        {"99999999999999999999999", Kind::HostName, ""},
        // Port ranges: ":" without "/".
        {"6000:6010", Kind::PortRange, ""},
        {"1:65535", Kind::PortRange, ""},
        {"+1:2", Kind::PortRange, ""},
        {"1:2:3", Kind::PortRange, ""},
        {"1:2:junk", Kind::PortRange, ""},
        {"6010:6000", Kind::Refused, "invalid port range?"},
        {"80:80", Kind::Refused, "invalid port range?"},
        {"0:10", Kind::Refused, "invalid port range?"},
        {"65535:65536", Kind::Refused, "invalid port range?"},
        {"-5:10", Kind::Refused, "invalid port range?"},
        {"a:b", Kind::Refused, "invalid port range?"},
        {"80:", Kind::Refused, "invalid port range?"},
        {":80", Kind::Refused, "invalid port range?"},
        {" 80:90", Kind::Refused, "invalid port range?"},
        // An address with a port is no range: its first piece is no integer.
        {"10.0.0.1:80", Kind::Refused, "invalid port range?"},
        {"[::1]:80", Kind::Refused, "invalid port range?"},
        {"host:8080", Kind::Refused, "invalid port range?"},
        // IPv4 networks: "/" without ":".
        {"10.0.0.0/8", Kind::Subnet, ""},
        {"10.0.0.0/0", Kind::Subnet, ""},
        {"10.0.0.0/32", Kind::Subnet, ""},
        {"10.0.0.0/08", Kind::Subnet, ""},
        {"10.0.0.0/+8", Kind::Subnet, ""},
        {"10.0.0.0/8/9", Kind::Subnet, ""},
        {"10.0.0.0/33", Kind::Refused, "invalid IPv4 subnet"},
        {"10.0.0.0/-1", Kind::Refused, "invalid IPv4 subnet"},
        {"10.0.0.0/x", Kind::Refused, "invalid IPv4 subnet"},
        {"10.0.0.0/", Kind::Refused, "invalid IPv4 subnet"},
        {"10.0.0/8", Kind::Refused, "invalid IPv4 subnet"},
        {"/8", Kind::Refused, "invalid IPv4 subnet"},
        {"example.org/8", Kind::Refused, "invalid IPv4 subnet"},
        {"256.0.0.0/8", Kind::Refused, "invalid IPv4 subnet"},
        // Everything else is looked up as a host name, as typed.
        {"example.org", Kind::HostName, ""},
        {"localhost", Kind::HostName, ""},
        {"10.0.0", Kind::HostName, ""},
        {"256.1.1.1", Kind::HostName, ""},
        {" 10.0.0.1", Kind::HostName, ""},
        {"80 ", Kind::HostName, ""},
        {"*.example.org", Kind::HostName, ""},
        {QString::fromUtf8("b\u00fccher.example"), Kind::HostName, ""},
        {"a;rm -rf", Kind::HostName, ""},
    };
    for (const auto& c : cases) {
        const PAAppEntries::Decision decision = PAAppEntries::parseEntry(c.text, c.matches);
        EXPECT_EQ(decision.kind, c.kind)
            << '"' << c.text.toStdString() << "\" gave " << kindName(decision.kind);
        EXPECT_EQ(decision.message, c.message) << '"' << c.text.toStdString() << '"';
    }
}

TEST(PAAppEntriesTest, PrefixIsPassOnlyForTheFirstPopUpItem)
{
    EXPECT_EQ(PAAppEntries::prefixFor(0), "@");
    for (const qint64 index : {1, 2, -1, 99})
        EXPECT_EQ(PAAppEntries::prefixFor(index), "#") << index;
}

TEST(PAAppEntriesTest, EachAddStepAppendsAsTypedOrStopsOnItsOwnDuplicateTest)
{
    enum Function { Subnet, Address, Port, Range, Wildcard };
    const struct
    {
        Function function;
        QString prefix;
        QString text;
        QStringList before;
        QStringList after;
        PAAppEntries::Outcome outcome;
    } cases[] = {
        {Subnet, "@", "10.0.0.0/8", {"#1"}, {"#1", "@10.0.0.0/8"}, {}},
        {Subnet, "#", "10.0.0.0/08", {}, {"#10.0.0.0/08"}, {}},
        {Subnet, "#", "10.0.0.0/8", {"#10.0.0.0/8"}, {"#10.0.0.0/8"}, {Step::Stop, "invalid subnet"}},
        // Only the chosen prefix counts here; the parser already refused the other.
        {Subnet, "@", "10.0.0.0/8", {"#10.0.0.0/8"}, {"#10.0.0.0/8", "@10.0.0.0/8"}, {}},
        {Address, "#", "10.0.0.1", {}, {"#10.0.0.1"}, {}},
        // A duplicate address appends nothing, yet the change is committed.
        {Address, "@", "fe80::1", {"@fe80::1"}, {"@fe80::1"}, {}},
        {Port, "@", "443", {}, {"@443"}, {}},
        {Port, "#", "+80", {"@8080"}, {"@8080", "#+80"}, {}},
        {Port, "@", "+80", {"#80"}, {"#80"}, {Step::Stop, "invalid port"}},
        {Port, "#", "080", {"@80"}, {"@80"}, {Step::Stop, "invalid port"}},
        {Port, "@", "80", {"#080"}, {"#080", "@80"}, {}},
        {Range, "@", "6000:6010", {}, {"@_range6000:6010"}, {}},
        {Range, "#", "1:2:3", {}, {"#_range1:2:3"}, {}},
        // A range already stored stops without a message, in either direction.
        {Range, "@", "6000:6010", {"#_range6000:6010"}, {"#_range6000:6010"}, {Step::Stop, ""}},
        {Range, "@", "80:90", {"@_range80:091"}, {"@_range80:091", "@_range80:90"}, {}},
        {Wildcard, "#", "*.example.org", {}, {"#*.example.org"}, {}},
        {Wildcard, "#", "x", {"#x"}, {"#x"}, {Step::Stop, ""}},
    };
    for (const auto& c : cases) {
        QStringList matches = c.before;
        PAAppEntries::Outcome outcome;
        switch (c.function) {
        case Subnet:
            outcome = PAAppEntries::addSubnet(matches, c.prefix, c.text);
            break;
        case Address:
            outcome = PAAppEntries::addAddress(matches, c.prefix, c.text);
            break;
        case Port:
            outcome = PAAppEntries::addPort(matches, c.prefix, c.text);
            break;
        case Range:
            outcome = PAAppEntries::addPortRange(matches, c.prefix, c.text);
            break;
        case Wildcard:
            outcome = PAAppEntries::addWildcard(matches, c.prefix, c.text);
            break;
        }
        const std::string label = std::to_string(c.function) + " " + (c.prefix + c.text).toStdString();
        EXPECT_EQ(matches, c.after) << label;
        EXPECT_EQ(outcome.step, c.outcome.step) << label;
        EXPECT_EQ(outcome.message, c.outcome.message) << label;
    }
}

TEST(PAAppEntriesTest, ResolvedAddressesAreAppendedOnceInOrder)
{
    QStringList matches{"#1.1.1.1", "@2.2.2.2"};
    // The look-up's own repeats and addresses held with either prefix are
    // skipped; the rest keep the look-up's order.
    EXPECT_EQ(PAAppEntries::addAddresses(
                  matches, "@", {"3.3.3.3", "1.1.1.1", "2001:db8::1", "3.3.3.3", "2.2.2.2", "4.4.4.4"}),
              3);
    EXPECT_EQ(matches, (QStringList{"#1.1.1.1", "@2.2.2.2", "@3.3.3.3", "@2001:db8::1", "@4.4.4.4"}));

    EXPECT_EQ(PAAppEntries::addAddresses(matches, "#", {}), 0);
    EXPECT_EQ(PAAppEntries::addAddresses(matches, "#", {"4.4.4.4"}), 0);
    EXPECT_EQ(matches.size(), 5);
}

TEST(PAAppEntriesTest, CatchAllFollowsItsTable)
{
    using Change = PAAppEntries::EveryoneChange;
    const QStringList both{"@1.1.1.1", "#2.2.2.2"};
    const QStringList passes{"@1.1.1.1"};
    const QStringList blocks{"#2.2.2.2"};
    const struct
    {
        qint64 state;
        int index;
        QStringList matches;
        Change change;
    } cases[] = {
        {0, 0, {}, {}},
        {0, 1, {}, {true, 1, false}},
        {2, 1, blocks, {true, 1, false}},
        {2, 0, blocks, {}},
        {1, 0, {}, {true, 0, false}},
        {3, 0, passes, {true, 0, false}},
        {3, 1, passes, {}},
        {0, 2, {}, {}},
        {3, -1, passes, {}},
        // An asking app keeps the matches of the other direction.
        {4, 0, both, {false, 2, true}},
        {4, 1, both, {false, 3, true}},
        {4, 0, passes, {false, 0, true}},
        {4, 1, blocks, {false, 1, true}},
        {4, 0, {}, {false, 0, true}},
        {4, 1, {}, {false, 1, true}},
        // Its quiet period ends whatever the index.
        {4, 7, both, {false, std::nullopt, true}},
        {5, 0, both, {}},
        {-1, 1, both, {}},
    };
    for (const auto& c : cases) {
        const Change change = PAAppEntries::everyoneChange(c.state, c.index, c.matches);
        EXPECT_EQ(change, c.change) << "state " << c.state << " index " << c.index << " "
                                    << c.matches.join(',').toStdString();
    }
}

TEST(PAAppEntriesTest, RuleStateFollowsTheMatchesAfterAnEdit)
{
    const struct
    {
        qint64 state;
        QStringList matches;
        qint64 stateAfter;
        QStringList matchesAfter;
    } cases[] = {
        {0, {"#80"}, 2, {"#80"}},
        {0, {"@80"}, 0, {"@80"}},
        {1, {"@80", "#81"}, 3, {"@80", "#81"}},
        {1, {"#81"}, 1, {"#81"}},
        // Losing the last exception empties what is left.
        {2, {"@80"}, 0, {}},
        {2, {"@80", "#81"}, 2, {"@80", "#81"}},
        {3, {"#81"}, 1, {}},
        {3, {}, 1, {}},
        {4, {}, 4, {}},
        {4, {"@80", "#81"}, 4, {"@80", "#81"}},
        {7, {"#81"}, 7, {"#81"}},
        // A match must begin with its prefix.
        {0, {"80#"}, 0, {"80#"}},
    };
    for (const auto& c : cases) {
        PAApplication app("a", {"/a"}, false, false, "/a", false);
        app.setAppIsBlockedOrAllowed(c.state);
        app.setAppMatches(c.matches);
        EXPECT_EQ(evaluateAppRule(app), c.state != c.stateAfter) << c.state;
        EXPECT_EQ(app.appIsBlockedOrAllowed(), c.stateAfter)
            << c.state << " " << c.matches.join(',').toStdString();
        EXPECT_EQ(app.appMatches(), c.matchesAfter) << c.state;
    }
    // A move goes through setRule(): its flags come with it.
    PAApplication app("a", {"/a"}, false, false, "/a", false);
    app.setRule(1);
    app.setAppMatches({"@80"});
    evaluateAppRule(app);
    EXPECT_EQ(app.appIsBlockedOrAllowed(), 3);
    EXPECT_TRUE(app.appIsBlocked());
}

TEST(PAAppEntriesTest, AddControlsByRuleState)
{
    const struct
    {
        qint64 state;
        std::optional<PAAddControlsState> controls;
    } cases[] = {
        {0, PAAddControlsState{false, false, 1}},
        {1, PAAddControlsState{false, false, 0}},
        {2, PAAddControlsState{false, true, std::nullopt}},
        {3, PAAddControlsState{false, true, std::nullopt}},
        {4, PAAddControlsState{true, true, std::nullopt}},
        {5, std::nullopt},
        {-1, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(addControlsForRule(c.state), c.controls) << c.state;
}

} // namespace
