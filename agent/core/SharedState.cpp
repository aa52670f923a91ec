#include "core/SharedState.h"

#include "core/PARuleLists.h"

#include "platform/Resources.h"
#include "platform/SystemColors.h"


SerialQueue& synchronizedQueue()
{
    static SerialQueue queue(QStringLiteral("SynchronizedNotification"));
    return queue;
}

ConcurrentQueue& findFlagQueue()
{
    static ConcurrentQueue queue(QStringLiteral("findFlag"));
    return queue;
}

ConcurrentQueue& mostraQueue()
{
    static ConcurrentQueue queue(QStringLiteral("mostraQueue"));
    return queue;
}

NotificationCenter& appNotificationCenter()
{
    static NotificationCenter center;
    return center;
}

UserDefaults& userDefaults()
{
    return UserDefaults::standardUserDefaults();
}

std::vector<std::shared_ptr<PAApplication>> sharedAppsLibrary;
std::vector<std::shared_ptr<PAExclusion>> exclusionsList;
std::vector<std::shared_ptr<PAManagedRecords>> recordsList;

PARuleLists& ruleLists()
{
    static PARuleLists lists;
    return lists;
}

std::vector<std::shared_ptr<TLService>> tolvaneServices;
QList<Identity> systemUsersList;

QIcon& passedUpImage()
{
    static QIcon image = Resources::requiredImage(QStringLiteral("passedup"));
    return image;
}

QIcon& blockedUpImage()
{
    static QIcon image = Resources::requiredImage(QStringLiteral("blockedup"));
    return image;
}

QColor& labelColor0()
{
    static QColor color = QColor::fromRgbF(0.0f, 0.8f, 0.0f, 1.0f);
    return color;
}

QColor& labelColor1()
{
    static QColor color = SystemColors::red();
    return color;
}

QColor& labelColor2()
{
    static QColor color = SystemColors::orange();
    return color;
}

QColor& labelColor3()
{
    static QColor color = SystemColors::magenta();
    return color;
}

QColor& labelColor4()
{
    static QColor color = SystemColors::labelColor();
    return color;
}

QString configurationVersion;
double notificationWindowHeight = 175.0;
QString presetName;
QString presetDescription;
QString presetLocationID;
QString presetLocationName;
QString windowStyle = QStringLiteral("normal");
double xoffset = 0.0;
double yoffset = 0.0;
QString soundName = QStringLiteral("Bottle");

QColor& notificationBackgroundColor()
{
    static QColor color = SystemColors::windowBackgroundColor();
    return color;
}

bool enableNotifications = false;
int notificationDefaultChoice = 0;
int notificationDefaultTime = 10;
double notificationsTimeOut = 60.0;
double quietTime = 20.0;
double quietMaxTime = 60.0;
int quietButtonState = 0;
bool reverseIPAddressInAppsPopover = true;
bool displayAlertWhenSwitchingLocationAwarenessPreset = true;
bool prefsBlockRoot = true;
double connectionsTTL = 30.0;
bool activateLogging = false;
bool autoupdate = false;
bool popSound = true;
bool passAppWhenNotificationExpires = true;
bool passOrBlockTemp = true;
bool automaticXPC = true;
bool loggaSuFile = false;
bool isLocked = false;
bool hideSystemBinaries = false;
bool verifySignatures = false;
bool enableTolvaneInteraction = false;
bool showMoreOptions = false;
int selectedActionRow = 0;
bool displaySplashScreenAtStart = true;
int dbPurgeOption = 0;
bool displayAppRulePopoverBackground = true;
int actionTab = 1;
int currentTheme = 2;
bool firewallEnabled = true;
bool debugMode = false;
bool isNotifyWindowOpen = false;
bool wizardIsRunning = false;
bool skipSaveOnQuit = false;
