#include "daemonlink/PAAppsIndex.h"

#include "core/PAApplication.h"
#include "core/SharedState.h"
#include "support/SharedStateReset.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace {

std::shared_ptr<PAApplication> app(const QString& name, const QString& path)
{
    return std::make_shared<PAApplication>(name, QStringList{path}, false, false, path);
}

std::vector<int> naiveNamedWithin(const QString& path)
{
    std::vector<int> result;
    for (int i = 0; i < static_cast<int>(sharedAppsLibrary.size()); ++i)
        if (path.contains(sharedAppsLibrary[static_cast<size_t>(i)]->appName()))
            result.push_back(i);
    return result;
}

int naiveFirstWithPath(const QString& path)
{
    for (size_t i = 0; i < sharedAppsLibrary.size(); ++i)
        if (sharedAppsLibrary[i]->appPath() == path)
            return static_cast<int>(i);
    return -1;
}

class PAAppsIndexTest : public ::testing::Test
{
protected:
    void SetUp() override { resetSharedState(); }
    void TearDown() override { resetSharedState(); }
};

// The index must find exactly the apps a substring test of every name would,
// in list order: overlapping names, names inside names, repeats and the empty
// name included.
TEST_F(PAAppsIndexTest, FindsWhatASubstringWalkFinds)
{
    std::mt19937 random(7);
    const QString alphabet = QStringLiteral("ab.p/M");
    auto word = [&](int length) {
        QString text;
        for (int i = 0; i < length; ++i)
            text += alphabet.at(static_cast<qsizetype>(random() % alphabet.size()));
        return text;
    };
    for (int round = 0; round < 20; ++round) {
        sharedAppsLibrary.clear();
        for (int i = 0; i < 40; ++i)
            sharedAppsLibrary.push_back(app(word(static_cast<int>(random() % 4)), word(6)));
        for (int probe = 0; probe < 50; ++probe) {
            const QString path = word(static_cast<int>(random() % 12));
            ASSERT_EQ(PAAppsIndex::current().appsNamedWithin(path), naiveNamedWithin(path))
                << path.toStdString();
        }
    }
}

TEST_F(PAAppsIndexTest, FollowsChangesOfTheListAndOfNames)
{
    sharedAppsLibrary = {app(QStringLiteral("Mail"), QStringLiteral("/a")),
                         app(QStringLiteral("Notes"), QStringLiteral("/b"))};
    const QString path = QStringLiteral("/Applications/Mailbox.app/Contents/MacOS/Mailbox");
    EXPECT_EQ(PAAppsIndex::current().appsNamedWithin(path), std::vector<int>{0});

    sharedAppsLibrary.insert(sharedAppsLibrary.begin(), app(QStringLiteral("box"), QStringLiteral("/c")));
    EXPECT_EQ(PAAppsIndex::current().appsNamedWithin(path), (std::vector<int>{0, 1}));

    sharedAppsLibrary[2]->setAppName(QStringLiteral("MacOS"));
    EXPECT_EQ(PAAppsIndex::current().appsNamedWithin(path), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(PAAppsIndex::current().firstNamed(QStringLiteral("MacOS")), 2);
    EXPECT_EQ(PAAppsIndex::current().firstWithPath(QStringLiteral("/c")), 0);
    EXPECT_EQ(PAAppsIndex::current().firstWithPath(QStringLiteral("/z")), -1);
}

// The index trusts the list's change count instead of comparing entries:
// every way of changing the list must be seen, also one that keeps its size
// and storage.
TEST_F(PAAppsIndexTest, FollowsEveryKindOfListChange)
{
    const QString path = QStringLiteral("/usr/bin/Mail-Notes-box");
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"assigned a list of the same size",
         [] {
             sharedAppsLibrary = {app(QStringLiteral("box"), QStringLiteral("/c")),
                                  app(QStringLiteral("Mail"), QStringLiteral("/a"))};
         }},
        {"assigned from a vector",
         [] {
             const PAAppsLibrary::Apps apps{app(QStringLiteral("Notes"), QStringLiteral("/b"))};
             sharedAppsLibrary = apps;
         }},
        {"copied from another list",
         [] {
             PAAppsLibrary other;
             other.push_back(app(QStringLiteral("Mail"), QStringLiteral("/d")));
             sharedAppsLibrary = other;
         }},
        {"appended", [] { sharedAppsLibrary.push_back(app(QStringLiteral("box"), QStringLiteral("/e"))); }},
        {"inserted first",
         [] {
             sharedAppsLibrary.insert(sharedAppsLibrary.begin(),
                                      app(QStringLiteral("x"), QStringLiteral("/f")));
         }},
        {"first erased", [] { sharedAppsLibrary.erase(sharedAppsLibrary.begin()); }},
        {"an app's path changed", [] { sharedAppsLibrary.front()->setAppPath(QStringLiteral("/g")); }},
        {"cleared", [] { sharedAppsLibrary.clear(); }},
    };
    sharedAppsLibrary = {app(QStringLiteral("Mail"), QStringLiteral("/a")),
                         app(QStringLiteral("Notes"), QStringLiteral("/b"))};
    for (const auto& [what, change] : changes) {
        PAAppsIndex::current();
        change();
        const PAAppsIndex& index = PAAppsIndex::current();
        EXPECT_EQ(index.appsNamedWithin(path), naiveNamedWithin(path)) << what;
        EXPECT_EQ(index.apps(), static_cast<const PAAppsLibrary::Apps&>(sharedAppsLibrary)) << what;
        for (const QString& appPath : {QStringLiteral("/a"), QStringLiteral("/c"), QStringLiteral("/g")})
            EXPECT_EQ(index.firstWithPath(appPath), naiveFirstWithPath(appPath)) << what;
    }
}

} // namespace
