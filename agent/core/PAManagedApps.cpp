#include "core/PAManagedApps.h"

#include "core/PAConfiguration.h"
#include "core/PARuleLists.h"
#include "core/SharedState.h"
#include "platform/SerialQueue.h"

#include <QPointer>

#include <algorithm>

PAManagedApps::PAManagedApps(PARuleLists& lists, PAConfiguration& configuration, SerialQueue& queue,
                             QObject* parent)
    : QObject(parent)
    , appsLibraryController(new ArrayController<PAApplication>(this))
    , m_lists(lists)
    , m_configuration(configuration)
    , m_queue(queue)
{
    appsLibraryController->setContent(&appsLibrary);
    // The window's list follows the shared one wherever that changes.
    connect(&m_lists, &PARuleLists::appsReplaced, this, &PAManagedApps::m_followSharedApps);
    connect(&m_lists, &PARuleLists::appInserted, this, &PAManagedApps::copyArrayAppLibrary);
}

std::shared_ptr<PAApplication> PAManagedApps::singleSelectedApp() const
{
    const auto selected = appsLibraryController->selectedObjects();
    return selected.size() == 1 ? selected.front() : nullptr;
}

bool PAManagedApps::contains(const std::shared_ptr<PAApplication>& app) const
{
    return app && std::find(appsLibrary.begin(), appsLibrary.end(), app) != appsLibrary.end();
}

void PAManagedApps::publishAppsLibrary()
{
    QPointer<PAManagedApps> self(this);
    m_queue.asyncBarrier([self] {
        if (!self)
            return;
        self->m_lists.publishApps(self->appsLibrary);
        self->m_configuration.sendConf();
    });
}

void PAManagedApps::sendConfigurationToDaemon()
{
    QPointer<PAManagedApps> self(this);
    m_queue.asyncBarrier([self] {
        if (self)
            self->m_configuration.sendConf();
    });
}

void PAManagedApps::hideSystemBinariesIfWanted()
{
    if (hideSystemBinaries)
        appsLibraryController->setFilterPredicate(
            [](const PAApplication& app) { return !app.appIsSystemBinary(); });
}

void PAManagedApps::m_followSharedApps()
{
    appsLibraryController->setContent(nullptr);
    appsLibrary.clear();
    appsLibraryController->setContent(&appsLibrary);
    if (sharedAppsLibrary.empty())
        return;
    // One arrangement for the whole list rather than one per app; the view
    // ends as adding them one by one leaves it, with the last app selected.
    const std::vector<std::shared_ptr<PAApplication>> apps = sharedAppsLibrary;
    appsLibraryController->addObjects(apps);
    if (appsLibraryController->selectsInsertedObjects())
        appsLibraryController->setSelectedObjects({apps.back()});
}

void PAManagedApps::copyArrayAppLibrary()
{
    if (sharedAppsLibrary.empty())
        return;
    appsLibraryController->insertObject(sharedAppsLibrary.front(), 0);
    hideSystemBinariesIfWanted();
}
