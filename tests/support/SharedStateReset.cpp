#include "support/SharedStateReset.h"

#include "core/PAApplication.h"
#include "core/PAExclusion.h"
#include "core/PAManagedRecords.h"
#include "core/SharedState.h"
#include "platform/SystemColors.h"

void resetSharedState()
{
    sharedAppsLibrary.clear();
    exclusionsList.clear();
    recordsList.clear();
    tolvaneServices.clear();
    systemUsersList.clear();

    labelColor0() = QColor::fromRgbF(0.0f, 0.8f, 0.0f, 1.0f);
    labelColor1() = SystemColors::red();
    labelColor2() = SystemColors::orange();
    labelColor3() = SystemColors::magenta();
    labelColor4() = SystemColors::labelColor();
    notificationBackgroundColor() = SystemColors::windowBackgroundColor();

    configurationVersion.clear();
    notificationWindowHeight = 175.0;
    presetName.clear();
    presetDescription.clear();
    presetLocationID.clear();
    presetLocationName.clear();
    windowStyle = QStringLiteral("normal");
    xoffset = 0.0;
    yoffset = 0.0;
    soundName = QStringLiteral("Bottle");

    enableNotifications = false;
    notificationDefaultChoice = 0;
    notificationDefaultTime = 10;
    notificationsTimeOut = 60.0;
    quietTime = 20.0;
    quietMaxTime = 60.0;
    quietButtonState = 0;
    reverseIPAddressInAppsPopover = true;
    displayAlertWhenSwitchingLocationAwarenessPreset = true;
    prefsBlockRoot = true;
    connectionsTTL = 30.0;
    activateLogging = false;
    autoupdate = false;
    popSound = true;
    passAppWhenNotificationExpires = true;
    passOrBlockTemp = true;
    automaticXPC = true;
    loggaSuFile = false;
    isLocked = false;
    hideSystemBinaries = false;
    verifySignatures = false;
    enableTolvaneInteraction = false;
    showMoreOptions = false;
    selectedActionRow = 0;
    displaySplashScreenAtStart = true;
    dbPurgeOption = 0;
    displayAppRulePopoverBackground = true;
    actionTab = 1;
    currentTheme = 2;
    firewallEnabled = true;
    debugMode = false;
    isNotifyWindowOpen = false;
    wizardIsRunning = false;
    skipSaveOnQuit = false;
}
