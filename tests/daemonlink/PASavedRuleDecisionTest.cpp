#include "daemonlink/PASavedRuleDecision.h"

#include "core/PAApplication.h"
#include "daemonlink/PAAppsIndex.h"
#include "support/ManualClock.h"
#include "support/QtPrinters.h"
#include "support/SharedStateReset.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

const QString kRequest = QStringLiteral("7 10.1.2.3 443 4242 TCP 4 0");
const QString kPath = QStringLiteral("/usr/bin/curl");

std::shared_ptr<PAApplication> app(const QString& name, const QString& binary, qint64 state,
                                   const QStringList& matches = {})
{
    auto made = std::make_shared<PAApplication>(name, QStringList{binary}, false, false, binary);
    made->setRule(state);
    made->setAppMatches(matches);
    return made;
}

class PASavedRuleDecisionTest : public ::testing::Test
{
protected:
    void SetUp() override { resetSharedState(); }
    void TearDown() override { resetSharedState(); }

    static PASavedRuleDecision decide(const std::vector<std::shared_ptr<PAApplication>>& apps,
                                      const QString& address = QStringLiteral("10.1.2.3"),
                                      const QString& path = kPath, bool verified = true)
    {
        const PAAppsIndex index(apps);
        return PASavedRuleDecision::decide(kRequest, path, verified, address, QStringLiteral("443"), index);
    }

    ScopedManualClock m_clock;
};

// The answers the daemon gets, one per rule that holds, in list and match order.
TEST_F(PASavedRuleDecisionTest, EveryRuleThatHoldsAnswersInOrder)
{
    struct Case
    {
        const char* label;
        std::vector<std::shared_ptr<PAApplication>> apps;
        QString address;
        QStringList answers;
    } cases[] = {
        {"passed app", {app("curl", kPath, 0)}, "10.1.2.3", {kRequest + " 0 # #"}},
        {"blocked app", {app("curl", kPath, 1)}, "10.1.2.3", {kRequest + " 1 # #"}},
        {"partial states",
         {app("curl", kPath, 2), app("bin", kPath, 3)},
         "10.1.2.3",
         {kRequest + " 2 # #", kRequest + " 3 # #"}},
        {"another binary", {app("curl", "/usr/bin/wget", 0)}, "10.1.2.3", {}},
        {"state out of range", {app("curl", kPath, 5)}, "10.1.2.3", {}},
        {"negative state", {app("curl", kPath, -1)}, "10.1.2.3", {}},
        {"largest state",
         {app("curl", kPath, std::numeric_limits<qint64>::max(), {"@10.1.2.3"})},
         "10.1.2.3",
         {}},
        {"address and port",
         {app("curl", kPath, 4, {"#443", "@10.1.2.3", "@10.9.9.9"})},
         "10.1.2.3",
         {kRequest + " 4 1 1", kRequest + " 4 0 0"}},
        {"networks, IPv4 and IPv6",
         {app("curl", kPath, 4, {"#10.1.0.0/16", "@10.2.0.0/16", "@fd00::/8"})},
         "10.1.2.3",
         {kRequest + " 4 0 1"}},
        {"IPv6 network", {app("curl", kPath, 4, {"@fd00::/8"})}, "fd00::1", {kRequest + " 4 0 0"}},
        {"asking app, nothing holds", {app("curl", kPath, 4, {"@10.9.9.9"})}, "10.1.2.3", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const PASavedRuleDecision decision = decide(c.apps, c.address);
        EXPECT_EQ(decision.answers, c.answers);
        EXPECT_EQ(decision.asksUser(), c.answers.isEmpty());
    }
}

TEST_F(PASavedRuleDecisionTest, AQuietPeriodAnswersOnlyWhenNoRuleDoes)
{
    auto quiet = app("curl", kPath, 4);
    quiet->setQuiet(QStringLiteral("block"), 20);
    PASavedRuleDecision decision = decide({quiet});
    ASSERT_EQ(decision.quietApp, quiet);
    EXPECT_FALSE(decision.asksUser());
    EXPECT_EQ(decision.quietAnswer(kRequest), kRequest + " 4 0 1");
    EXPECT_EQ(decision.quietMatch(QStringLiteral("10.1.2.3")), "#10.1.2.3");
    EXPECT_TRUE(quiet->appMatches().isEmpty()) << "deciding changes nothing";

    quiet->setAppMatches({QStringLiteral("@10.1.2.3")});
    decision = decide({quiet});
    EXPECT_EQ(decision.answers, QStringList{kRequest + " 4 0 0"});
    EXPECT_EQ(decision.quietApp, nullptr) << "a rule that holds comes first";

    // An app inside a bundle is found by its bundle's name.
    const QString inBundle = QStringLiteral("/Applications/Mail.app/Contents/MacOS/Mail");
    auto bundle = std::make_shared<PAApplication>(QStringLiteral("Mail.app"), QStringList{}, true, false,
                                                  QStringLiteral("/Applications/Mail.app"));
    bundle->setRule(4);
    bundle->setQuiet(QStringLiteral("pass"), 20);
    decision = decide({bundle}, QStringLiteral("10.1.2.3"), inBundle);
    EXPECT_EQ(decision.quietApp, bundle);
    EXPECT_EQ(decision.quietAnswer(kRequest), kRequest + " 4 0 0");

    m_clock->advance(21);
    EXPECT_TRUE(decide({bundle}, QStringLiteral("10.1.2.3"), inBundle).asksUser()) << "the period ended";
}

// Another program never rides a saved rule because its path contains the
// saved one; a process inside a saved bundle is judged by the bundle's rule.
TEST_F(PASavedRuleDecisionTest, OnlyTheBinaryAndWhatRunsInsideItGetTheRule)
{
    const QString demo = QStringLiteral("/usr/local/bin/demo-px");
    auto passed = app("demo-px", demo, 0);
    auto quiet = app("demo-px", demo, 4);
    quiet->setQuiet(QStringLiteral("pass"), 30);
    auto bundle =
        std::make_shared<PAApplication>(QStringLiteral("Mail"), QStringList{QStringLiteral("Mail.app/")},
                                        true, false, QStringLiteral("/Applications/Mail.app"));
    bundle->setRule(1);
    auto quietBundle =
        std::make_shared<PAApplication>(QStringLiteral("Mail.app"), QStringList{QStringLiteral("Mail.app/")},
                                        true, false, QStringLiteral("/Applications/Mail.app"));
    quietBundle->setRule(4);
    quietBundle->setQuiet(QStringLiteral("block"), 30);

    struct Case
    {
        const char* path;
        bool answered;
    } cases[] = {
        {"/usr/local/bin/demo-px", true},
        {"/usr/local/bin/demo-px2", false},
        {"/usr/local/bin/demo-px.not-really", false},
        {"/tmp/x/usr/local/bin/demo-px", false},
        {"/Applications/Mail.app/Contents/MacOS/Mail", true},
        {"/Applications/Mail.app/Contents/Helpers/x.app/Contents/MacOS/x", true},
        {"/Applications/Mail.app.not-really/Contents/MacOS/Mail", false},
        {"/tmp/x/Applications/Mail.app/Contents/MacOS/Mail", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const QString path = QString::fromLatin1(c.path);
        const PASavedRuleDecision ruled = decide({passed, bundle}, QStringLiteral("10.1.2.3"), path);
        EXPECT_EQ(ruled.answers.size(), c.answered ? 1 : 0);
        const PASavedRuleDecision quieted = decide({quiet, quietBundle}, QStringLiteral("10.1.2.3"), path);
        EXPECT_EQ(quieted.asksUser(), !c.answered) << "the quiet period";
    }
    EXPECT_EQ(decide({passed, bundle}, QStringLiteral("10.1.2.3"), demo).answers,
              QStringList{kRequest + " 0 # #"});
    EXPECT_EQ(decide({passed, bundle}, QStringLiteral("10.1.2.3"),
                     QStringLiteral("/Applications/Mail.app/Contents/MacOS/Mail"))
                  .answers,
              QStringList{kRequest + " 1 # #"});
}

// A process the agent may not inspect is known only by the name it gave
// itself, which may be any saved app's path: whatever would answer for that
// path, the user is asked.
TEST_F(PASavedRuleDecisionTest, AnUnverifiedNameIsNeverAnsweredBySavedRules)
{
    auto quiet = app("curl", kPath, 4);
    quiet->setQuiet(QStringLiteral("pass"), 20);
    const std::vector<std::vector<std::shared_ptr<PAApplication>>> answering = {
        {app("curl", kPath, 0)},
        {app("curl", kPath, 1)},
        {app("curl", kPath, 4, {"@10.1.2.3", "@443", "@10.0.0.0/8"})},
        {quiet},
    };
    for (const auto& apps : answering) {
        ASSERT_FALSE(decide(apps).asksUser()) << "verified, a saved rule answers";
        const PASavedRuleDecision decision = decide(apps, QStringLiteral("10.1.2.3"), kPath, false);
        EXPECT_TRUE(decision.asksUser());
        EXPECT_TRUE(decision.answers.isEmpty());
        EXPECT_EQ(decision.quietApp, nullptr);
    }
}

} // namespace
