#include "core/PAApplication.h"
#include "core/PAConfiguration.h"
#include "core/PARuleLists.h"
#include "core/SharedState.h"
#include "platform/PropertyList.h"
#include "support/ConfigurationRecords.h"
#include "support/QtPrinters.h"
#include "support/RecordingDistributedCenter.h"
#include "support/SharedStateReset.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The configuration object on its own, as the model library has it: no
// window, no controller. What it changes goes through the rule lists, and
// what it says goes out as signals and distributed notifications.
class PAConfigurationModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetSharedState();
        ASSERT_TRUE(m_dir.isValid());
        const auto note = [this](const char* what) {
            return [this, what] { m_steps << QString::fromLatin1(what); };
        };
        QObject::connect(&ruleLists(), &PARuleLists::appsReplaced, &m_life, note("apps"));
        QObject::connect(&ruleLists(), &PARuleLists::exclusionsReplaced, &m_life, note("folders"));
        QObject::connect(&ruleLists(), &PARuleLists::recordsReplaced, &m_life, note("rules"));
        QObject::connect(&m_configuration, &PAConfiguration::loadStarted, &m_life, note("started"));
        QObject::connect(&m_configuration, &PAConfiguration::configurationApplied, &m_life, [this] {
            m_steps << QStringLiteral("applied");
            m_postsWhenApplied = m_center->posts().size();
        });
        QObject::connect(&m_configuration, &PAConfiguration::configurationPublished, &m_life,
                         note("published"));
    }
    void TearDown() override { resetSharedState(); }

    QString write(const QVariant& content)
    {
        const QString path = m_dir.filePath(QStringLiteral("palisor.conf"));
        EXPECT_TRUE(PropertyList::writeFile(path, content, PropertyList::Format::Xml));
        return path;
    }

    QTemporaryDir m_dir;
    ScopedRecordingDistributedCenter m_center;
    PAConfiguration m_configuration;
    QObject m_life;
    QStringList m_steps;
    qsizetype m_postsWhenApplied = -1;
};

TEST_F(PAConfigurationModelTest, ALoadReplacesTheListsThenPublishesThem)
{
    const QVariantList records{
        plainAppRecord(QStringLiteral("curl"), 0),
        QVariantMap{{"PalisorClassName", QStringLiteral("PAManagedRecords")},
                    {"record", QStringLiteral("8.8.8.8")},
                    {"type", 0},
                    {"rule", 1}},
        plainAppRecord(QStringLiteral("wget"), 1),
    };
    ASSERT_TRUE(m_configuration.loadConf(write(records)));

    EXPECT_EQ(m_steps, (QStringList{"started", "apps", "folders", "rules", "applied", "published"}));
    EXPECT_EQ(m_postsWhenApplied, 0) << "the windows refresh before the rule set goes out";
    ASSERT_EQ(sharedAppsLibrary.size(), 2u);
    EXPECT_EQ(sharedAppsLibrary[0]->appName(), "curl");
    ASSERT_EQ(recordsList.size(), 1u);

    const auto posts = m_center->posts();
    ASSERT_EQ(posts.size(), 1);
    EXPECT_EQ(posts.at(0).name, "newAppListReceived");
    const QVariantList sent = posts.at(0).userInfo.value("AppList").toList();
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent.at(1).toMap().value("appIsBlockedOrAllowed").toLongLong(), 1);
    EXPECT_EQ(posts.at(0).userInfo.value("RecordList").toList().size(), 1);
}

TEST_F(PAConfigurationModelTest, AMalformedFileChangesNothingAndSaysNothing)
{
    ASSERT_TRUE(m_configuration.loadConf(write(QVariantList{plainAppRecord(QStringLiteral("curl"), 0)})));
    m_steps.clear();
    const auto before = sharedAppsLibrary;

    EXPECT_FALSE(m_configuration.loadConf(write(QVariantList{QStringLiteral("not a record")})));
    EXPECT_FALSE(m_configuration.loadConf(m_dir.filePath(QStringLiteral("missing.conf"))));
    EXPECT_TRUE(m_steps.isEmpty());
    EXPECT_EQ(sharedAppsLibrary, before);
    EXPECT_EQ(m_center->posts().size(), 1) << "only the first load published";
}

// The rule set has one source: the shared lists, whoever else holds a copy.
TEST_F(PAConfigurationModelTest, PublishingSendsTheSharedLists)
{
    auto first = std::make_shared<PAApplication>(QStringLiteral("a"), QStringList{"/a"}, false, false, "/a");
    auto second = std::make_shared<PAApplication>(QStringLiteral("b"), QStringList{"/b"}, false, false, "/b");
    ruleLists().replaceApps({first});
    ruleLists().insertApp(second);
    m_configuration.sendConf();
    const QVariantList sent = m_center->posts().constLast().userInfo.value("AppList").toList();
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent.at(0).toMap().value("appBinaries").toStringList(), QStringList{"/b"})
        << "a new app goes first";
}

} // namespace
