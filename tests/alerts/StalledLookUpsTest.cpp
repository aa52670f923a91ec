#include "alerts/PANotifyController.h"
#include "alerts/PANotifyWindowController.h"
#include "app/MainInterface.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "mainwindow/PAConnection.h"
#include "mainwindow/PAConnectionController.h"
#include "mainwindow/PAConnectionsModel.h"
#include "platform/CodeSigning.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/SerialQueue.h"
#include "support/EventLoop.h"
#include "support/FakeCountrySource.h"
#include "support/ScriptedCommandRunner.h"
#include "support/ThreadGate.h"
#include "support/widgets/AgentFixture.h"

#include <QHash>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// The signing tool and whois, both held at one gate: the only callers are the
// blocking look-ups, so the gate counts that pool's busy threads.
class StalledTools : public CodeSigning, public ScriptedCommandRunner
{
public:
    StalledTools() { CodeSigning::setShared(this); }
    ~StalledTools() override { CodeSigning::setShared(nullptr); }

    QString verify(const QString&) override
    {
        gate.pass();
        return QString();
    }
    QString describe(const QString&) override
    {
        gate.pass();
        return QString();
    }
    QString runChecked(const QString& program, const QStringList& arguments) override
    {
        gate.pass();
        return ScriptedCommandRunner::runChecked(program, arguments);
    }

    ThreadGate gate;
};

// Countries whose search waits at a gate.
class StalledCountries : public FakeCountrySource
{
public:
    std::optional<QString> findCountryOfAddress(const QString& address,
                                                const TLMatchIP& matcher) const override
    {
        gate.pass();
        return FakeCountrySource::findCountryOfAddress(address, matcher);
    }

    mutable ThreadGate gate;
};

// The whole agent, with every look-up that waits on the outside held: names
// of addresses, the signing tool, whois and the country search.
class StalledLookUpsTest : public AgentFixture
{
protected:
    PAConnectionController& connections() { return *m_interface->connectionController(); }

    // A report of a connection of this very process, as the extension sends it.
    void report(const QString& address)
    {
        DistributedNotificationCenter::Notification notification;
        notification.name = QStringLiteral("palisorconnections");
        notification.object = QStringLiteral("zz.tolvane.palisorconnections");
        notification.userInfo.insert(QStringLiteral("connections"),
                                     QStringLiteral("0 %1 443 %2 6 0").arg(address).arg(getpid()));
        m_interface->notifyController()->palisorconnections(notification);
    }

    // Shows an alert for a request of our own making, the queue held by its tag.
    std::shared_ptr<PANotifyWindowController> openAlert(const QString& address)
    {
        auto alert = std::make_shared<PANotifyWindowController>(road(), workQueues());
        synchronizedQueue().suspend();
        const QString tag = road().takeTag();
        road().open(tag, alert);
        alert->parameterProcessPid = QString::number(getpid());
        alert->parameterProcessName = homePath(QStringLiteral("bin/curl"));
        alert->parameterProcessUID = QString::number(getuid());
        alert->parameterProcessIP = address;
        alert->parameterProcessPort = QStringLiteral("443");
        alert->parameterProcessUDPorTCP = QStringLiteral("TCP");
        alert->parameterProcessIPversion = QStringLiteral("4");
        alert->parameterOriginalRequestString =
            QStringLiteral("k%1 %2 443 %3 TCP 4 0").arg(tag, address).arg(getpid());
        alert->parameterTagString = tag;
        alert->parameterResponsibleApp = QStringLiteral("0");
        alert->showAlertOnMain();
        return alert;
    }

    // The log's rows by address; reports are parsed side by side, so they
    // may be listed in any order.
    QHash<QString, PAConnection*> loggedRows()
    {
        PAConnectionsModel& model = *connections().allConsLibraryController();
        model.flushPending();
        QHash<QString, PAConnection*> rows;
        for (int row = 0; row < model.rowCount(); ++row)
            rows.insert(model.connectionAt(row)->connIPAddress, model.connectionAt(row));
        return rows;
    }
};

TEST_F(StalledLookUpsTest, ReportsAreParsedAndLoggedWhileEveryLookUpWaits)
{
    showHostnames = true;
    StalledTools tools;
    ScopedCommandRunner toolsInPlace(tools);
    StalledCountries countries;
    countries.addZone(QStringLiteral("it"), {QStringLiteral("93.184.216.0/24")});
    ScopedCountrySource countriesInPlace(countries);
    m_hostNames.close();
    // However the test ends, the look-ups are let through and waited for
    // before the fakes they are inside go.
    const auto letThrough = qScopeGuard([&] {
        tools.gate.open();
        countries.gate.open();
        m_hostNames.open();
        workQueues().waitForDone();
        drainEvents();
    });

    // An alert whose name and country look-ups wait, then its signature check
    // and whois runs: enough of them to take every thread of the blocking
    // look-ups' pool, with more queued behind.
    auto alert = openAlert(QStringLiteral("93.184.216.34"));
    ASSERT_TRUE(m_hostNames.waitForRunning(1));
    ASSERT_TRUE(countries.gate.waitForWaiting(1));
    alert->clickGetSignatureInfo();
    for (int i = 0; i < PAWorkQueues::kLookUpThreads; ++i)
        alert->clickWhois();
    ASSERT_TRUE(tools.gate.waitForWaiting(PAWorkQueues::kLookUpThreads));

    // Reports of new addresses: logged, and their rows' host names take every
    // thread of the log's look-up pool.
    const QStringList first{"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4"};
    for (const QString& address : first)
        report(address);
    ASSERT_TRUE(processEventsUntil([&] { return connections().connectionCount() == 4; }));
    ASSERT_TRUE(m_hostNames.waitForRunning(1 + 4));

    // With every look-up pool held, the next reports still go the whole way.
    const QStringList next{"10.0.0.5", "10.0.0.6", "192.0.2.7"};
    for (const QString& address : next)
        report(address);
    EXPECT_TRUE(processEventsUntil([&] { return connections().connectionCount() == 7; }));
    QStringList logged = loggedRows().keys();
    logged.sort();
    EXPECT_EQ(logged, first + next);
    EXPECT_EQ(tools.gate.waiting(), PAWorkQueues::kLookUpThreads) << "the look-ups were still held";
    EXPECT_EQ(countries.gate.waiting(), 1);

    // Let through, the held names arrive in their rows.
    m_hostNames.answer(QStringLiteral("10.0.0.1"), {QStringLiteral("one.example")});
    m_hostNames.answer(QStringLiteral("10.0.0.6"), {QStringLiteral("six.example")});
    m_hostNames.open();
    const QHash<QString, PAConnection*> rows = loggedRows();
    ASSERT_EQ(rows.size(), 7);
    EXPECT_TRUE(processEventsUntil([&] {
        return rows.value("10.0.0.1")->connHostname == QLatin1String("one.example") &&
               rows.value("10.0.0.6")->connHostname == QLatin1String("six.example");
    }));
}

} // namespace
