#pragma once

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QLabel>
#include <QObject>
#include <QPointer>

class PopUpButton;
class RadioMatrix;

// The preferences window's controller. The window's controls arrive with the
// window; what the core asks of it runs without them.
class PAPreferencesController : public QObject
{
    Q_OBJECT

public:
    explicit PAPreferencesController(QObject* parent = nullptr);

    // Outlets of the preferences window.
    QPointer<QAbstractSlider> logTimeoutSlider;
    QPointer<QLabel> logTimeoutLabel;
    QPointer<QAbstractButton> logToFile;
    // Shown while the agent's log has no rotation entry.
    QPointer<QAbstractButton> updateRotationBtn;
    // The alert settings, usable only while alerts are on.
    QPointer<QAbstractButton> popSoundBtn;
    QPointer<PopUpButton> soundMenuBtn;
    QPointer<QAbstractSlider> notificationsTimeoutSlider;
    QPointer<RadioMatrix> timeoutMatrix;

    // Every control shows its module value again.
    void updatePreferencesGUI();
    // "rootPermissions" {"prefsBlockRoot"} and "xpcOption" {"automaticXPC"}
    // to the daemon, at once.
    void sendToDaemonManageRootOption();
    void sendToDaemonManageXPCOption();
    void enableNotificationsOption();
    void disableNotificationsOption();
    void enableLogsOptions();
    void disableLogsOptions();
    // The log time-out slider: whole seconds into connectionsTTL.
    void changeLogsTimeout(int seconds);

signals:
    void preferencesChanged();

private:
    void m_setNotificationsOptionsEnabled(bool enabled);
    void m_setLogsOptionsEnabled(bool enabled);
};
