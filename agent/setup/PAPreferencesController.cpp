#include "setup/PAPreferencesController.h"

#include "core/SharedState.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/widgets/PopUpButton.h"
#include "platform/widgets/RadioMatrix.h"

namespace {

constexpr int kDeliverToAllSessions =
    DistributedNotificationCenter::DeliverImmediately | DistributedNotificationCenter::PostToAllSessions;

} // namespace

PAPreferencesController::PAPreferencesController(QObject* parent)
    : QObject(parent)
{
}

void PAPreferencesController::updatePreferencesGUI()
{
    if (logTimeoutSlider)
        logTimeoutSlider->setValue(static_cast<int>(connectionsTTL));
    if (logTimeoutLabel)
        logTimeoutLabel->setText(QString::number(static_cast<int>(connectionsTTL)));
    if (logToFile)
        logToFile->setChecked(loggaSuFile);
    emit preferencesChanged();
}

void PAPreferencesController::sendToDaemonManageRootOption()
{
    DistributedNotificationCenter::defaultCenter().postNotificationName(
        QStringLiteral("rootPermissions"), QStringLiteral("zz.tolvane"),
        QVariantMap{{QStringLiteral("prefsBlockRoot"), prefsBlockRoot.value()}}, kDeliverToAllSessions);
}

void PAPreferencesController::sendToDaemonManageXPCOption()
{
    DistributedNotificationCenter::defaultCenter().postNotificationName(
        QStringLiteral("xpcOption"), QStringLiteral("zz.tolvane"),
        QVariantMap{{QStringLiteral("automaticXPC"), automaticXPC.value()}}, kDeliverToAllSessions);
}

void PAPreferencesController::m_setNotificationsOptionsEnabled(bool enabled)
{
    if (popSoundBtn)
        popSoundBtn->setEnabled(enabled);
    if (soundMenuBtn)
        soundMenuBtn->setEnabled(enabled);
    if (notificationsTimeoutSlider)
        notificationsTimeoutSlider->setEnabled(enabled);
    if (timeoutMatrix)
        for (int row = 0; row < timeoutMatrix->numberOfRows(); ++row)
            timeoutMatrix->setRowEnabled(row, enabled);
}

void PAPreferencesController::enableNotificationsOption()
{
    m_setNotificationsOptionsEnabled(true);
}

void PAPreferencesController::disableNotificationsOption()
{
    m_setNotificationsOptionsEnabled(false);
}

void PAPreferencesController::m_setLogsOptionsEnabled(bool enabled)
{
    if (logTimeoutSlider)
        logTimeoutSlider->setEnabled(enabled);
    if (logToFile)
        logToFile->setEnabled(enabled);
}

void PAPreferencesController::enableLogsOptions()
{
    m_setLogsOptionsEnabled(true);
}

void PAPreferencesController::disableLogsOptions()
{
    m_setLogsOptionsEnabled(false);
}

void PAPreferencesController::changeLogsTimeout(int seconds)
{
    connectionsTTL = seconds;
    if (logTimeoutLabel)
        logTimeoutLabel->setText(QString::number(seconds));
}
