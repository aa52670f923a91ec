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
#include "platform/ConcurrentQueue.h"
#include "platform/PropertyList.h"
#include "support/EventLoop.h"
#include "support/SharedStateReset.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

AgentFixture::AgentFixture()
    : m_root(QDir::tempPath() + QStringLiteral("/palisor-root.XXXXXX"))
    , m_home(QDir::tempPath() + QStringLiteral("/palisor-home.XXXXXX"))
{
}

AgentFixture::~AgentFixture() = default;

void AgentFixture::SetUp()
{
    ASSERT_TRUE(m_root.isValid());
    ASSERT_TRUE(m_home.isValid());
    m_rootVariable = std::make_unique<ScopedEnvironmentVariable>("PALISOR_ROOT", m_root.path().toLocal8Bit());
    m_homeVariable = std::make_unique<ScopedEnvironmentVariable>("HOME", m_home.path().toLocal8Bit());
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
    // The main window's rows and look-ups still run on the process-wide pool.
    ConcurrentQueue::global().waitForDone();
    drainEvents();
    m_interface.reset();
    // Widgets going away hand their style animations to deleteLater(); no
    // event loop runs after the last test to take them.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    resetSharedState();
    m_hostNamesScope.reset();
    m_runnerScope.reset();
    m_homeVariable.reset();
    m_rootVariable.reset();
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
    auto app = std::make_shared<PAApplication>(name, QStringList{path}, false, false, path);
    app->setRule(state);
    app->setAppMatches(matches);
    sharedAppsLibrary.push_back(app);
    controller().appsLibraryController->addObject(app);
    return app;
}

PAController& AgentFixture::controller()
{
    return *m_interface->palisorController();
}

PARequestRoad& AgentFixture::road()
{
    return *m_interface->requestRoad();
}

PAConfiguration& AgentFixture::configuration()
{
    return *m_interface->configuration();
}

PAWorkQueues& AgentFixture::workQueues()
{
    return m_interface->workQueues();
}

QString AgentFixture::rootPath(const QString& absolutePath) const
{
    return m_root.path() + absolutePath;
}

QString AgentFixture::homePath(const QString& relative) const
{
    return m_home.path() + QLatin1Char('/') + relative;
}

void AgentFixture::writePlist(const QString& path, const QVariant& value, bool binary) const
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_TRUE(PropertyList::writeFile(path, value,
                                        binary ? PropertyList::Format::Binary : PropertyList::Format::Xml));
}

void AgentFixture::writeText(const QString& path, const QByteArray& text) const
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QByteArray AgentFixture::readText(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QList<RecordingDistributedCenter::Post> AgentFixture::postsNamed(const QString& name)
{
    QList<RecordingDistributedCenter::Post> result;
    for (const auto& post : m_center->posts())
        if (post.name == name)
            result.append(post);
    return result;
}

bool AgentFixture::waitForRuleSets(int count)
{
    return processEventsUntil(
        [&] { return postsNamed(QStringLiteral("newAppListReceived")).size() >= count; });
}

QStringList AgentFixture::lastRuleSet()
{
    const auto sets = postsNamed(QStringLiteral("newAppListReceived"));
    if (sets.isEmpty())
        return {QStringLiteral("none sent")};
    QStringList apps;
    for (const QVariant& entry : sets.last().userInfo.value(QStringLiteral("AppList")).toList()) {
        const QVariantMap app = entry.toMap();
        apps << app.value(QStringLiteral("appBinaries")).toStringList().join(',') + QLatin1Char(' ') +
                    QString::number(app.value(QStringLiteral("appIsBlockedOrAllowed")).toLongLong()) +
                    QLatin1Char(' ') + app.value(QStringLiteral("appMatches")).toStringList().join(',');
    }
    return apps;
}
