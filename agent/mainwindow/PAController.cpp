#include "PAController.h"

#include "CommandRunner.h"
#include "PAConfiguration.h"
#include "PASystemUsers.h"
#include "Resources.h"
#include "SharedState.h"

#include <QPointer>

namespace {

bool hasMatchBeginningWith(const PAApplication& app, QChar first)
{
    for (const QString& match : app.appMatches())
        if (match.startsWith(first))
            return true;
    return false;
}

// An app put into the ask state without setRule(): its matches, quiet period
// and timers stay.
void applyAskState(PAApplication& app)
{
    app.setAppIsBlockedOrAllowed(4);
    app.setAppIsYellow(true);
    app.setAppIsBlocked(false);
    app.setAppLabelColor(labelColor4());
    app.setAppRedShadow(false);
    app.setAppGreenShadow(false);
}

} // namespace

PAController::PAController(QObject* parent)
    : QObject(parent)
    , appsLibraryController(new ArrayController<PAApplication>(this))
{
    appsLibraryController->setContent(&appsLibrary);
}

PAController::~PAController() = default;

void PAController::awakeFromNib()
{
    NotificationCenter& center = appNotificationCenter();
    center.addObserver(QStringLiteral("copyArrayAppLibrary"), this,
                       [this](const NotificationCenter::Notification&) { copyArrayAppLibrary(); });
    center.addObserver(QStringLiteral("sendConfiguration"), this,
                       [this](const NotificationCenter::Notification&) { sendConfiguration(); });
    center.addObserver(QStringLiteral("silenceNotifications"), this,
                       [this](const NotificationCenter::Notification&) { silenceNotifications(); });
    center.addObserver(QStringLiteral("reenableNotifications"), this,
                       [this](const NotificationCenter::Notification&) { reenableNotifications(); });
    center.addObserver(QStringLiteral("expireApp"), this,
                       [this](const NotificationCenter::Notification& n) { expireApp(n.userInfo); });
    systemUsersList = PASystemUsers().systemUsers();
}

void PAController::setStyle(const QString& style)
{
    windowStyle = style == QLatin1String("mini") ? QStringLiteral("mini") : QStringLiteral("normal");
    m_hideSystemBinariesIfWanted();
    emit styleChanged();
}

void PAController::m_hideSystemBinariesIfWanted()
{
    if (hideSystemBinaries)
        appsLibraryController->setFilterPredicate([](const PAApplication& app) { return !app.appIsSystemBinary(); });
}

void PAController::updateToolbarLeds()
{
    m_notificationsLedTitle =
        enableNotifications ? QStringLiteral("NOTIFICATIONS ENABLED") : QStringLiteral("NOTIFICATIONS DISABLED");
    m_notificationsLedImage = enableNotifications ? QStringLiteral("NSStatusAvailable") : QStringLiteral("NSStatusUnavailable");
    m_loggingLedTitle = activateLogging ? QStringLiteral("LOGGING ENABLED") : QStringLiteral("LOGGING DISABLED");
    m_loggingLedImage = activateLogging ? QStringLiteral("NSStatusAvailable") : QStringLiteral("NSStatusUnavailable");
    m_logSectionTitle = activateLogging ? QStringLiteral("Recent Apps Connections")
                                        : QStringLiteral("Recent Apps Connections (Disabled)");
    emit toolbarLedsChanged();
}

void PAController::updateColorsInPopover()
{
    emit labelColorsChanged();
}

void PAController::updateAllAppsLabelsColors()
{
    for (const auto& app : sharedAppsLibrary) {
        switch (app->appIsBlockedOrAllowed()) {
        case 1:
            app->setAppLabelColor(labelColor1());
            break;
        case 2:
            app->setAppLabelColor(labelColor2());
            break;
        case 3:
            app->setAppLabelColor(labelColor3());
            break;
        case 4:
            app->setAppLabelColor(labelColor4());
            break;
        default:
            app->setAppLabelColor(labelColor0());
            break;
        }
    }
}

void PAController::selectIconsStyle()
{
    const bool alternate = userDefaults().boolForKey(QStringLiteral("UseAlternateIcons"));
    passedUpImage() = Resources::requiredImage(alternate ? QStringLiteral("altpassedup") : QStringLiteral("passedup"));
    blockedUpImage() =
        Resources::requiredImage(alternate ? QStringLiteral("altblockedup") : QStringLiteral("blockedup"));
}

void PAController::removeAllXPCServices()
{
    if (isNotifyWindowOpen)
        return;
    const auto snapshot = appsLibrary;
    for (const auto& app : snapshot)
        if (app->appPath().contains(QLatin1String(".xpc/Contents")))
            appsLibraryController->removeObject(app);
    publishAppsLibrary();
}

void PAController::copyArrayAppLibrary()
{
    if (sharedAppsLibrary.empty())
        return;
    appsLibraryController->insertObject(sharedAppsLibrary.front(), 0);
    m_hideSystemBinariesIfWanted();
}

void PAController::sendConfiguration()
{
    sendConfigurationToDaemon();
}

void PAController::silenceNotifications()
{
    if (!enableNotifications)
        return;
    makeYellowAppsTurnGreenButPreserveAllMatches();
    enableNotifications = false;
    sendConfigurationToDaemon();
    updateToolbarLeds();
}

void PAController::reenableNotifications()
{
    if (enableNotifications)
        return;
    turnAllAppsWithMatchesFromGreenToYellow();
    enableNotifications = true;
    sendConfigurationToDaemon();
    updateToolbarLeds();
}

void PAController::makeYellowAppsTurnGreenButPreserveAllMatches()
{
    for (const auto& app : appsLibrary) {
        if (app->appIsBlockedOrAllowed() != 4)
            continue;
        app->setAppMatchesBackup(app->appMatches());
        app->setRule(hasMatchBeginningWith(*app, QLatin1Char('#')) ? 2 : 0);
    }
}

void PAController::turnAllAppsWithMatchesFromGreenToYellow()
{
    for (const auto& app : appsLibrary)
        if (hasMatchBeginningWith(*app, QLatin1Char('@')) && hasMatchBeginningWith(*app, QLatin1Char('#')))
            applyAskState(*app);
}

void PAController::expireApp(const QVariantMap& userInfo)
{
    const QVariant nameValue = userInfo.value(QStringLiteral("appName"));
    const std::optional<QString> appName =
        nameValue.typeId() == QMetaType::QString ? std::optional<QString>(nameValue.toString()) : std::nullopt;
    QPointer<PAController> self(this);
    synchronizedQueue().asyncBarrier([self, appName] {
        if (!self)
            return;
        if (appName) {
            for (const auto& app : self->appsLibrary) {
                if (app->appName() != *appName)
                    continue;
                if (app->timer())
                    app->timer()->invalidate();
                app->setAppHasTimer(false);
                if (enableNotifications)
                    applyAskState(*app);
                else
                    self->appsLibraryController->removeObject(app);
                break;
            }
        }
        sharedAppsLibrary = self->appsLibrary;
        if (self->paconfiguration)
            self->paconfiguration->sendConf();
    });
}

void PAController::publishAppsLibrary()
{
    QPointer<PAController> self(this);
    synchronizedQueue().asyncBarrier([self] {
        if (!self)
            return;
        sharedAppsLibrary = self->appsLibrary;
        if (self->paconfiguration)
            self->paconfiguration->sendConf();
    });
}

void PAController::sendConfigurationToDaemon()
{
    QPointer<PAController> self(this);
    synchronizedQueue().asyncBarrier([self] {
        if (self && self->paconfiguration)
            self->paconfiguration->sendConf();
    });
}

QString PAController::eseguiShellCommand(const QString& launchPath, const QStringList& argomenti)
{
    return CommandRunner::shared().run(launchPath, argomenti);
}

QString PAController::doScript(const QString& command)
{
    return CommandRunner::shared().doShellScript(command, false);
}

QString PAController::doAScript(const QString& command)
{
    return CommandRunner::shared().doShellScript(command, true);
}
