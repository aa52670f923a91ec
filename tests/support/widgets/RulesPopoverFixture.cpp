#include "support/widgets/RulesPopoverFixture.h"

#include "core/PAApplication.h"
#include "core/PAConfiguration.h"
#include "core/PAManagedApps.h"
#include "core/PARuleLists.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "platform/CodeSigning.h"
#include "platform/HostResolver.h"
#include "ruleeditors/PAAppRulesController.h"
#include "support/EventLoop.h"
#include "support/ManagedApp.h"
#include "support/RuleSets.h"
#include "support/SharedStateReset.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

RulesPopoverFixture::RulesPopoverFixture() = default;

RulesPopoverFixture::~RulesPopoverFixture() = default;

void RulesPopoverFixture::SetUp()
{
    RootAndHomeFixture::SetUp();
    if (HasFatalFailure())
        return;
    m_runnerScope = std::make_unique<ScopedCommandRunner>(m_runner);
    resetSharedState();
    m_queues = std::make_unique<PAWorkQueues>();
    m_configuration = std::make_unique<PAConfiguration>();
    m_window = std::make_unique<QMainWindow>();
    m_apps = std::make_unique<PAManagedApps>(ruleLists(), *m_configuration, synchronizedQueue());
    m_controller = std::make_unique<PAAppRulesController>(
        *m_apps, *m_queues, m_hostNames, HostResolver::shared(), CodeSigning::shared(), m_window.get());
    m_center->clear();
}

void RulesPopoverFixture::TearDown()
{
    // Look-ups still running use this test's runner and resolvers.
    m_hostNames.open();
    if (m_queues)
        m_queues->waitForDone();
    drainEvents();
    m_controller.reset();
    m_apps.reset();
    m_window.reset();
    m_configuration.reset();
    m_queues.reset();
    // Widgets going away hand their style animations to deleteLater().
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    resetSharedState();
    m_runnerScope.reset();
    RootAndHomeFixture::TearDown();
}

PAAppRulesController& RulesPopoverFixture::controller()
{
    return *m_controller;
}

PAManagedApps& RulesPopoverFixture::managedApps()
{
    return *m_apps;
}

PAWorkQueues& RulesPopoverFixture::workQueues()
{
    return *m_queues;
}

QList<RecordingDistributedCenter::Post> RulesPopoverFixture::postsNamed(const QString& name)
{
    return RuleSets::postsNamed(m_center.center(), name);
}

bool RulesPopoverFixture::waitForRuleSets(int count)
{
    return RuleSets::waitFor(m_center.center(), count);
}

QStringList RulesPopoverFixture::lastRuleSet()
{
    return RuleSets::last(m_center.center());
}

std::shared_ptr<PAApplication> RulesPopoverFixture::addApp(const QString& name, const QString& path,
                                                           qint64 state, const QStringList& matches)
{
    return addManagedApp(*m_apps->appsLibraryController, name, path, state, matches);
}
