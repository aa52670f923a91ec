#include "core/PAAppsOrder.h"

#include "core/PAApplication.h"
#include "support/SharedStateReset.h"

#include <QLocale>
#include <QStringList>

#include <gtest/gtest.h>

#include <limits>

namespace {

struct Spec
{
    const char* name;
    qint64 state = 0;
    bool bundle = false;
    bool signedBySystem = false;
};

PAAppsOrder::Apps makeApps(std::initializer_list<Spec> specs)
{
    PAAppsOrder::Apps apps;
    for (const Spec& spec : specs) {
        const QString name = QString::fromUtf8(spec.name);
        auto app = std::make_shared<PAApplication>(name, QStringList{name}, spec.bundle, false,
                                                   QStringLiteral("/nowhere/") + name, false);
        app->setAppIsBlockedOrAllowed(spec.state);
        app->setAppLocalizedName(name);
        app->setAppIsSignedByApple(spec.signedBySystem);
        apps.push_back(app);
    }
    return apps;
}

QStringList namesOf(const PAAppsOrder::Apps& apps)
{
    QStringList names;
    for (const auto& app : apps)
        names << app->appLocalizedName();
    return names;
}

class PAAppsOrderTest : public ::testing::Test
{
protected:
    void SetUp() override { resetSharedState(); }
    void TearDown() override { resetSharedState(); }
};

// Every order is stable, and the state orders keep apps of unknown states
// (any integer the configuration held) at the end instead of dropping them.
TEST_F(PAAppsOrderTest, EachOrderIsStableAndKeepsEveryApp)
{
    // Names carry their state and place, so a wrong order shows in the failure.
    const PAAppsOrder::Apps apps = makeApps({
        {"s1-a", 1, true, false},
        {"s0-b", 0, false, true},
        {"s4-c", 4, true, true},
        {"s7-d", 7, false, false},
        {"s2-e", 2, true, false},
        {"s0-f", 0, true, true},
        {"s-9-g", -9, false, true},
        {"s3-h", 3, false, false},
        {"sbig-i", std::numeric_limits<qint64>::max(), true, false},
    });
    const struct
    {
        PAAppsOrder::Order order;
        QStringList expected;
    } cases[] = {
        {PAAppsOrder::PassedFirst,
         {"s0-b", "s0-f", "s2-e", "s4-c", "s3-h", "s1-a", "s7-d", "s-9-g", "sbig-i"}},
        {PAAppsOrder::BlockedFirst,
         {"s1-a", "s3-h", "s4-c", "s2-e", "s0-b", "s0-f", "s7-d", "s-9-g", "sbig-i"}},
        {PAAppsOrder::BundlesFirst,
         {"s1-a", "s4-c", "s2-e", "s0-f", "sbig-i", "s0-b", "s7-d", "s-9-g", "s3-h"}},
        {PAAppsOrder::BinariesFirst,
         {"s0-b", "s7-d", "s-9-g", "s3-h", "s1-a", "s4-c", "s2-e", "s0-f", "sbig-i"}},
        {PAAppsOrder::AppleFirst,
         {"s0-b", "s4-c", "s0-f", "s-9-g", "s1-a", "s7-d", "s2-e", "s3-h", "sbig-i"}},
        {PAAppsOrder::ThirdPartyFirst,
         {"s1-a", "s7-d", "s2-e", "s3-h", "sbig-i", "s0-b", "s4-c", "s0-f", "s-9-g"}},
    };
    for (const auto& test : cases)
        EXPECT_EQ(namesOf(PAAppsOrder::sorted(apps, test.order)), test.expected) << int(test.order);
}

TEST_F(PAAppsOrderTest, StateOrdersOfTheDesignExample)
{
    // States 1, 0, 4, 2, 0 passed first: 0, 0, 2, 4, 1, the two passed apps
    // in their earlier order.
    const PAAppsOrder::Apps apps =
        makeApps({{"one", 1}, {"first zero", 0}, {"four", 4}, {"two", 2}, {"second zero", 0}});
    EXPECT_EQ(namesOf(PAAppsOrder::sorted(apps, PAAppsOrder::PassedFirst)),
              QStringList({"first zero", "second zero", "two", "four", "one"}));
    // Bundles first and then binaries first gives the executables back in
    // their earlier order, before the bundles.
    const PAAppsOrder::Apps mixed =
        makeApps({{"b1", 0, true}, {"x1", 0, false}, {"b2", 0, true}, {"x2", 0, false}, {"x3", 0, false}});
    EXPECT_EQ(namesOf(PAAppsOrder::sorted(PAAppsOrder::sorted(mixed, PAAppsOrder::BundlesFirst),
                                          PAAppsOrder::BinariesFirst)),
              QStringList({"x1", "x2", "x3", "b1", "b2"}));
}

TEST_F(PAAppsOrderTest, NamesCompareByLocaleIgnoringCaseAndEqualNamesKeepTheirOrder)
{
    // Case is ignored even in the C locale, where the collator compares code points.
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(namesOf(PAAppsOrder::sorted(makeApps({{"gamma"}, {"Beta"}, {"alpha"}}), PAAppsOrder::ByName)),
              QStringList({"alpha", "Beta", "gamma"}));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    PAAppsOrder::Apps apps =
        makeApps({{"gamma"}, {"Beta"}, {"alpha"}, {"Zulu"}, {"écrit"}, {"Alpha"}, {"zeta"}});
    // Two names equal but for case: which came first stays first.
    apps[5]->setAppName(QStringLiteral("second Alpha"));
    apps[2]->setAppName(QStringLiteral("first alpha"));
    const PAAppsOrder::Apps sorted = PAAppsOrder::sorted(apps, PAAppsOrder::ByName);
    EXPECT_EQ(namesOf(sorted), QStringList({"alpha", "Alpha", "Beta", "écrit", "gamma", "zeta", "Zulu"}));
    EXPECT_EQ(sorted[0]->appName(), "first alpha");
    EXPECT_EQ(sorted[1]->appName(), "second Alpha");
    QLocale::setDefault(QLocale::system());
}

TEST_F(PAAppsOrderTest, EmptyListsAndNullEntries)
{
    for (PAAppsOrder::Order order :
         {PAAppsOrder::ByName, PAAppsOrder::PassedFirst, PAAppsOrder::BundlesFirst}) {
        EXPECT_TRUE(PAAppsOrder::sorted({}, order).empty());
        PAAppsOrder::Apps apps = makeApps({{"b"}, {"a"}});
        apps.insert(apps.begin() + 1, nullptr);
        EXPECT_EQ(PAAppsOrder::sorted(apps, order).size(), 2u);
    }
}

} // namespace
