#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <vector>

class PAExclusion;
class PAManagedRecords;
class PAPresetsController;

// The configuration assistant: its start, and the answers its pages collect
// before they become the live configuration. The assistant's window and
// pages arrive with their own work.
class PAWizardController : public QObject
{
    Q_OBJECT

public:
    explicit PAWizardController(PAPresetsController& presets, QObject* parent = nullptr);
    ~PAWizardController() override;

    // Given at construction.
    PAPresetsController* const presetscontroller;
    // The assistant's window; while there is none the assistant cannot start.
    QPointer<QWidget> window;
    // The main window, which the assistant takes the place of on screen.
    QPointer<QWidget> appsWindow;

    // The collected answers, reset at every start (all but level2Choice).
    // The apps that must ask, by path until they get a row class of their own.
    QStringList wizAppsLibrary;
    // Managed Folders to add, in order.
    std::vector<std::shared_ptr<PAExclusion>> wizardExclusions;
    bool manageRoot = false;
    bool hiddenSystemBinaries = false;
    bool logConnections = false;
    bool storeLogs = false;
    bool enableNotif = false;
    // Seconds.
    double notifTimeout = 30.0;
    bool passExpiredNotif = true;
    // Global Rules to add, in order.
    std::vector<std::shared_ptr<PAManagedRecords>> wizRecords;
    // The path taken: 1, 2, 3 the interactive levels, 4 exclusive, 5
    // inclusive. Every path sets it before it is read, so a start keeps it.
    int level2Choice = 0;

    // Opens the assistant over a fresh "preset1": does nothing while a
    // connection alert is open, or when the preset cannot be loaded.
    void startWizard();

private:
    void m_resetAnswers();
};
