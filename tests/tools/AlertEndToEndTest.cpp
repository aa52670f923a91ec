#include "alerts/PANotifyWindowController.h"
#include "alerts/PAOpenAlerts.h"
#include "app/MainInterface.h"
#include "core/PAApplication.h"
#include "core/SharedState.h"
#include "daemonlink/managesocketagent.h"
#include "palisorafd-sim/SimulatedDaemon.h"
#include "support/EventLoop.h"
#include "support/ProcessWaits.h"
#include "support/widgets/AgentFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

namespace {

// The whole agent built in-process, its daemon link on real sockets, and the
// simulated daemon asking about a real process that no rule knows.
class AlertEndToEndTest : public AgentFixture
{
protected:
    void SetUp() override
    {
        AgentFixture::SetUp();
        QString error;
        ASSERT_TRUE(m_daemon.bind(&error)) << error.toStdString();
        ASSERT_TRUE(managesocketagent::setUpSocket(&error)) << error.toStdString();
        managesocketagent* endpoint = m_interface->socketAgent();
        m_loop = std::thread([endpoint] { endpoint->receiveLoop(); });
        enableNotifications = true;
    }

    void TearDown() override
    {
        managesocketagent::stopReceiving();
        m_loop.join();
        m_child.kill();
        m_child.waitForFinished(2000);
        AgentFixture::TearDown();
    }

    std::shared_ptr<PANotifyWindowController> shownAlert()
    {
        for (const auto& alert : std::as_const(openAlerts))
            if (alert->notificationIsDisplayed)
                return alert;
        return nullptr;
    }

    SimulatedDaemon m_daemon;
    std::thread m_loop;
    QProcess m_child;
};

TEST_F(AlertEndToEndTest, TheUsersBlockIsSentAndRememberedForTheNextRequest)
{
    const QString path = homePath("bin/stranger");
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), path));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    m_child.start(path, {QStringLiteral("30")});
    ASSERT_TRUE(m_child.waitForStarted(5000));
    const qint64 pid = m_child.processId();
    ASSERT_TRUE(waitForExec(static_cast<pid_t>(pid), path));

    const QString first = QStringLiteral("1 203.0.113.9 443 %1 TCP 4 0").arg(pid);
    ASSERT_TRUE(m_daemon.sendRequest(first));
    ASSERT_TRUE(processEventsUntil([&] { return shownAlert() != nullptr; }));
    EXPECT_TRUE(isNotifyWindowOpen);
    EXPECT_TRUE(m_daemon.answers().empty()) << "the alert waits for the user";

    auto* block = shownAlert()->myNotifyWindow()->findChild<QPushButton*>(QStringLiteral("advancedBlock"));
    ASSERT_TRUE(block);
    QTest::mouseClick(block, Qt::LeftButton);
    ASSERT_TRUE(m_daemon.waitForAnswers(1, 5000));
    EXPECT_EQ(m_daemon.answers().at(0).request, first);
    EXPECT_EQ(m_daemon.answers().at(0).code, "1 # #");
    EXPECT_FALSE(isNotifyWindowOpen);

    const QString second = QStringLiteral("2 198.51.100.1 80 %1 TCP 4 0").arg(pid);
    ASSERT_TRUE(m_daemon.sendRequest(second));
    ASSERT_TRUE(m_daemon.waitForAnswers(2, 5000));
    EXPECT_EQ(m_daemon.answers().at(1).request, second);
    EXPECT_EQ(m_daemon.answers().at(1).code, "1 # #");
    EXPECT_EQ(shownAlert(), nullptr) << "the saved rule answered: no alert";
    ASSERT_FALSE(sharedAppsLibrary.empty());
    EXPECT_EQ(sharedAppsLibrary.front()->appPath(), path);
}

} // namespace
