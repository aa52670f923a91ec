#include "core/PAAppRuleText.h"

#include "core/PAAppConnectionRule.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

const QString kOverridden = QStringLiteral(" Rules defined here can be overridden by Global Rules.");

TEST(PAAppRuleTextTest, EachStateHasItsSentenceAndGlobalRulesClause)
{
    const struct
    {
        qint64 state;
        int matches;
        QString sentence;
        QString withGlobalRules;
        QString withoutGlobalRules;
    } cases[] = {
        {0, 0,
         " will never request user interaction. All connections are passed. Click + to add exceptions or use "
         "the gear to switch rule.",
         kOverridden, ""},
        {1, 0,
         " will never request user interaction. All connections are blocked. Click + to add exceptions or "
         "use "
         "the gear to switch rule.",
         kOverridden, ""},
        {2, 1,
         " will never request user interaction. All connections are passed with some exception. Click + or - "
         "to "
         "add or remove exceptions or use the gear to switch rule.",
         kOverridden, ""},
        {3, 1,
         " will never request user interaction. All connections are blocked with some exception. Click + or "
         "- "
         "to add or remove exceptions or use the gear to switch rule.",
         kOverridden, ""},
        {4, 2,
         " will request user interaction if a connection does not match any existing rule. Click + or - to "
         "add "
         "or remove rules.",
         kOverridden, ""},
        {4, 0,
         " has no rules thus it will request user interaction as soon as it tries to connect to the network",
         " unless a connection matches a rules defined in Global Rules.", "."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "state " << c.state << ", " << c.matches << " matches");
        EXPECT_EQ(PAAppRuleText::ruleDescription("Mail", c.state, c.matches, true),
                  "Mail" + c.sentence + c.withGlobalRules);
        EXPECT_EQ(PAAppRuleText::ruleDescription("Mail", c.state, c.matches, false),
                  "Mail" + c.sentence + c.withoutGlobalRules);
    }
    for (qint64 state : {qint64(-1), qint64(5), std::numeric_limits<qint64>::max()})
        EXPECT_EQ(PAAppRuleText::ruleDescription("Mail", state, 3, true), "") << state;
}

TEST(PAAppRuleTextTest, StateFollowsTheMatchesOnlyBetweenAllAndExceptions)
{
    const struct
    {
        qint64 state;
        QStringList matches;
        qint64 expected;
    } cases[] = {
        {0, {}, 0},
        {0, {"@1.1.1.1"}, 0},
        {0, {"@1.1.1.1", "#80"}, 2},
        {1, {"#80"}, 1},
        {1, {"#80", "@_range1:2"}, 3},
        {2, {"#80"}, 2},
        {2, {"@1.1.1.1"}, 0},
        {2, {}, 0},
        {3, {"@443"}, 3},
        {3, {"#443", "x@443"}, 1}, // only a leading "@" passes
        {4, {"@1", "#2"}, 4},
        {4, {}, 4},
        {7, {"#80"}, 7},
        {-1, {"@80"}, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PAAppRuleText::ruleFollowingMatches(c.state, c.matches), c.expected)
            << c.state << " " << c.matches.join(',').toStdString();
}

TEST(PAAppConnectionRuleTest, ProcessOrXpcPathContainsTheAppPathIgnoringCaseAndAccents)
{
    const QString mail = QStringLiteral("/Applications/Mail.app");
    const struct
    {
        QString appPath;
        QString process;
        QString xpc;
        bool belongs;
    } cases[] = {
        {mail, "/Applications/Mail.app/Contents/MacOS/Mail", "", true},
        {mail, "/usr/libexec/helper", "/Applications/Mail.app/Contents/XPCServices/x.xpc", true},
        {mail, "/applications/mail.APP/Contents/MacOS/Mail", "", true},
        // A sibling whose name merely extends the path is taken too.
        {mail, "/Applications/Mail.app2/Contents/MacOS/Mail", "", true},
        {mail, "/Applications/Safari.app/Contents/MacOS/Safari", "", false},
        {mail, "", "", false},
        {"/opt/Café.app", "/opt/cafe.app/bin/cafe", "", true},
        {"/opt/cafe.app", "/opt/CAFÉ.app/bin/cafe", "", true},
        // An empty path names no app.
        {"", "/usr/bin/curl", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PAAppConnectionRule::belongsToApp(c.appPath, c.process, c.xpc), c.belongs)
            << c.appPath.toStdString() << " / " << c.process.toStdString() << " / " << c.xpc.toStdString();
}

TEST(PAAppConnectionRuleTest, FoldingDropsCaseAndAccentsAndAnEmptyNeedleMatchesNothing)
{
    EXPECT_EQ(PAAppConnectionRule::folded(QStringLiteral("Straße Éa")), "strasse ea");
    EXPECT_EQ(PAAppConnectionRule::folded(QStringLiteral("Cafe\u0301")), "cafe");
    EXPECT_FALSE(PAAppConnectionRule::containsFolded(QStringLiteral("/x"), QString()));
    EXPECT_FALSE(
        PAAppConnectionRule::belongsToFoldedApp(QString(), QStringLiteral("/x"), QStringLiteral("/y")));
    EXPECT_TRUE(PAAppConnectionRule::belongsToFoldedApp(
        PAAppConnectionRule::folded(QStringLiteral("/Café.app")), QStringLiteral("/usr/bin/x"),
        QStringLiteral("/CAFE\u0301.app/Contents/MacOS/c")));
}

} // namespace
