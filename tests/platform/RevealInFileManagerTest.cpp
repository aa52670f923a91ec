#include "platform/Workspace.h"
#include "support/EventLoop.h"
#include "support/FakeFileManager.h"
#include "support/PrivateBus.h"

#include <QDBusConnection>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

// A path that a shell would split and expand in every way it can.
const QString trickyPath = QStringLiteral("/tmp/palisor reveal/it's \"quoted\" $HOME `id` #1?.app");

class RevealInFileManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_bus.isRunning());
        m_caller = QDBusConnection::connectToBus(QString::fromLatin1(m_bus.address()),
                                                 QStringLiteral("reveal-caller"));
        ASSERT_TRUE(m_caller.isConnected());
    }

    void TearDown() override { QDBusConnection::disconnectFromBus(QStringLiteral("reveal-caller")); }

    PrivateBus m_bus;
    QDBusConnection m_caller{QString()};
    FakeFileManager m_desktop;
};

} // namespace

TEST_F(RevealInFileManagerTest, AsksTheFileManagerWithOneEncodedUri)
{
    ASSERT_TRUE(m_desktop.serveOn(m_bus.address()));
    ASSERT_TRUE(Workspace::revealInFileManager(trickyPath, m_caller));
    ASSERT_TRUE(processEventsUntil([&] { return !m_desktop.shownItems().isEmpty(); }));
    ASSERT_EQ(m_desktop.shownItems().size(), 1);
    const QString uri = m_desktop.shownItems().first();
    EXPECT_TRUE(uri.startsWith(QLatin1String("file:///tmp/palisor%20reveal/"))) << uri.toStdString();
    for (const QChar c : {QChar(' '), QChar('"'), QChar('`'), QChar('#'), QChar('?')})
        EXPECT_FALSE(uri.contains(c)) << uri.toStdString();
    EXPECT_EQ(QUrl(uri, QUrl::StrictMode).toLocalFile(), trickyPath);
    drainEvents();
    EXPECT_TRUE(m_desktop.openedUrls().isEmpty());
}

TEST_F(RevealInFileManagerTest, OpensTheFolderWhenNoFileManagerAnswers)
{
    ASSERT_TRUE(Workspace::revealInFileManager(trickyPath, m_caller));
    ASSERT_TRUE(processEventsUntil([&] { return !m_desktop.openedUrls().isEmpty(); }));
    EXPECT_EQ(m_desktop.openedUrls(),
              QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/tmp/palisor reveal"))});

    // Without a bus at all the folder opens at once.
    const QDBusConnection noBus(QStringLiteral("no such connection"));
    EXPECT_TRUE(Workspace::revealInFileManager(QStringLiteral("/usr/bin/env"), noBus));
    ASSERT_EQ(m_desktop.openedUrls().size(), 2);
    EXPECT_EQ(m_desktop.openedUrls().last(), QUrl::fromLocalFile(QStringLiteral("/usr/bin")));
    EXPECT_FALSE(Workspace::revealInFileManager(QString(), m_caller));
}
