#include "PAConnectionController.h"

#include "DistributedNotificationCenter.h"
#include "PAPreferencesController.h"
#include "SharedState.h"

PAConnectionController::PAConnectionController(QObject* parent)
    : QObject(parent)
{
}

void PAConnectionController::loggingControl()
{
    if (activateLogging) {
        if (preferencescontroller)
            preferencescontroller->enableLogsOptions();
        postKextNotification(QStringLiteral("loadKext"));
    } else {
        if (preferencescontroller)
            preferencescontroller->disableLogsOptions();
        postKextNotification(QStringLiteral("unloadKext"));
    }
}

void PAConnectionController::loadKext()
{
    postKextNotification(QStringLiteral("loadKext"));
}

void PAConnectionController::unloadKext()
{
    postKextNotification(QStringLiteral("unloadKext"));
}

void PAConnectionController::postKextNotification(const QString& name)
{
    DistributedNotificationCenter::defaultCenter().postNotificationName(
        name, QStringLiteral("zz.tolvane.palisorconnkext"), QVariantMap{{QStringLiteral("kextPath"), QString()}},
        DistributedNotificationCenter::DeliverImmediately | DistributedNotificationCenter::PostToAllSessions);
}
