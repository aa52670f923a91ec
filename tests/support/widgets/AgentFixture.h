#pragma once

#include "support/AnsweringAlertPresenter.h"
#include "support/ManualClock.h"
#include "support/QtPrinters.h"
#include "support/RecordingDistributedCenter.h"
#include "support/RootAndHomeFixture.h"
#include "support/ScopedEnvironmentVariable.h"
#include "support/ScriptedCommandRunner.h"
#include "support/ScriptedFileChooser.h"
#include "support/ScriptedHostNames.h"

#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

#include <memory>

class MainInterface;
class PAApplication;
class PAConfiguration;
class PAController;
class PARequestRoad;
class PAWorkQueues;

// The agent's long-lived objects wired as at start, in a root and home of the
// test's own, with every outside effect recorded: distributed notifications,
// alerts (answered from a script), file panels, programs run, and time.
class AgentFixture : public RootAndHomeFixture
{
protected:
    AgentFixture();
    ~AgentFixture() override;

    void SetUp() override;
    void TearDown() override;

    PAController& controller();
    PARequestRoad& road();
    // The interface's pools.
    PAWorkQueues& workQueues();
    PAConfiguration& configuration();

    // The paths of the Managed Folders, in order.
    static QStringList managedFolderPaths();

    // Posts of one name, in order.
    QList<RecordingDistributedCenter::Post> postsNamed(const QString& name);
    // Waits for the count of rule sets sent so far ("newAppListReceived") to
    // reach `count`.
    bool waitForRuleSets(int count);
    // What the last rule set told the daemon: per app, its binaries, state
    // and matches; "none sent" before the first.
    QStringList lastRuleSet();

    // A single executable at `path`, managed with `state` and `matches`: in the
    // shared list and at the end of the main window's.
    std::shared_ptr<PAApplication> addApp(const QString& name, const QString& path, qint64 state,
                                          const QStringList& matches = {});

    ScopedRecordingDistributedCenter m_center;
    ScopedAlertPresenter m_alerts;
    ScopedFileChooser m_files;
    ScopedManualClock m_clock;
    ScriptedCommandRunner m_runner;
    std::unique_ptr<ScopedCommandRunner> m_runnerScope;
    // No test asks the machine's resolver about the addresses of its alerts.
    ScriptedHostNames m_hostNames;
    std::unique_ptr<ScopedHostNames> m_hostNamesScope;
    std::unique_ptr<MainInterface> m_interface;
};
