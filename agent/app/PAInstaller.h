#pragma once

#include "platform/AlertPresenter.h"
#include "platform/Clock.h"

#include <QIcon>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <QScopedPointer>
#include <QString>
#include <QWidget>

#include <functional>

class PAConfiguration;
class PAUpdateController;

namespace Ui {
class PAInstallerStartPanel;
class PAInstallerStatusView;
} // namespace Ui

// Checks before the agent starts that the firewall's parts outside it are in
// place (filter extension installed, loaded and current; daemon running; its
// launch plist installed), drives the start panel meanwhile, fills the status
// lights, and runs the first-run welcome with the auto-update question.
class PAInstaller : public QObject
{
    Q_OBJECT

public:
    // Stops the process when one of the three light images is missing: the
    // status view cannot be shown without them.
    PAInstaller(PAConfiguration& configuration, PAUpdateController& updates, QObject* parent = nullptr);
    ~PAInstaller() override;

    // Outlets, connected by MainInterface; any may be null (the steps that
    // need it are skipped with a log line).
    // Given at construction.
    PAConfiguration* const palisorconfiguration;
    PAUpdateController* const updatecontroller;
    QPointer<QWidget> appsWindow;
    // The configuration assistant's start, the application delegate's
    // strategies tab and main toolbar. Unset hooks are skipped with a log line.
    std::function<void()> startWizard;
    std::function<void()> startPresetsWizard;
    std::function<void()> showMainToolbar;

    // The version the filter extension must have.
    const QString currentKextVersion = QStringLiteral("2.1.0");
    static constexpr int maxStartupCount = 6;
    static constexpr double startupSleep = 1.0;
    int startupCount() const { return m_startupCount; }

    bool isUninstalling() const { return m_isUninstalling; }
    void setIsUninstalling(bool value) { m_isUninstalling = value; }

    // The views of the interface file. The status view is meant to be placed
    // in the main window's status sheet (reparent it; it is then that
    // window's); the start panel is a window of its own.
    QWidget* startPanel() const;
    QLabel* startPanelString() const;
    QProgressBar* startSpinner() const;
    QWidget* statusView() const;
    QLabel* ledFilter() const;
    QLabel* labelFilter() const;
    QLabel* ledLogs() const;
    QLabel* labelLogs() const;
    QLabel* ledHelper() const;
    QLabel* labelHelper() const;
    QLabel* ledBoot() const;
    QLabel* labelBoot() const;

    const QIcon& green() const { return m_green; }
    const QIcon& red() const { return m_red; }
    const QIcon& yellow() const { return m_yellow; }
    static constexpr int lightSize = 16;

    const Alert& welcomeAlert() const { return m_welcomeAlert; }
    void awakeFromNib();

    // The readiness check: up to maxStartupCount attempts, startupSleep
    // seconds apart on the shared clock, with the event loop running between
    // them. `completion` gets whether the installation is ready, on the main
    // thread; a ready installation answers before this returns. A wrong
    // extension version answers false at once and leaves the start panel up.
    // The attempt count is never reset: a second call in the same process
    // makes no attempt.
    void palisorAgentIsReadyToStart(std::function<void(bool ready)> completion);
    bool filterKextIsUpToDate();

    // Each logs what it found.
    bool filterKextIsInstalled();
    bool filterKextIsRunning();
    bool daemonIsInstalled();
    bool daemonIsRunning();
    bool bootScriptsAreInstalled();

    void updateStatusView();

    // First run, when the configuration file is missing after "startAgent".
    void startWelcome();
    void popWelcomeViewAttachedToWindow(QWidget* window);
    // The auto-update question, once per user, on the apps window; `then`
    // runs once it is answered (at once when it is not asked).
    void popUpdateAlertsIfNeeded(std::function<void()> then = {});

public slots:
    void doUpdateStatus();

private:
    void m_attempt(const std::function<void(bool)>& completion);
    bool m_attemptPasses();
    void m_retry(const std::function<void(bool)>& completion);
    void m_giveUp(const std::function<void(bool)>& completion);
    void m_bringStartPanelToFront(bool topmost);
    void m_setLight(QLabel* led, const QIcon& image);
    void m_loadPreset(const QString& name);
    void m_welcomeAnswer(int response);

    QScopedPointer<Ui::PAInstallerStartPanel> m_startUi;
    QScopedPointer<Ui::PAInstallerStatusView> m_statusUi;
    QPointer<QWidget> m_startPanel;
    QPointer<QWidget> m_statusView;
    QIcon m_green;
    QIcon m_red;
    QIcon m_yellow;
    Alert m_welcomeAlert;
    TimerRef m_retryTimer;
    int m_startupCount = 0;
    bool m_isUninstalling = false;
};
