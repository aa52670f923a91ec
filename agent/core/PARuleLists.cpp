#include "core/PARuleLists.h"

#include "core/SharedState.h"

#include <utility>

PARuleLists::PARuleLists(QObject* parent)
    : QObject(parent)
{
}

void PARuleLists::replaceApps(Apps apps)
{
    sharedAppsLibrary = std::move(apps);
    emit appsReplaced();
}

void PARuleLists::insertApp(const std::shared_ptr<PAApplication>& app)
{
    sharedAppsLibrary.insert(sharedAppsLibrary.begin(), app);
    emit appInserted(app);
}

void PARuleLists::publishApps(const Apps& apps)
{
    sharedAppsLibrary = apps;
}

void PARuleLists::replaceExclusions(Exclusions exclusions)
{
    exclusionsList = std::move(exclusions);
    emit exclusionsReplaced();
}

void PARuleLists::replaceRecords(Records records)
{
    recordsList = std::move(records);
    emit recordsReplaced();
}

void PARuleLists::publishRecords(const Records& records)
{
    recordsList = records;
}
