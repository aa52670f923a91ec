#include "setup/PAWizardController.h"

#include "core/AgentLog.h"
#include "core/PAConfiguration.h"
#include "core/PAExclusion.h"
#include "core/PAManagedRecords.h"
#include "core/SharedState.h"
#include "platform/widgets/Appearance.h"
#include "platform/widgets/WindowPlacement.h"
#include "setup/PAPresetsController.h"

PAWizardController::PAWizardController(PAPresetsController& presets, QObject* parent)
    : QObject(parent)
    , presetscontroller(&presets)
{
}

PAWizardController::~PAWizardController() = default;

void PAWizardController::startWizard()
{
    // The preset load below would wait on the queue that an open alert keeps
    // suspended.
    if (isNotifyWindowOpen)
        return;
    // Without its window the assistant would only hide the main window and
    // leave the user with nothing on screen.
    if (!window) {
        qCInfo(lcWindows).noquote() << "[PALISOR AGENT] the configuration assistant is not available";
        return;
    }
    Appearance::applyTheme(window, currentTheme);
    m_resetAnswers();
    if (!presetscontroller->loadPresetFromBundle(QStringLiteral("preset1"))) {
        qCInfo(lcWindows).noquote()
            << "[PALISOR AGENT] the configuration assistant did not start: preset1 was not loaded";
        return;
    }
    if (appsWindow)
        appsWindow->hide();
    window->show();
    window->raise();
    window->activateWindow();
    centerOnScreen(window);
    wizardIsRunning = true;
}

void PAWizardController::m_resetAnswers()
{
    wizRecords.clear();
    wizAppsLibrary.clear();
    wizardExclusions.clear();
    manageRoot = false;
    hiddenSystemBinaries = false;
    logConnections = false;
    storeLogs = false;
    enableNotif = false;
    notifTimeout = 30.0;
    passExpiredNotif = true;
}
