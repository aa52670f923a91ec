#include "PAWizardController.h"

#include "AppDelegate.h"
#include "PAConfiguration.h"
#include "PAController.h"
#include "PAExclusion.h"
#include "PAManagedRecords.h"
#include "PAPresetsController.h"
#include "SharedState.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>

#include <cstdio>

namespace {

void logLine(const char* line)
{
    std::fprintf(stderr, "%s\n", line);
    std::fflush(stderr);
}

} // namespace

PAWizardController::PAWizardController(QObject* parent) : QObject(parent)
{}

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
        logLine("[PALISOR AGENT] the configuration assistant is not available");
        return;
    }
    AppDelegate::applyThemeTo(window);
    m_resetAnswers();
    if (!presetscontroller || !presetscontroller->loadPresetFromBundle(QStringLiteral("preset1"))) {
        logLine("[PALISOR AGENT] the configuration assistant did not start: preset1 was not loaded");
        return;
    }
    if (palisorcontroller && palisorcontroller->window())
        palisorcontroller->window()->hide();
    window->show();
    window->raise();
    window->activateWindow();
    m_centreWindow();
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

void PAWizardController::m_centreWindow()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize frame = window->frameGeometry().size();
    window->move(area.x() + (area.width() - frame.width()) / 2,
                 area.y() + (area.height() - frame.height()) / 2);
}
