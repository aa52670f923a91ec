#pragma once

#include "core/PAApplication.h"
#include "platform/ArrayController.h"

#include <QObject>

#include <memory>
#include <vector>

class PAConfiguration;
class PARuleLists;
class SerialQueue;

// The managed apps as the main window shows them, in list order, and the two
// ways an edit of them reaches the daemon. The list holds the same app
// objects as sharedAppsLibrary and follows it wherever that changes; an edit
// made here becomes the shared list when it is published. Every window that
// edits the managed apps (the apps view, the rules popover) works on this one
// list. Main thread only.
class PAManagedApps : public QObject
{
    Q_OBJECT

public:
    PAManagedApps(PARuleLists& lists, PAConfiguration& configuration, SerialQueue& queue,
                  QObject* parent = nullptr);

    std::vector<std::shared_ptr<PAApplication>> appsLibrary;
    // Between appsLibrary and the apps view: the selection lives here.
    ArrayController<PAApplication>* const appsLibraryController;

    // The one selected app; null when none or several are selected.
    std::shared_ptr<PAApplication> singleSelectedApp() const;
    // Whether `app` is still one of the managed apps (not removed, not
    // replaced by a load).
    bool contains(const std::shared_ptr<PAApplication>& app) const;

    // The two tails of every change of the managed apps, queued behind an
    // open alert and earlier edits: publish copies the list into
    // sharedAppsLibrary before sending; send only sends.
    void publishAppsLibrary();
    void sendConfigurationToDaemon();

    // The apps view leaves system binaries out while the user asks so.
    void hideSystemBinariesIfWanted();
    // A new app first in the shared list goes first in the window's.
    void copyArrayAppLibrary();

private:
    void m_followSharedApps();

    PARuleLists& m_lists;
    PAConfiguration& m_configuration;
    SerialQueue& m_queue;
};
