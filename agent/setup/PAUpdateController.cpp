#include "setup/PAUpdateController.h"

#include "core/AgentLog.h"

#include <QPointer>

namespace {

constexpr double kAutoCheckInterval = 43200.0;

} // namespace

PAUpdateController::PAUpdateController(QObject* parent)
    : QObject(parent)
{
}

PAUpdateController::~PAUpdateController()
{
    stopAutoUpdateTimer();
}

void PAUpdateController::checkForUpdates(bool userAsked)
{
    // The request to the version file belongs to the update window; until it
    // is there a check only announces itself.
    ++m_checksStarted;
    emit checkStarted(userAsked);
}

void PAUpdateController::autoCheck()
{
    qCInfo(lcWindows, "Palisor is automatically checking for updates...");
    checkForUpdates(false);
}

void PAUpdateController::startAutoUpdateTimer()
{
    stopAutoUpdateTimer();
    checkForUpdates(false);
    QPointer<PAUpdateController> self(this);
    autoUpdateTimer = Clock::shared().scheduledTimer(kAutoCheckInterval, true, [self] {
        if (self)
            self->autoCheck();
    });
}

void PAUpdateController::stopAutoUpdateTimer()
{
    if (autoUpdateTimer)
        autoUpdateTimer->invalidate();
    autoUpdateTimer.reset();
}
