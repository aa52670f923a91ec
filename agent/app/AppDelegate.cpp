#include "app/AppDelegate.h"

#include "app/PAInstaller.h"
#include "core/AgentLog.h"
#include "core/PAConfiguration.h"
#include "core/PARuleLists.h"
#include "core/SharedState.h"
#include "core/UserDefaultsPalisor.h"
#include "daemonlink/StartSocket.h"
#include "daemonlink/managesocketagent.h"
#include "mainwindow/PAController.h"
#include "platform/AlertPresenter.h"
#include "platform/Authorization.h"
#include "platform/CommandRunner.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/LogFile.h"
#include "platform/MainQueue.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "platform/Resources.h"
#include "platform/SystemVersion.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "platform/widgets/Appearance.h"
#include "setup/PACustomPresetsWindowController.h"
#include "setup/PAPresetsController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QFileInfo>
#include <QStackedWidget>
#include <QStandardPaths>

namespace {

constexpr int kDeliverToAllSessions =
    DistributedNotificationCenter::DeliverImmediately | DistributedNotificationCenter::PostToAllSessions;

} // namespace

AppDelegate::AppDelegate(managesocketagent& endpoint, PAController& palisorController,
                         PAConfiguration& configuration, PAInstaller& installer, StartSocket& startSocket,
                         PAPresetsController& presets, PACustomPresetsWindowController& customPresets,
                         QObject* parent)
    : QObject(parent)
    , mymanagesocketagent(&endpoint)
    , myPalisorController(&palisorController)
    , presetscontroller(&presets)
    , custompresetscontroller(&customPresets)
    , myPAConfiguration(&configuration)
    , palisorInstaller(&installer)
    , myStartSocket(&startSocket)
{
    // Any configuration that loads (at start, an import, a preset) is the
    // user's from then on, and is sent back at the end, even after a refused
    // start-up load.
    connect(&configuration, &PAConfiguration::configurationApplied, this, [] { skipSaveOnQuit = false; });
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::m_post(const char* name, const char* object)
{
    DistributedNotificationCenter::defaultCenter().postNotificationName(
        QLatin1String(name), QLatin1String(object), QVariantMap(), kDeliverToAllSessions);
}

// ---------------------------------------------------------------- launch

void AppDelegate::applicationDidFinishLaunching()
{
    // Until a configuration is loaded there is nothing of the user's to send.
    skipSaveOnQuit = true;
    m_post("startKext", "zz.palisor.start");
    LogFile::reopenStandardError(Paths::home() + QStringLiteral("/Library/Logs/palisor.log"));

    if (checkPalisor()) {
        Alert alert;
        alert.messageText = QStringLiteral("Error");
        alert.informativeText =
            QStringLiteral("Palisor Agent is already running. Click 'OK' to close this alert.");
        AlertPresenter::shared().runModal(alert);
        terminate();
        return;
    }
    emit onlyInstance();
    // The main window's title stays: its bar is the window manager's, which
    // cannot hide a title and shows the program's name for an empty one.
    if (window) {
        if (const std::optional<double> height = UserDefaultsPalisor::realForKey(
                userDefaults(), QStringLiteral("mainWindowHeight"), PARange::windowSize()))
            window->resize(window->width(), static_cast<int>(*height));
    }
    myPAConfiguration->readUserDefaults();
    qCInfo(lcStart).noquote() << "[PALISOR AGENT] checking if Palisor is ready to start...";
    QPointer<AppDelegate> self(this);
    palisorInstaller->palisorAgentIsReadyToStart([self](bool ready) {
        if (self)
            self->readinessChecked(ready);
    });
}

void AppDelegate::readinessChecked(bool ready)
{
    if (ready) {
        qCInfo(lcStart).noquote() << "[PALISOR AGENT] Palisor is ready, starting Palisor!";
        start();
        return;
    }
    qCInfo(lcStart).noquote() << "[PALISOR AGENT] Palisor is not ready to start...";
    checkErrorType();
}

void AppDelegate::checkErrorType()
{
    const std::optional<OperatingSystemVersion> version = SystemVersion::current();
    if (version && SystemVersion::isAtLeast(*version, 10, 13)) {
        qCInfo(lcStart).noquote() << "[PALISOR AGENT] Palisor requires manual authorization";
        popManualAuth();
    } else {
        qCInfo(lcStart).noquote() << "[PALISOR AGENT] Error: Palisor needs reinstall";
        popErrorAlertAndQuit();
    }
}

bool AppDelegate::checkPalisor()
{
    int running = 0;
    for (const RunningApplication& application : Workspace::runningApplications())
        if (application.localizedName == QLatin1String("Palisor"))
            ++running;
    if (running < 2)
        return false;
    if (QWidget* panel = palisorInstaller->startPanel())
        panel->close();
    return true;
}

void AppDelegate::popManualAuth()
{
    Alert alert;
    alert.messageText = QStringLiteral("MANUAL AUTHORIZATION REQUIRED");
    alert.buttons = {QStringLiteral("Authorize Palisor In System Preferences")};
    alert.informativeText = QStringLiteral(
        "Palisor is a security tool and runs on your Mac with administrator privileges. Thus it is important "
        "that "
        "you obtained Palisor installer from a trusted source like Palisor or Tolvane web sites.\nThen you "
        "should "
        "also check Palisor installer certificate validity.\n\nAdditionally, as a security feature, macOS "
        "10.13 High "
        "Sierra and up requires this Mac's administrator to manually authorize third party's security "
        "software like "
        "Palisor.\n\nPlease open macOS 'System Preferences -> Security -> General' and authorize software by "
        "Tolvane "
        "to allow Palisor execution.\nThis operation is required only once. Authorization will persist after "
        "macOS "
        "and Palisor updates or upgrades.\n\nAfter authorization has been granted please restart this "
        "Mac.\nIf this "
        "message persists after authorizing Palisor and after a reboot then please reinstall Palisor.");
    AlertPresenter::shared().runModal(alert);
    for (const RunningApplication& helper :
         Workspace::runningApplicationsWithBundleIdentifier(QStringLiteral("zz.tolvane.Palisor-Helper")))
        Workspace::forceTerminate(helper.pid);
    terminate();
}

void AppDelegate::popErrorAlertAndQuit()
{
    Alert alert;
    alert.messageText = QStringLiteral("ERROR");
    alert.informativeText = QStringLiteral(
        "There may be a problem with Palisor installation. Please uninstall Palisor using the provided "
        "Palisor "
        "Uninstaller found in Palisor Installer DMG disk image, then check for latest Palisor version at "
        "https://www.tolvane.zz and reinstall Palisor.");
    AlertPresenter::shared().runModal(alert);
    terminate();
}

void AppDelegate::getVersion()
{
    const QString infoPath =
        QFileInfo(Resources::resourcesPath() + QStringLiteral("/../Info.plist")).absoluteFilePath();
    const std::optional<QVariant> info = PropertyList::readFile(infoPath);
    const QVariant version =
        info ? info->toMap().value(QStringLiteral("CFBundleShortVersionString")) : QVariant();
    if (version.typeId() != QMetaType::QString)
        return;
    configurationVersion = version.toString();
    if (aboutVersionLabel)
        aboutVersionLabel->setText(QStringLiteral("Version ") + configurationVersion);
}

// ---------------------------------------------------------------- start

void AppDelegate::start()
{
    if (QWidget* toolbar = myPalisorController->mainToolbar())
        toolbar->setVisible(true);
    if (myPalisorController->mainTabView())
        myPalisorController->mainTabView()->setCurrentIndex(0);
    getVersion();
    myPalisorController->drawMenulet();

    // The daemon may ask as soon as the socket exists: its requests wait
    // there, and are read once the rules below have loaded.
    myStartSocket->prepare();

    PAConfiguration* configuration = myPAConfiguration;
    QString path = configuration->confPath();
    if (!QFileInfo::exists(path)) {
        configuration = presetscontroller->palisorconfiguration;
        path = Resources::pathForResource(QStringLiteral("preset0"), QStringLiteral("plist"));
    }
    bool loaded = false;
    synchronizedQueue().syncBarrier([&] { loaded = configuration->loadConf(path); });
    // Only a configuration that really loaded may be sent back at the end.
    skipSaveOnQuit = !loaded;

    myPalisorController->setStyle(windowStyle);
    myStartSocket->start();
    m_post("startAgent", "zz.tolvane.startagent");
    if (!QFileInfo::exists(myPAConfiguration->confPath()))
        palisorInstaller->startWelcome();
    applyTheme();
    myPalisorController->updateMenuletIcon();
    if (QFileInfo::exists(Paths::system(QStringLiteral("/private/tmp/palisordebug"))))
        debugMode = true;
    m_started = true;
    emit started();
}

void AppDelegate::applyTheme()
{
    Appearance::applyTheme(window, currentTheme);
}

// ---------------------------------------------------------------- termination

void AppDelegate::applicationWillTerminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    if (skipSaveOnQuit)
        return;
    {
        // The settings saved here go out in one write of the preferences
        // file, which may be large.
        const UserDefaults::Batch batch(userDefaults());
        myPAConfiguration->writeConf(QStringLiteral("_"), true, true);
        if (window)
            userDefaults().setDouble(window->height(), QStringLiteral("mainWindowHeight"));
    }
}

void AppDelegate::terminate()
{
    applicationWillTerminate();
    DistributedNotificationCenter::defaultCenter().flush();
    // Not quit(): that asks every window to close first, and a dialog with
    // two or more buttons refuses, which would leave the agent running after
    // its configuration was sent. exit() ends every event loop, nested ones
    // included.
    QCoreApplication::exit(0);
}

// ---------------------------------------------------------------- commands

void AppDelegate::enableFirewall()
{
    m_post("startAgent", "zz.tolvane.startagent");
    m_post("startKext", "zz.palisor.start");
    firewallEnabled = true;
    myPalisorController->updateMenuletIcon();
}

void AppDelegate::disableFirewall()
{
    closeAllWindows();
    m_post("stopKext", "zz.palisor.stop");
    firewallEnabled = false;
    myPalisorController->updateMenuletIcon();
}

void AppDelegate::alternateQuitPalisorAgent()
{
    QPointer<AppDelegate> self(this);
    synchronizedQueue().asyncBarrier([self] {
        if (!self)
            return;
        self->m_post("stopKext", "zz.palisor.stop");
        // Quitting is the main thread's; the item ends before it happens.
        MainQueue::async([self] {
            if (self)
                self->terminate();
        });
    });
}

void AppDelegate::lockUnlockFirewall()
{
    QPointer<AppDelegate> self(this);
    synchronizedQueue().asyncBarrier([self] {
        if (!self)
            return;
        if (isLocked) {
            // The authorisation dialog answers later: later items wait behind
            // it, and nothing waits in a nested loop.
            synchronizedQueue().suspend();
            Authorization::shared().requestRight(
                QStringLiteral("zz.tolvane.palisor.unlock"), [self](Authorization::Answer answer) {
                    if (self) {
                        if (answer == Authorization::Answer::Authorised) {
                            isLocked = false;
                            self->myPalisorController->updateMenuletIcon();
                        } else if (answer != Authorization::Answer::Refused) {
                            self->m_showUnlockNotAsked(answer);
                        }
                        self->myPAConfiguration->writeConf(QStringLiteral("_"), true, true);
                    }
                    synchronizedQueue().resume();
                });
            return;
        }
        isLocked = true;
        MainQueue::async([self] {
            if (!self)
                return;
            if (enableNotifications) {
                self->m_showLockWarning();
                return;
            }
            self->closeAllWindows();
            self->myPalisorController->updateMenuletIcon();
        });
        self->myPAConfiguration->writeConf(QStringLiteral("_"), true, true);
    });
}

void AppDelegate::m_showUnlockNotAsked(Authorization::Answer answer)
{
    // A refusal was said by the authentication dialog itself; where nobody
    // could be asked, the unlock would otherwise end in silence.
    Alert alert;
    alert.messageText = QStringLiteral("Palisor stays locked");
    alert.icon = QStringLiteral("NSCaution");
    if (answer == Authorization::Answer::NoAgent)
        alert.informativeText =
            QStringLiteral(
                "No authentication agent answered, so nobody could be asked for an administrator's "
                "password. Start your desktop's polkit authentication agent, or run this in a "
                "terminal, then choose \"Unlock...\" again and answer there:\n\npkttyagent --process %1")
                .arg(QCoreApplication::applicationPid());
    else
        alert.informativeText = QStringLiteral("polkit, which asks for an administrator's password, is not "
                                               "installed or not running, so nobody could be asked.");
    AlertPresenter::shared().beginSheet(alert, window, {});
}

void AppDelegate::m_showLockWarning()
{
    Alert alert;
    alert.messageText = QStringLiteral("Warning");
    alert.informativeText = QStringLiteral("You are about to lock the firewall while notification alerts are "
                                           "enabled. Disable notification alerts?");
    alert.buttons = {QStringLiteral("Disable notification alerts"),
                     QStringLiteral("Keep notification alerts enabled")};
    // On the main window, so that a connection alert can still be answered.
    QPointer<AppDelegate> self(this);
    AlertPresenter::shared().beginSheet(alert, window, [self](AlertResult result) {
        if (!self)
            return;
        if (result.response == AlertFirstButtonReturn)
            self->myPalisorController->silenceNotifications();
        self->closeAllWindows();
        self->myPalisorController->updateMenuletIcon();
    });
}

void AppDelegate::emptyall()
{
    const QString key = QStringLiteral("DoNotDisplayWarningWhenCleaningAllApps");
    if (userDefaults().contains(key) && userDefaults().boolForKey(key)) {
        m_clearAllApps();
        return;
    }
    if (window) {
        window->show();
        window->raise();
        window->activateWindow();
    }
    Alert alert;
    alert.messageText = QStringLiteral("Are you sure?");
    alert.buttons = {QStringLiteral("Clean apps list"), QStringLiteral("Cancel")};
    alert.showsSuppressionButton = true;
    alert.icon = QStringLiteral("NSCaution");
    alert.informativeText = QStringLiteral("Are you sure? This operation will delete all current Palisor "
                                           "apps rules. To store current configuration "
                                           "export it to file or save it as custom preset. ");
    QPointer<AppDelegate> self(this);
    AlertPresenter::shared().beginSheet(alert, window, [self, key](AlertResult result) {
        if (result.suppressionChecked)
            userDefaults().setBool(true, key);
        if (self && result.response == AlertFirstButtonReturn)
            self->m_clearAllApps();
    });
}

void AppDelegate::m_clearAllApps()
{
    ruleLists().replaceApps({});
    mymanagesocketagent->sendsocketagent(QStringLiteral("5"));
}

// The login helper is a systemd user service where the session has one;
// otherwise the helper process itself is started or ended.
void AppDelegate::startHelper()
{
    const QString systemctl = QStandardPaths::findExecutable(QStringLiteral("systemctl"));
    if (!systemctl.isEmpty()) {
        CommandRunner::shared().run(
            systemctl, {QStringLiteral("--user"), QStringLiteral("start"), QLatin1String(kHelperUnit)});
        return;
    }
    Workspace::launchApplication(
        Paths::system(QStringLiteral("/Library/Application Support/Palisor/Palisor-Helper.app")));
}

void AppDelegate::stopHelper()
{
    const QString systemctl = QStandardPaths::findExecutable(QStringLiteral("systemctl"));
    if (!systemctl.isEmpty())
        CommandRunner::shared().run(
            systemctl, {QStringLiteral("--user"), QStringLiteral("stop"), QLatin1String(kHelperUnit)});
    for (const RunningApplication& helper :
         Workspace::runningApplicationsWithBundleIdentifier(QStringLiteral("zz.tolvane.Palisor-Helper")))
        Workspace::terminate(helper.pid);
}

void AppDelegate::closeAllWindows()
{
    QWidget* presets =
        custompresetscontroller->window ? custompresetscontroller->window.data() : customPresetsWindow.data();
    for (QWidget* each : {wizardWindow.data(), window.data(), presets, prefsWindow.data()})
        if (each)
            each->close();
}

void AppDelegate::openCustomPresetsWindow()
{
    if (QWidget* presets = custompresetscontroller->window) {
        presets->show();
        presets->raise();
        presets->activateWindow();
    }
    custompresetscontroller->displayAllCustomPresets();
}

void AppDelegate::startPresetsWizard()
{
    showAppsWindow();
    if (QStackedWidget* tabs = myPalisorController->mainTabView())
        tabs->setCurrentIndex(2);
    if (QButtonGroup* segments = myPalisorController->toolbarControl())
        if (QAbstractButton* strategies = segments->button(2))
            strategies->setChecked(true);
    presetscontroller->strategiesLibraryController->clearSelection();
}

void AppDelegate::showAppsWindow()
{
    myPalisorController->setStyle(windowStyle);
    if (window) {
        window->show();
        window->raise();
        window->activateWindow();
    }
}
