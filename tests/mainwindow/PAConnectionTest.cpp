#include "mainwindow/PAConnection.h"

#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "platform/SystemColors.h"
#include "platform/Workspace.h"
#include "support/EventLoop.h"
#include "support/ManualClock.h"
#include "support/ScriptedHostNames.h"
#include "support/SharedStateReset.h"

#include <QAbstractFileIconProvider>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// Answers every icon with the same picture and notes which paths were asked.
class RecordingIconProvider : public QAbstractFileIconProvider
{
public:
    QIcon icon(const QFileInfo& info) const override
    {
        asked.append(info.filePath());
        return m_icon;
    }
    QIcon icon(IconType type) const override { return QAbstractFileIconProvider::icon(type); }

    mutable QStringList asked;

private:
    QIcon m_icon{QPixmap(4, 4)};
};

class PAConnectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetSharedState();
        Workspace::setFileIconProvider(&m_icons);
    }

    void TearDown() override
    {
        // Every look-up's answer is taken before the next test.
        m_queues.waitForDone();
        drainEvents();
        Workspace::setFileIconProvider(nullptr);
        resetSharedState();
    }

    void setNames(const QString& address, const QStringList& names) { m_hostNames.answer(address, names); }
    qsizetype lookUps() const { return m_hostNames.asked().size(); }

    // A row as the log takes it: its look-ups start on the test's pools.
    std::unique_ptr<PAConnection> make(const QString& path, const QString& uid = QStringLiteral("501"),
                                       bool blocked = false, const QString& via = QString(),
                                       const QString& viaPath = QString(),
                                       const QString& address = QStringLiteral("10.0.0.5"))
    {
        auto connection =
            std::make_unique<PAConnection>(path, address, 443, 4321, uid, blocked, via, viaPath, false);
        connection->startLookUps(m_queues);
        return connection;
    }

    PAWorkQueues m_queues;
    ScopedManualClock m_clock;
    RecordingIconProvider m_icons;
    ScriptedHostNames m_hostNames;
    ScopedHostNames m_hostNamesScope{m_hostNames};
    QTemporaryDir m_dir;
};

TEST_F(PAConnectionTest, DerivesWhatTheLogShows)
{
    struct Case
    {
        QString path;
        QString uid;
        QString via;
        QString viaPath;
        QString simpleName;
        QString representedXPC;
        bool isRoot;
    };
    const Case cases[] = {
        {"/usr/bin/curl", "501", "", "", "curl", "", false},
        {"curl", "501", "", "", "curl", "", false},
        {"/usr/sbin/ntpd", "0", "", "", "ntpd", "", true},
        {"/usr/sbin/ntpd", "00", "", "", "ntpd", "", false},
        {"/usr/sbin/ntpd", " 0", "", "", "ntpd", "", false},
        {"/usr/sbin/ntpd", "-1", "", "", "ntpd", "", false},
        {"/Library/Sync.xpc/Contents/MacOS/Sync", "501", "Mail", "/Applications/Mail.app", "Mail", "Sync",
         false},
    };
    for (const Case& c : cases) {
        const auto connection = make(c.path, c.uid, false, c.via, c.viaPath);
        EXPECT_EQ(connection->connSimpleName, c.simpleName) << c.path.toStdString();
        EXPECT_EQ(connection->connRepresentedXPC, c.representedXPC) << c.path.toStdString();
        EXPECT_EQ(connection->connRepresentedXPC.isEmpty(), connection->connViaApp.isEmpty());
        EXPECT_EQ(connection->connIsRoot, c.isRoot) << c.uid.toStdString();
        EXPECT_EQ(connection->connProcessName, c.path);
        EXPECT_EQ(connection->xpcPath, c.viaPath);
        EXPECT_TRUE(connection->connString.isEmpty());
        EXPECT_EQ(connection->connCount, 0);
    }

    const auto connection =
        std::make_unique<PAConnection>(QStringLiteral("/x"), QStringLiteral("10.0.0.5"), 65535, 4194304,
                                       QStringLiteral("501"), false, QString(), QString(), true);
    EXPECT_EQ(connection->connRepresentedPID, QStringLiteral("4194304"));
    EXPECT_EQ(connection->connRepresentedPORT, QStringLiteral("65535"));
    EXPECT_TRUE(connection->connBelongsToOtherUser);
}

TEST_F(PAConnectionTest, BlockedRowsAreRedAndPassedOnesTextColoured)
{
    EXPECT_EQ(make(QStringLiteral("/x"), QStringLiteral("501"), true)->connColor, SystemColors::systemRed());
    EXPECT_EQ(make(QStringLiteral("/x"), QStringLiteral("501"), false)->connColor, SystemColors::textColor());
    EXPECT_TRUE(make(QStringLiteral("/x"), QStringLiteral("501"), true)->connIsBlocked);
}

TEST_F(PAConnectionTest, TakesItsTimeFromTheClockInTheLocalesShortDateAndMediumTime)
{
    m_clock->advance(3.5);
    const auto connection = make(QStringLiteral("/x"));
    EXPECT_EQ(connection->connRealDate, m_clock->now());
    EXPECT_EQ(connection->connDate, PAConnection::dateText(m_clock->now()));

    struct Case
    {
        QLocale locale;
        QString text;
    };
    const QDateTime when(QDate(2026, 12, 10), QTime(15, 4, 5));
    const Case cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), QStringLiteral("12/10/26 3:04:05\u202fPM")},
        {QLocale(QLocale::German, QLocale::Germany), QStringLiteral("10.12.26 15:04:05")},
        {QLocale(QLocale::French, QLocale::France), QStringLiteral("10/12/2026 15:04:05")},
    };
    const QLocale previous;
    for (const Case& c : cases) {
        QLocale::setDefault(c.locale);
        // CLDR versions differ in the blank before the day period.
        const QString text = PAConnection::dateText(when).replace(QChar(0x202f), QLatin1Char(' '));
        EXPECT_EQ(text, QString(c.text).replace(QChar(0x202f), QLatin1Char(' ')))
            << c.locale.name().toStdString();
    }
    QLocale::setDefault(previous);
}

TEST_F(PAConnectionTest, GetIconTakesTheOutermostBundleOrTheFileItself)
{
    const QString outer = m_dir.filePath(QStringLiteral("Outer.app"));
    const QString nested = outer + QStringLiteral("/Contents/Helpers/Inner.app/Contents/MacOS/inner");
    const QString tool = m_dir.filePath(QStringLiteral("bin/tool"));
    PAConnection::getIcon(nested);
    PAConnection::getIcon(tool);
    // An executable named like a bundle but outside one is a file.
    PAConnection::getIcon(m_dir.filePath(QStringLiteral("x.app")));
    EXPECT_EQ(m_icons.asked, (QStringList{outer, tool, m_dir.filePath(QStringLiteral("x.app"))}));
}

TEST_F(PAConnectionTest, TheIconArrivesFromTheResponsibleApplicationAndRedrawsTheRow)
{
    const QString service = m_dir.filePath(QStringLiteral("Sync.xpc/Contents/MacOS/Sync"));
    const QString mail = m_dir.filePath(QStringLiteral("Mail.app/Contents/MacOS/Mail"));
    const auto attributed = make(service, QStringLiteral("501"), false, QStringLiteral("Mail"), mail);
    const auto plain = make(m_dir.filePath(QStringLiteral("bin/curl")));
    QSignalSpy changed(attributed.get(), &PAConnection::changed);
    EXPECT_TRUE(attributed->connImage.isNull());
    ASSERT_TRUE(
        processEventsUntil([&] { return !attributed->connImage.isNull() && !plain->connImage.isNull(); }));
    EXPECT_GE(changed.count(), 1);
    EXPECT_TRUE(m_icons.asked.contains(m_dir.filePath(QStringLiteral("Mail.app"))));
    EXPECT_TRUE(m_icons.asked.contains(m_dir.filePath(QStringLiteral("bin/curl"))));
    EXPECT_FALSE(m_icons.asked.contains(service));
}

TEST_F(PAConnectionTest, ShowsAddressesWithoutLookingUpWhileHostNamesAreOff)
{
    showHostnames = false;
    setNames(QStringLiteral("10.0.0.5"), {QStringLiteral("mail.example")});
    const auto connection = make(QStringLiteral("/x"));
    drainEvents();
    EXPECT_EQ(connection->connHostname, QStringLiteral("10.0.0.5"));
    connection->setConnHostname(QStringLiteral("stale.example"));
    connection->updateRecord();
    EXPECT_EQ(connection->connHostname, QStringLiteral("10.0.0.5"));
    drainEvents();
    EXPECT_EQ(lookUps(), 0);
}

TEST_F(PAConnectionTest, HostNamesReplaceTheAddressWhenFound)
{
    setNames(QStringLiteral("10.0.0.5"), {QStringLiteral("mail.example"), QStringLiteral("alias.example")});
    const auto found = make(QStringLiteral("/x"));
    const auto unnamed = make(QStringLiteral("/x"), QStringLiteral("501"), false, QString(), QString(),
                              QStringLiteral("192.0.2.1"));
    QSignalSpy changed(found.get(), &PAConnection::changed);
    EXPECT_EQ(found->connHostname, QStringLiteral("10.0.0.5"));
    ASSERT_TRUE(processEventsUntil([&] { return found->connHostname == QStringLiteral("mail.example"); }));
    EXPECT_GE(changed.count(), 1);
    ASSERT_TRUE(processEventsUntil([&] { return lookUps() >= 2; }));
    drainEvents();
    EXPECT_EQ(unnamed->connHostname, QStringLiteral("192.0.2.1"));

    // Switched off and on again.
    showHostnames = false;
    found->updateRecord();
    EXPECT_EQ(found->connHostname, QStringLiteral("10.0.0.5"));
    showHostnames = true;
    found->updateRecord();
    EXPECT_TRUE(processEventsUntil([&] { return found->connHostname == QStringLiteral("mail.example"); }));

    // resolveHostname() looks up on the calling thread and stores on the main one.
    setNames(QStringLiteral("192.0.2.1"), {QStringLiteral("late.example")});
    unnamed->resolveHostname();
    EXPECT_EQ(unnamed->connHostname, QStringLiteral("192.0.2.1"));
    drainEvents();
    EXPECT_EQ(unnamed->connHostname, QStringLiteral("late.example"));
}

TEST_F(PAConnectionTest, RowsOfOneAddressShareOneLookUpAtATime)
{
    // A busy log names one server many times while its name is still being
    // looked up: one look-up serves them all, and a later row asks again.
    setNames(QStringLiteral("10.0.0.5"), {QStringLiteral("mail.example")});
    std::vector<std::unique_ptr<PAConnection>> rows;
    for (int i = 0; i < 50; ++i)
        rows.push_back(make(QStringLiteral("/x")));
    ASSERT_TRUE(processEventsUntil([&] {
        return std::all_of(rows.begin(), rows.end(), [](const auto& row) {
            return row->connHostname == QStringLiteral("mail.example");
        });
    }));
    EXPECT_EQ(lookUps(), 1);
    const auto later = make(QStringLiteral("/x"));
    ASSERT_TRUE(processEventsUntil([&] { return later->connHostname == QStringLiteral("mail.example"); }));
    EXPECT_EQ(lookUps(), 2);
}

} // namespace
