#include "app/PAInstaller.h"

#include "core/AgentLog.h"
#include "core/PAConfiguration.h"
#include "core/SharedState.h"
#include "platform/Installation.h"
#include "platform/MainQueue.h"
#include "platform/Resources.h"
#include "platform/widgets/WindowPlacement.h"
#include "setup/PAPresetsController.h"
#include "setup/PAUpdateController.h"
#include "ui_PAInstallerStartPanel.h"
#include "ui_PAInstallerStatusView.h"

#include <QApplication>

#include <cstdlib>

namespace {

QIcon requiredSystemImage(const char* name)
{
    const QIcon image = Resources::systemImage(QString::fromLatin1(name));
    if (image.isNull()) {
        qCCritical(lcStart, "[PALISOR AGENT] required image \"%s\" is missing from %s", name,
                   qUtf8Printable(Resources::resourcesPath()));
        std::abort();
    }
    return image;
}

} // namespace

PAInstaller::PAInstaller(PAConfiguration& configuration, PAUpdateController& updates, QObject* parent)
    : QObject(parent)
    , palisorconfiguration(&configuration)
    , updatecontroller(&updates)
    , m_startUi(new Ui::PAInstallerStartPanel)
    , m_statusUi(new Ui::PAInstallerStatusView)
    , m_green(requiredSystemImage("NSStatusAvailable"))
    , m_red(requiredSystemImage("NSStatusUnavailable"))
    , m_yellow(requiredSystemImage("NSStatusPartiallyAvailable"))
{
    m_startPanel = new QWidget(nullptr, Qt::SplashScreen);
    m_startUi->setupUi(m_startPanel);
    m_statusView = new QWidget;
    m_statusUi->setupUi(m_statusView);
    connect(m_statusUi->updateStatusButton, &QPushButton::clicked, this, &PAInstaller::doUpdateStatus);
    awakeFromNib();
}

PAInstaller::~PAInstaller()
{
    if (m_retryTimer)
        m_retryTimer->invalidate();
    delete m_startPanel.data();
    // Once placed in the status sheet the view belongs to that window.
    if (m_statusView && !m_statusView->parentWidget())
        delete m_statusView.data();
}

QWidget* PAInstaller::startPanel() const
{
    return m_startPanel;
}
QLabel* PAInstaller::startPanelString() const
{
    return m_startPanel ? m_startUi->startPanelString : nullptr;
}
QProgressBar* PAInstaller::startSpinner() const
{
    return m_startPanel ? m_startUi->startSpinner : nullptr;
}
QWidget* PAInstaller::statusView() const
{
    return m_statusView;
}
QLabel* PAInstaller::ledFilter() const
{
    return m_statusView ? m_statusUi->ledFilter : nullptr;
}
QLabel* PAInstaller::labelFilter() const
{
    return m_statusView ? m_statusUi->labelFilter : nullptr;
}
QLabel* PAInstaller::ledLogs() const
{
    return m_statusView ? m_statusUi->ledLogs : nullptr;
}
QLabel* PAInstaller::labelLogs() const
{
    return m_statusView ? m_statusUi->labelLogs : nullptr;
}
QLabel* PAInstaller::ledHelper() const
{
    return m_statusView ? m_statusUi->ledHelper : nullptr;
}
QLabel* PAInstaller::labelHelper() const
{
    return m_statusView ? m_statusUi->labelHelper : nullptr;
}
QLabel* PAInstaller::ledBoot() const
{
    return m_statusView ? m_statusUi->ledBoot : nullptr;
}
QLabel* PAInstaller::labelBoot() const
{
    return m_statusView ? m_statusUi->labelBoot : nullptr;
}

void PAInstaller::awakeFromNib()
{
    m_welcomeAlert = Alert{};
    m_welcomeAlert.buttons = QStringList{QStringLiteral("Run Configuration Assistant"),
                                         QStringLiteral("Choose Configuration Strategy")};
    m_welcomeAlert.messageText = QStringLiteral("Firewall Configuration");
    m_welcomeAlert.informativeText =
        QStringLiteral(
            "Run the Assistant to configure Palisor firewall step by step or choose your favourite "
            "configuration strategy between a list of predefined presets. Later you will be able to "
            "restart the Assistant, to choose a different strategy or to configure the firewall "
            "manually.") +
        QStringLiteral("\n\n") +
        QStringLiteral("Please choose how you want to configure the application-layer firewall. ");
    m_welcomeAlert.icon = QStringLiteral("palisor");
}

// ---- Readiness check ------------------------------------------------------

void PAInstaller::palisorAgentIsReadyToStart(std::function<void(bool ready)> completion)
{
    qCInfo(lcStart).noquote() << "[PALISOR AGENT] Starting Palisor Agent";
    if (displaySplashScreenAtStart) {
        if (QLabel* text = startPanelString())
            text->setText(QStringLiteral("Starting Palisor Agent..."));
        if (QProgressBar* spinner = startSpinner())
            spinner->setRange(0, 0);
        m_bringStartPanelToFront(false);
    }
    centerOnScreen(m_startPanel);
    m_attempt(completion);
}

void PAInstaller::m_attempt(const std::function<void(bool)>& completion)
{
    if (m_startupCount > maxStartupCount - 1) {
        m_giveUp(completion);
        return;
    }
    qCInfo(lcStart).noquote()
        << QStringLiteral("[PALISOR AGENT] checking if Palisor is installed... (%1)").arg(m_startupCount);
    if (!m_attemptPasses()) {
        m_retry(completion);
        return;
    }
    qCInfo(lcStart).noquote() << "[PALISOR AGENT] Palisor is installed";
    if (!filterKextIsUpToDate()) {
        // A wrong version will not mend itself by waiting; the panel stays up
        // until the caller ends the agent.
        if (completion)
            completion(false);
        return;
    }
    if (m_startPanel)
        m_startPanel->close();
    if (completion)
        completion(true);
}

bool PAInstaller::m_attemptPasses()
{
    return filterKextIsInstalled() && filterKextIsRunning() && daemonIsRunning() && bootScriptsAreInstalled();
}

void PAInstaller::m_retry(const std::function<void(bool)>& completion)
{
    qCInfo(lcStart).noquote() << "[PALISOR AGENT] retrying...";
    // Waiting on the clock rather than sleeping keeps the event loop turning,
    // so the panel paints and queued main-thread work runs meanwhile.
    QPointer<PAInstaller> self(this);
    m_retryTimer = Clock::shared().scheduledTimer(startupSleep, false, [self, completion] {
        if (!self)
            return;
        self->m_retryTimer.reset();
        ++self->m_startupCount;
        self->m_bringStartPanelToFront(true);
        if (self->m_startupCount < maxStartupCount)
            self->m_attempt(completion);
        else
            self->m_giveUp(completion);
    });
}

void PAInstaller::m_giveUp(const std::function<void(bool)>& completion)
{
    if (m_startPanel)
        m_startPanel->close();
    if (QLabel* text = startPanelString())
        text->setText(QStringLiteral("Please wait..."));
    qCInfo(lcStart).noquote() << "[PALISOR AGENT] Error, Palisor is not installed correctly...";
    if (completion)
        completion(false);
}

void PAInstaller::m_bringStartPanelToFront(bool topmost)
{
    if (!m_startPanel)
        return;
    // Changing the flags hides a window; show it again afterwards.
    if (topmost && !(m_startPanel->windowFlags() & Qt::WindowStaysOnTopHint))
        m_startPanel->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    m_startPanel->show();
    m_startPanel->raise();
}

bool PAInstaller::filterKextIsUpToDate()
{
    qCInfo(lcStart).noquote() << "[PALISOR AGENT] checking if filter kext is up to date...";
    if (!Installation::filterKextBundleExists()) {
        qCInfo(lcStart).noquote() << "[PALISOR AGENT] ERROR! filter kext not found when checking version";
        return false;
    }
    const std::optional<QString> version = Installation::filterKextVersion();
    if (!version) {
        qCInfo(lcStart).noquote() << "[PALISOR AGENT] ERROR! filter kext plist not found";
        return false;
    }
    if (*version == currentKextVersion) {
        qCInfo(lcStart).noquote()
            << QStringLiteral("[PALISOR AGENT] filter kext is up to date: found version -%1-").arg(*version);
        return true;
    }
    qCInfo(lcStart).noquote() << "[PALISOR AGENT] filter kext is old";
    return false;
}

// ---- The single checks ----------------------------------------------------

bool PAInstaller::filterKextIsInstalled()
{
    const bool installed = Installation::filterKextIsInstalled();
    qCInfo(lcStart).noquote() << (installed ? "[PALISOR AGENT] filter kext found"
                                            : "[PALISOR AGENT] filter kext not found");
    return installed;
}

bool PAInstaller::filterKextIsRunning()
{
    const bool running = Installation::filterKextIsLoaded();
    qCInfo(lcStart).noquote() << (running ? "[PALISOR AGENT] filter kext running"
                                          : "[PALISOR AGENT] filter kext not running");
    return running;
}

bool PAInstaller::daemonIsInstalled()
{
    return Installation::daemonIsInstalled();
}

bool PAInstaller::daemonIsRunning()
{
    const bool running = Installation::daemonIsRunning();
    qCInfo(lcStart).noquote() << (running ? "[PALISOR AGENT] daemon is running"
                                          : "[PALISOR AGENT] daemon is not running");
    return running;
}

bool PAInstaller::bootScriptsAreInstalled()
{
    const bool installed = Installation::daemonLaunchPlistIsInstalled();
    qCInfo(lcStart).noquote() << (installed ? "[PALISOR AGENT] boot scripts installed"
                                            : "[PALISOR AGENT] boot scripts not installed");
    return installed;
}

// ---- Status lights --------------------------------------------------------

void PAInstaller::m_setLight(QLabel* led, const QIcon& image)
{
    if (led)
        led->setPixmap(image.pixmap(lightSize, lightSize));
}

void PAInstaller::updateStatusView()
{
    if (filterKextIsRunning()) {
        m_setLight(ledFilter(), m_green);
        if (QLabel* label = labelFilter())
            label->setText(QStringLiteral("Network kernel extension loaded"));
    } else if (filterKextIsInstalled()) {
        m_setLight(ledFilter(), m_yellow);
        if (QLabel* label = labelFilter())
            label->setText(QStringLiteral("Network kernel extension not loaded"));
    } else {
        m_setLight(ledFilter(), m_red);
        if (QLabel* label = labelFilter())
            label->setText(QStringLiteral("Network kernel extension not installed"));
    }

    if (daemonIsRunning()) {
        m_setLight(ledHelper(), m_green);
        if (QLabel* label = labelHelper())
            label->setText(QStringLiteral("Daemon is running"));
    } else if (daemonIsInstalled()) {
        m_setLight(ledHelper(), m_yellow);
        if (QLabel* label = labelHelper())
            label->setText(QStringLiteral("Daemon not running"));
    } else {
        m_setLight(ledHelper(), m_red);
        if (QLabel* label = labelHelper())
            label->setText(QStringLiteral("Daemon not installed"));
    }

    if (bootScriptsAreInstalled()) {
        m_setLight(ledBoot(), m_green);
        if (QLabel* label = labelBoot())
            label->setText(QStringLiteral("Palisor boot scripts installed"));
    } else {
        m_setLight(ledBoot(), m_red);
        if (QLabel* label = labelBoot())
            label->setText(QStringLiteral("Palisor boot scripts not installed"));
    }
}

void PAInstaller::doUpdateStatus()
{
    updateStatusView();
}

// ---- First run ------------------------------------------------------------

void PAInstaller::startWelcome()
{
    popWelcomeViewAttachedToWindow(appsWindow);
}

void PAInstaller::m_loadPreset(const QString& name)
{
    // The daemon link is already up, so a connection alert may hold the
    // queue; the preset then loads once the alert is answered.
    PAPresetsController::loadPresetFromBundle(palisorconfiguration, name,
                                              PAPresetsController::HeldLoad::Queue);
}

void PAInstaller::popWelcomeViewAttachedToWindow(QWidget* window)
{
    if (appsWindow) {
        appsWindow->show();
        appsWindow->raise();
        appsWindow->activateWindow();
    }
    m_loadPreset(QStringLiteral("preset1"));
    // The welcome follows the update question, as it would a modal one; the
    // window-modal question leaves the request road free meanwhile.
    QPointer<PAInstaller> self(this);
    QPointer<QWidget> sheetWindow(window);
    popUpdateAlertsIfNeeded([self, sheetWindow] {
        if (!self)
            return;
        if (self->showMainToolbar)
            self->showMainToolbar();
        else
            qCInfo(lcStart).noquote() << "[PALISOR AGENT] no main toolbar to show";
        if (self->appsWindow)
            self->appsWindow->activateWindow();
        AlertPresenter::shared().beginSheet(self->m_welcomeAlert, sheetWindow, [self](AlertResult result) {
            MainQueue::async([self, response = result.response] {
                if (self)
                    self->m_welcomeAnswer(response);
            });
        });
    });
}

void PAInstaller::m_welcomeAnswer(int response)
{
    if (response == AlertFirstButtonReturn) {
        if (startWizard)
            startWizard();
        else
            qCInfo(lcStart).noquote() << "[PALISOR AGENT] no configuration assistant to start";
    } else if (response == AlertSecondButtonReturn) {
        m_loadPreset(QStringLiteral("preset0"));
        if (startPresetsWizard)
            startPresetsWizard();
        else
            qCInfo(lcStart).noquote() << "[PALISOR AGENT] no strategies view to show";
    }
}

void PAInstaller::popUpdateAlertsIfNeeded(std::function<void()> then)
{
    if (userDefaults().contains(QStringLiteral("autoupdate"))) {
        if (then)
            then();
        return;
    }
    Alert alert;
    alert.messageText = QStringLiteral("Do you want Palisor to automatically check for updates?");
    alert.informativeText = QStringLiteral(
        "If you choose 'No' then you will be able to enable auto-updates later from Palisor Preferences. If "
        "you "
        "choose 'yes' Palisor will automatically check for updates at application launch and every 12 hours. "
        "According to your Palisor settings, you may need to explicitly allow these Palisor connections.");
    alert.buttons = QStringList{QStringLiteral("Yes"), QStringLiteral("No")};
    QPointer<PAInstaller> self(this);
    AlertPresenter::shared().beginSheet(alert, appsWindow, [self, then](AlertResult result) {
        if (!self)
            return;
        if (result.response == AlertFirstButtonReturn) {
            autoupdate = true;
            QPointer<PAUpdateController> updater = self->updatecontroller;
            MainQueue::async([updater] {
                if (updater)
                    updater->startAutoUpdateTimer();
                else
                    qCInfo(lcStart).noquote()
                        << "[PALISOR AGENT] no update controller; automatic checks not started";
            });
        } else {
            autoupdate = false;
        }
        // "autoupdate" records that the question was answered; "autoUpdate" is
        // the setting the next launch reads, so the answer holds from then on.
        userDefaults().setBool(autoupdate, QStringLiteral("autoupdate"));
        userDefaults().setBool(autoupdate, QStringLiteral("autoUpdate"));
        if (then)
            then();
    });
}
