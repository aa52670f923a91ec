#include "helper/HelperController.h"

#include "platform/AlertPresenter.h"
#include "platform/ApplicationLauncher.h"
#include "platform/LinePrinter.h"
#include "platform/LoginItems.h"
#include "platform/Paths.h"
#include "platform/RunningApplications.h"
#include "platform/SessionEvents.h"

bool agentExpected = false;

HelperController::HelperController(const Services& services, QObject* parent)
    : QObject(parent)
    , m_services(services)
{
}

void HelperController::awakeFromNib()
{
    connect(&m_services.sessionEvents, &SessionEvents::sessionDidResignActive, this,
            &HelperController::userLogOut);
    connect(&m_services.sessionEvents, &SessionEvents::sessionDidBecomeActive, this,
            &HelperController::userLogIn);
    startPalisorAgent();
    m_ctimer =
        m_services.clock.scheduledTimer(HelperConstants::checkInterval, true, [this] { checkAgent(); });
}

void HelperController::checkAgent()
{
    if (!agentExpected || m_restartAlertOpen)
        return;
    if (!m_services.applications.withBundleIdentifier(HelperConstants::agentBundleIdentifier).isEmpty())
        return;

    Alert alert;
    alert.messageText = QStringLiteral("Palisor Agent has quit unexpectedly");
    alert.informativeText = QStringLiteral("Click the button below to restart Palisor Agent");
    alert.buttons = {QStringLiteral("Restart Palisor Agent")};
    alert.icon = QStringLiteral("NSCaution");
    m_restartAlertOpen = true;
    m_services.alerts.runModal(alert);
    m_restartAlertOpen = false;
    // The one button, or the alert closed any other way: both restart.
    startPalisorAgent();
}

void HelperController::startPalisorAgent()
{
    if (!m_services.applications.withBundleIdentifier(HelperConstants::agentBundleIdentifier).isEmpty()) {
        agentExpected = true;
        m_services.output.printLine(QStringLiteral("Palisor Agent already running"));
        return;
    }
    m_services.output.printLine(QStringLiteral("Attempting to start Palisor Agent..."));
    m_launchAgent();
}

void HelperController::userLogOut()
{
    m_services.output.printLine(QStringLiteral("Session resign active: quit Palisor Agent"));
    // Before the request: the agent going away now is expected, no restart
    // alert may follow it.
    agentExpected = false;
    for (const RunningApplication& agent :
         m_services.applications.withBundleIdentifier(HelperConstants::agentBundleIdentifier))
        m_services.applications.terminate(agent);
}

void HelperController::userLogIn()
{
    m_services.output.printLine(QStringLiteral("Session become active: start Palisor Agent..."));
    // Without looking first: an agent that is still on its way out would
    // otherwise be taken for a running one.
    m_launchAgent();
}

void HelperController::removeOldLoginItem()
{
    m_services.loginItems.removeLoginItem(QStringLiteral("Palisor"));
}

void HelperController::m_launchAgent()
{
    const bool launched = m_services.launcher.launchApplication(
        Paths::system(HelperConstants::agentInstallPath), HelperConstants::launchOptions,
        HelperConstants::launchConfiguration);
    if (launched) {
        agentExpected = true;
        m_services.output.printLine(QStringLiteral("...Palisor Agent started"));
    } else {
        // agentExpected stays as it was: after the restart alert the next
        // check offers the restart again; at start or after a session switch
        // nothing is watched until the agent runs.
        m_services.output.printLine(QStringLiteral("...Error starting Palisor Agent"));
    }
}
