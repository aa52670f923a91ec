#pragma once

#include "support/QtPrinters.h"
#include "support/RecordingDistributedCenter.h"
#include "support/RootAndHomeFixture.h"
#include "support/ScriptedCommandRunner.h"
#include "support/ScriptedHostNames.h"

#include <QMainWindow>

#include <gtest/gtest.h>

#include <memory>

class PAAppRulesController;
class PAApplication;
class PAConfiguration;
class PAManagedApps;
class PAWorkQueues;

// The app rules popover as the main window holds it, without the rest of the
// agent: the managed apps' list with the configuration that publishes it, the
// pools, a window, and the controller under test, in a root and home of the
// test's own. Rule sets sent, programs run and host names asked are recorded.
class RulesPopoverFixture : public RootAndHomeFixture
{
protected:
    RulesPopoverFixture();
    ~RulesPopoverFixture() override;

    void SetUp() override;
    void TearDown() override;

    PAAppRulesController& controller();
    PAManagedApps& managedApps();
    PAWorkQueues& workQueues();

    QList<RecordingDistributedCenter::Post> postsNamed(const QString& name);
    bool waitForRuleSets(int count);
    QStringList lastRuleSet();

    // A single executable at `path`, managed with `state` and `matches`: in the
    // shared list and at the end of the window's.
    std::shared_ptr<PAApplication> addApp(const QString& name, const QString& path, qint64 state,
                                          const QStringList& matches = {});

    ScopedRecordingDistributedCenter m_center;
    ScriptedCommandRunner m_runner;
    std::unique_ptr<ScopedCommandRunner> m_runnerScope;
    ScriptedHostNames m_hostNames;
    std::unique_ptr<PAWorkQueues> m_queues;
    std::unique_ptr<PAConfiguration> m_configuration;
    std::unique_ptr<QMainWindow> m_window;
    std::unique_ptr<PAManagedApps> m_apps;
    std::unique_ptr<PAAppRulesController> m_controller;
};
