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

#include "core/PAAppsLibrary.h"
#include "core/PAConfigurationRecords.h"
#include "core/PAPreferenceTable.h"
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

// Queues, centre and defaults. The worker pools are not module-wide: one
// object owns them (PAWorkQueues) and hands them to whoever needs them.
SerialQueue& synchronizedQueue(); // "SynchronizedNotification"
NotificationCenter& appNotificationCenter();
UserDefaults& userDefaults();

// Rule lists; list order is the daemon's evaluation order. Changed through
// ruleLists(), which tells the windows.
extern PAAppsLibrary sharedAppsLibrary;
extern std::vector<std::shared_ptr<PAExclusion>> exclusionsList;   // Managed Folders
extern std::vector<std::shared_ptr<PAManagedRecords>> recordsList; // Global Rules
PARuleLists& ruleLists();
// The loaded configuration's records of kinds this agent does not read,
// written back with it; each load replaces them.
extern std::vector<PAConfigurationRecords::UnreadRecord> unreadRecords;

// Other lists and images.
extern std::vector<std::shared_ptr<TLService>> tolvaneServices;
extern QList<Identity> systemUsersList;
// The connections log: look up host names, and follow each new row. Both
// true at start; main thread only.
extern bool showHostnames;
extern bool logAutoscroll;
// Required images: creation stops the process when the resource is missing.
QIcon& passedUpImage();  // "passedup", or "altpassedup" in the alternate style
QIcon& blockedUpImage(); // "blockedup", or "altblockedup"

// Label colours of the rule states 0 to 4.
QColor& labelColor0();
QColor& labelColor1();
QColor& labelColor2();
QColor& labelColor3();
QColor& labelColor4();
// The label colour of a rule state; a state outside 0 to 4 takes state 0's.
QColor& labelColorOfState(qint64 state);

// The alert's background colour.
QColor& notificationBackgroundColor();

// The preferences, presentation values and switches are the globals of
// PAPreferenceTable.h. Among the switches: isNotifyWindowOpen is set while a
// connection alert is on screen (commands that would wait on the suspended
// synchronizedQueue do nothing meanwhile); wizardIsRunning while the
// configuration assistant runs; skipSaveOnQuit from the start of the launch
// until a configuration has been loaded (at start or any time later), so an agent that ends before that
// never replaces the daemon's stored rules with defaults; selectedActionRow
// is the alert's further-choices row the user chose last.
// PASettingsTable signals every change of their values.
