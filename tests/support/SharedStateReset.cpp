#include "support/SharedStateReset.h"

#include "core/PAApplication.h"
#include "core/PACountryTable.h"
#include "core/PAExclusion.h"
#include "core/PAManagedRecords.h"
#include "core/SharedState.h"

void resetSharedState()
{
    sharedAppsLibrary.clear();
    exclusionsList.clear();
    recordsList.clear();
    unreadRecords.clear();
    tolvaneServices.clear();
    systemUsersList.clear();
    showHostnames = true;
    logAutoscroll = true;
    PACountryTable::setCountryZones({});

    // Every preference, switch and colour back to its value at start.
    PASettings::reset();
}
