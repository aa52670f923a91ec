#pragma once

// The agent's module-wide state: the rule lists, the preferences and a few
// shared services, reached by name from every window and controller.
//
// Objects that need the application or the environment to exist (queues,
// centres, defaults, images, colours) are created on first use by a
// thread-safe one-time initialiser and reached through a function of their
// name; plain values and lists are variables that hold their initial value
// from process start.
//
// Threading: the lists and preferences are touched only on the main thread.
// Loads, imports, exports and publishing run as items of synchronizedQueue(),
// whose items run on the main thread one at a time, so they never overlap a
// window's change of the same list and no lock is needed.

#include "platform/ConcurrentQueue.h"
#include "platform/Identities.h"
#include "platform/NotificationCenter.h"
#include "platform/SerialQueue.h"
#include "platform/UserDefaults.h"

#include <QColor>
#include <QIcon>
#include <QString>

#include <memory>
#include <vector>

class PAApplication;
class PAExclusion;
class PAManagedRecords;
class PARuleLists;
class TLService;

// Queues, centre and defaults.
SerialQueue& synchronizedQueue();      // "SynchronizedNotification"
ConcurrentQueue& findFlagQueue();      // "findFlag"
ConcurrentQueue& mostraQueue();        // "mostraQueue"
NotificationCenter& appNotificationCenter();
UserDefaults& userDefaults();

// Rule lists; list order is the daemon's evaluation order. Changed through
// ruleLists(), which tells the windows.
extern std::vector<std::shared_ptr<PAApplication>> sharedAppsLibrary;
extern std::vector<std::shared_ptr<PAExclusion>> exclusionsList;    // Managed Folders
extern std::vector<std::shared_ptr<PAManagedRecords>> recordsList;  // Global Rules
PARuleLists& ruleLists();

// Other lists and images.
extern std::vector<std::shared_ptr<TLService>> tolvaneServices;
extern QList<Identity> systemUsersList;
// Required images: creation stops the process when the resource is missing.
QIcon& passedUpImage();   // "passedup", or "altpassedup" in the alternate style
QIcon& blockedUpImage();  // "blockedup", or "altblockedup"

// Label colours of the rule states 0 to 4.
QColor& labelColor0();
QColor& labelColor1();
QColor& labelColor2();
QColor& labelColor3();
QColor& labelColor4();

// Presentation and preset values.
extern QString configurationVersion;
extern double notificationWindowHeight;
extern QString presetName;
extern QString presetDescription;
extern QString presetLocationID;
extern QString presetLocationName;
extern QString windowStyle;
extern double xoffset;
extern double yoffset;
extern QString soundName;
QColor& notificationBackgroundColor();

// Preferences and switches.
extern bool enableNotifications;
extern int notificationDefaultChoice;
extern int notificationDefaultTime;
extern double notificationsTimeOut;
extern double quietTime;
extern double quietMaxTime;
extern int quietButtonState;
extern bool reverseIPAddressInAppsPopover;
extern bool displayAlertWhenSwitchingLocationAwarenessPreset;
extern bool prefsBlockRoot;
extern double connectionsTTL;
extern bool activateLogging;
extern bool autoupdate;
extern bool popSound;
extern bool passAppWhenNotificationExpires;
extern bool passOrBlockTemp;
extern bool automaticXPC;
extern bool loggaSuFile;
extern bool isLocked;
extern bool hideSystemBinaries;
extern bool verifySignatures;
extern bool enableTolvaneInteraction;
extern bool showMoreOptions;
// The alert's further-choices row the user chose last; the next alert opens
// on it while the further choices are shown.
extern int selectedActionRow;
extern bool displaySplashScreenAtStart;
extern int dbPurgeOption;
extern bool displayAppRulePopoverBackground;
extern int actionTab;
extern int currentTheme;
extern bool firewallEnabled;
extern bool debugMode;

// Set while a connection alert is on screen; commands that would wait on the
// suspended synchronizedQueue do nothing meanwhile.
extern bool isNotifyWindowOpen;
// Set while the configuration assistant runs.
extern bool wizardIsRunning;
// When set, termination sends no configuration to the daemon: set from the
// start of the launch until a configuration has been loaded, so an agent that
// ends before that never replaces the daemon's stored rules with defaults.
extern bool skipSaveOnQuit;
