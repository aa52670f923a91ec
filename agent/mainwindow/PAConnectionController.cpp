#include "mainwindow/PAConnectionController.h"

#include "core/SharedState.h"
#include "daemonlink/Socketcon.h"
#include "mainwindow/PAConnection.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/Installation.h"
#include "setup/PAPreferencesController.h"

PAConnectionController::PAConnectionController(PAPreferencesController& preferences, QObject* parent)
    : QObject(parent)
    , preferencescontroller(&preferences)
{
}

void PAConnectionController::startReadConnection()
{
    if (mysocketcon)
        mysocketcon->start();
}

bool PAConnectionController::connKextIsRunning() const
{
    return Installation::connectionKextIsLoaded();
}

void PAConnectionController::loggingControl()
{
    if (activateLogging) {
        preferencescontroller->enableLogsOptions();
        postKextNotification(QStringLiteral("loadKext"));
    } else {
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
        name, QStringLiteral("zz.tolvane.palisorconnkext"),
        QVariantMap{{QStringLiteral("kextPath"), QString()}},
        DistributedNotificationCenter::DeliverImmediately | DistributedNotificationCenter::PostToAllSessions);
}

void PAConnectionController::addConnection(PAConnection* connection)
{
    connection->setParent(nullptr);
    m_connections.emplace_back(connection);
}

void PAConnectionController::scrollToLastConnection()
{
}
