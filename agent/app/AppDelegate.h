#pragma once

#include "platform/Authorization.h"

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QWidget>

class PAConfiguration;
class PACustomPresetsWindowController;
class PAController;
class PAInstaller;
class PAPresetsController;
class StartSocket;
class managesocketagent;

// The application's delegate: the launch sequence, the start of the agent,
// what it does when it terminates, and the user's commands on the firewall,
// the lock, the apps list and the windows.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    AppDelegate(managesocketagent& endpoint, PAController& palisorController, PAConfiguration& configuration,
                PAInstaller& installer, StartSocket& startSocket, PAPresetsController& presets,
                PACustomPresetsWindowController& customPresets, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Outlets, connected by MainInterface.
    QPointer<QWidget> window;
    QPointer<QWidget> wizardWindow;
    QPointer<QWidget> prefsWindow;
    QPointer<QWidget> customPresetsWindow;
    // Collaborators, given at construction and outliving the delegate.
    managesocketagent* const mymanagesocketagent;
    PAController* const myPalisorController;
    PAPresetsController* const presetscontroller;
    PACustomPresetsWindowController* const custompresetscontroller;
    PAConfiguration* const myPAConfiguration;
    PAInstaller* const palisorInstaller;
    StartSocket* const myStartSocket;
    QPointer<QLabel> aboutVersionLabel;

    static constexpr const char* kHelperUnit = "zz.tolvane.PalisorHelper.service";

    // The launch sequence; the readiness check answers later and start()
    // (or a fatal alert) follows from there.
    void applicationDidFinishLaunching();
    void start();
    // Sends the configuration and saves the window height; runs once however
    // the agent ends.
    void applicationWillTerminate();
    // Runs the termination handler, flushes the last notification and quits
    // the event loop.
    void terminate();

    bool checkPalisor();
    void checkErrorType();
    void popErrorAlertAndQuit();
    void popManualAuth();
    void getVersion();
    // The main window's look by currentTheme: 0 light on white, 1 dark,
    // 2 as the desktop is set, anything else as the window was made.
    void applyTheme();

    // The readiness check's answer.
    void readinessChecked(bool ready);

    // Commands.
    void enableFirewall();
    void disableFirewall();
    void lockUnlockFirewall();
    void emptyall();
    void alternateQuitPalisorAgent();
    void startHelper();
    void stopHelper();
    void closeAllWindows();
    void showAppsWindow();
    // The custom presets, listed afresh (and their window, once it exists).
    void openCustomPresetsWindow();
    // The main window on its strategies tab, no strategy selected.
    void startPresetsWizard();

    bool hasStarted() const { return m_started; }
    bool hasTerminated() const { return m_terminated; }

signals:
    // No other agent runs in this session: from here on the agent may bind
    // its sockets, which an agent that is about to quit must leave alone.
    void onlyInstance();
    void started();

private:
    void m_post(const char* name, const char* object);
    void m_clearAllApps();
    void m_showLockWarning();
    void m_showUnlockNotAsked(Authorization::Answer answer);

    bool m_started = false;
    bool m_terminated = false;
};
