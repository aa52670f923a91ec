#include "core/PAMatchStrings.h"

#include "core/PAApplication.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

namespace {

TEST(PAMatchStringsTest, DecimalIntegerIsSignAndAsciiDigitsWithinSixtyFourBits)
{
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    constexpr qint64 min = std::numeric_limits<qint64>::min();
    const struct
    {
        QString text;
        std::optional<qint64> value;
    } cases[] = {
        {"80", 80},
        {"+80", 80},
        {"080", 80},
        {"-1", -1},
        {"0", 0},
        {"-0", 0},
        {"9223372036854775807", max},
        {"-9223372036854775808", min},
        {"9223372036854775808", std::nullopt},
        {"-9223372036854775809", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"+-1", std::nullopt},
        {" 80", std::nullopt},
        {"80 ", std::nullopt},
        {"8 0", std::nullopt},
        {"\t80", std::nullopt},
        {"0x10", std::nullopt},
        {"1e3", std::nullopt},
        {"8.0", std::nullopt},
        // Digits of other scripts are no decimal integer here.
        {QString::fromUtf8("\u0668\u0660"), std::nullopt},
        {QString::fromUtf8("\uff18\uff10"), std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PAMatchStrings::decimalInteger(c.text), c.value) << c.text.toStdString();
}

TEST(PAMatchStringsTest, ClassifierPutsEachMatchIntoOneListByPrefixAndBody)
{
    enum List {
        PassRange,
        PassSubnet,
        PassPort,
        PassAddress,
        BlockRange,
        BlockSubnet,
        BlockPort,
        BlockAddress,
        None
    };
    const struct
    {
        QString match;
        List list;
    } cases[] = {
        {"@", PassAddress},
        {"@_rangeabc", PassRange},
        {"@_range10/8", PassRange},
        {"@_RANGE1:2", PassAddress},
        {"@ _range1:2", PassAddress},
        {"#a/b", BlockSubnet},
        {"#10.0.0.0/8", BlockSubnet},
        {"@80", PassPort},
        {"@+80", PassPort},
        {"@080", PassPort},
        {"@1", PassPort},
        {"@65535", PassPort},
        {"@8@0", PassPort},
        {"@0", PassAddress},
        {"@65536", PassAddress},
        {"@-1", PassAddress},
        {"@ 80", PassAddress},
        {"@9223372036854775808", PassAddress},
        {"#443", BlockPort},
        {"#4#43", BlockPort},
        {"#@80", BlockAddress},
        {"#_range6000:6010", BlockRange},
        {"#fe80::1", BlockAddress},
        {"80", None},
        {"", None},
        {"_range1:2", None},
    };
    for (const auto& c : cases) {
        PAMatchLists lists;
        PAMatchStrings::classifyMatch(c.match, lists);
        const QStringList* all[] = {&lists.passedPortRanges, &lists.passedSubnets,     &lists.passedPorts,
                                    &lists.passedAddresses,  &lists.blockedPortRanges, &lists.blockedSubnets,
                                    &lists.blockedPorts,     &lists.blockedAddresses};
        for (int list = PassRange; list < None; ++list)
            EXPECT_EQ(*all[list], list == c.list ? QStringList{c.match} : QStringList{})
                << c.match.toStdString() << " list " << list;
    }

    // Every list keeps the order of the app's matches.
    PAMatchLists lists;
    for (const QString match : {"@443", "#1.1.1.1", "@80", "#2.2.2.2"})
        PAMatchStrings::classifyMatch(match, lists);
    EXPECT_EQ(lists.passedPorts, (QStringList{"@443", "@80"}));
    EXPECT_EQ(lists.blockedAddresses, (QStringList{"#1.1.1.1", "#2.2.2.2"}));
}

TEST(PAMatchStringsTest, PresenceChecksCompareTheExactText)
{
    const struct
    {
        QStringList matches;
        qint64 port;
        QString range;
        bool portFree;
        bool rangeFree;
    } cases[] = {
        {{}, 80, "80:90", true, true},
        {{"#80"}, 80, "80:90", false, true},
        {{"@80"}, 80, "80:90", false, true},
        {{"#080"}, 80, "80:90", true, true},
        {{"@+80"}, 80, "80:90", true, true},
        {{"@_range80:90"}, 80, "80:90", true, false},
        {{"#_range80:90"}, 80, "80:091", true, true},
        {{"@80:90"}, 80, "80:90", true, true},
        {{"@-5"}, -5, "80:90", false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PAMatchStrings::portIsValid(c.matches, c.port), c.portFree)
            << c.matches.join(',').toStdString();
        EXPECT_EQ(PAMatchStrings::portRangeIsValid(c.matches, c.range), c.rangeFree)
            << c.matches.join(',').toStdString();
    }
}

TEST(PAMatchStringsTest, RemovalTakesOutExactlyTheEqualTextsAndKeepsTheOrder)
{
    PAApplication app(QStringLiteral("curl"), {}, false, false, QStringLiteral("/nonexistent/curl"));

    // A plain "80:90" never takes the port range with it, nor the other prefix.
    app.setAppMatches({"@_range80:90", "@80:90", "#80:90", "@80:90"});
    PAMatchStrings::removeAddressFromApp(app, QStringLiteral("80:90"), QStringLiteral("@"));
    EXPECT_EQ(app.appMatches(), (QStringList{"@_range80:90", "#80:90"}));
    PAMatchStrings::removeAddressFromApp(app, QStringLiteral("_range80:90"), QStringLiteral("@"));
    EXPECT_EQ(app.appMatches(), QStringList{"#80:90"});

    app.setAppMatches({"@1.2.3.4", "@5.6.7.8", "#1.2.3.4", "#9.9.9.9", "@1.2.3.4 "});
    EXPECT_TRUE(PAMatchStrings::logsIPIsValid(app, QStringLiteral("1.2.3.4")));
    EXPECT_EQ(app.appMatches(), (QStringList{"@5.6.7.8", "#9.9.9.9", "@1.2.3.4 "}));
    EXPECT_TRUE(PAMatchStrings::logsIPIsValid(app, QStringLiteral("1.2.3.4")));
    EXPECT_EQ(app.appMatches().size(), 3);

    app.setAppMatches({"@80", "#080", "#80", "@_range80:80"});
    EXPECT_TRUE(PAMatchStrings::logsPortIsValid(app, 80));
    EXPECT_EQ(app.appMatches(), (QStringList{"#080", "@_range80:80"}));

    app.setAppMatches({});
    EXPECT_TRUE(PAMatchStrings::logsPortIsValid(app, 80));
    PAMatchStrings::removeAddressFromApp(app, QString(), QStringLiteral("#"));
    EXPECT_TRUE(app.appMatches().isEmpty());
}

} // namespace
