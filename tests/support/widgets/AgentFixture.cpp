#include "support/widgets/AgentFixture.h"

#include "alerts/PANotifyWindowController.h"
#include "alerts/PAOpenAlerts.h"
#include "app/MainInterface.h"
#include "core/PAApplication.h"
#include "core/PAConfiguration.h"
#include "core/PAExclusion.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "mainwindow/PAController.h"
#include "platform/PropertyList.h"
#include "support/EventLoop.h"
#include "support/ManagedApp.h"
#include "support/RuleSets.h"
#include "support/SharedStateReset.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

AgentFixture::AgentFixture() = default;

AgentFixture::~AgentFixture() = default;

void AgentFixture::SetUp()
{
    RootAndHomeFixture::SetUp();
    if (HasFatalFailure())
        return;
    m_runnerScope = std::make_unique<ScopedCommandRunner>(m_runner);
    m_hostNamesScope = std::make_unique<ScopedHostNames>(m_hostNames);
    resetSharedState();
    m_interface = std::make_unique<MainInterface>();
    m_center->clear();
}

void AgentFixture::TearDown()
{
    // A request a test left open would hold the queue for the next test.
    for (const QString& tag : openAlerts.keys())
        PANotifyWindowController::resumeQueue(tag);
    openAlerts.clear();
    // Look-ups still running use this test's runner and resolver.
    m_hostNames.open();
    workQueues().waitForDone();
    drainEvents();
    m_interface.reset();
    // Widgets going away hand their style animations to deleteLater(); no
    // event loop runs after the last test to take them.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    resetSharedState();
    m_hostNamesScope.reset();
    m_runnerScope.reset();
    RootAndHomeFixture::TearDown();
}

QStringList AgentFixture::managedFolderPaths()
{
    QStringList paths;
    for (const auto& folder : exclusionsList)
        paths << folder->path();
    return paths;
}

std::shared_ptr<PAApplication> AgentFixture::addApp(const QString& name, const QString& path, qint64 state,
                                                    const QStringList& matches)
{
    return addManagedApp(*controller().appsLibraryController, name, path, state, matches);
}

PAController& AgentFixture::controller()
{
    return *m_interface->palisorController();
}

PAWorkQueues& AgentFixture::workQueues()
{
    return m_interface->workQueues();
}

PARequestRoad& AgentFixture::road()
{
    return *m_interface->requestRoad();
}

PAConfiguration& AgentFixture::configuration()
{
    return *m_interface->configuration();
}

QList<RecordingDistributedCenter::Post> AgentFixture::postsNamed(const QString& name)
{
    return RuleSets::postsNamed(m_center.center(), name);
}

bool AgentFixture::waitForRuleSets(int count)
{
    return RuleSets::waitFor(m_center.center(), count);
}

QStringList AgentFixture::lastRuleSet()
{
    return RuleSets::last(m_center.center());
}
