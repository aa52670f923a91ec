#pragma once

#include <QObject>

#include <memory>

class PAConfiguration;
class PAOpenAlerts;
class PAConnectionController;
class PAController;
class PAExclusionController;
class PAFlagsController;
class PAManagedRecordsController;
class PAPreferencesController;
class PAPresetsController;
class PAUpdateController;
class PAWorkQueues;
class BridgeClassPalisor;
class PANotifyController;
class StartSocket;
class Socketcon;
class managesocketagent;
class PAObserveFileLogs;
class PARequestRoad;
class AppDelegate;
class PAInstaller;
class PACustomPresetsWindowController;
class PAWizardController;

// The composition root: creates the agent's long-lived objects, connects their
// outlets and wakes them, as the main interface file does when the
// application starts. The objects live as long as this does.
class MainInterface : public QObject
{
    Q_OBJECT

public:
    explicit MainInterface(QObject* parent = nullptr);
    ~MainInterface() override;

    // The worker pools the agent's objects run their off-thread work on.
    PAWorkQueues& workQueues() const { return *m_workQueues; }
    PAController* palisorController() const { return m_palisorController; }
    PAConfiguration* configuration() const { return m_configuration; }
    PAExclusionController* exclusionController() const { return m_exclusionController; }
    PAManagedRecordsController* recordsController() const { return m_recordsController; }
    PAPreferencesController* preferencesController() const { return m_preferencesController; }
    PAUpdateController* updateController() const { return m_updateController; }
    PAConnectionController* connectionController() const { return m_connectionController; }
    PAPresetsController* presetsController() const { return m_presetsController; }
    PARequestRoad* requestRoad() const { return m_requestRoad; }
    managesocketagent* socketAgent() const { return m_socketAgent; }
    StartSocket* startSocket() const { return m_startSocket; }
    BridgeClassPalisor* bridge() const { return m_bridge; }
    Socketcon* socketcon() const { return m_socketcon; }
    PANotifyController* notifyController() const { return m_notifyController; }
    PAObserveFileLogs* logKeeper() const { return m_logKeeper; }
    PAInstaller* installer() const { return m_installer; }
    AppDelegate* appDelegate() const { return m_appDelegate; }
    PACustomPresetsWindowController* customPresetsController() const { return m_customPresetsController; }
    PAWizardController* wizardController() const { return m_wizardController; }
    PAFlagsController* flagsController() const { return m_flagsController; }

private:
    void m_connectConfiguration();
    void m_endOpenAlerts();

    // In the order they are made: each gets the ones above it that it needs.
    // The pools and the table of open alerts outlive every object here.
    const std::unique_ptr<PAWorkQueues> m_workQueues;
    const std::unique_ptr<PAOpenAlerts> m_openAlerts;
    PAConfiguration* m_configuration;
    PAPreferencesController* m_preferencesController;
    PAUpdateController* m_updateController;
    PAExclusionController* m_exclusionController;
    PAManagedRecordsController* m_recordsController;
    PAController* m_palisorController;
    PAConnectionController* m_connectionController;
    PAPresetsController* m_presetsController;
    PAWizardController* m_wizardController;
    PARequestRoad* m_requestRoad;
    managesocketagent* m_socketAgent;
    StartSocket* m_startSocket;
    PANotifyController* m_notifyController;
    BridgeClassPalisor* m_bridge;
    Socketcon* m_socketcon;
    PAObserveFileLogs* m_logKeeper;
    PAInstaller* m_installer;
    PACustomPresetsWindowController* m_customPresetsController;
    AppDelegate* m_appDelegate;
    PAFlagsController* m_flagsController;
};
