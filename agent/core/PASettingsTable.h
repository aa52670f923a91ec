#pragma once

#include "core/PASettingValue.h"

#include <QObject>
#include <QString>

#include <functional>
#include <initializer_list>

// The module-wide settings (PAPreferenceTable.h) as one object that says
// when one of them changes, so a view follows a setting instead of being told
// by whoever changed it. Every write that gives a setting a new value signals,
// whether a window, a load, the launch-time read or a reset made it; a write
// of the value already held signals nothing.
//
// Threading: the settings belong to the main thread, and the signals are
// always emitted there; a write from another thread is announced on the main
// thread's next turn.
class PASettingsTable : public QObject
{
    Q_OBJECT

public:
    static PASettingsTable& shared();

    // Runs `then` after each change of one of the named settings (by their
    // `name()`, `isLocked.name()`), while `context` lives.
    static QMetaObject::Connection follow(QObject* context, std::initializer_list<const char*> names,
                                          std::function<void()> then);

    // Whether the setting is one of the switches the status menu shows its
    // items by: isLocked, firewallEnabled, debugMode, isNotifyWindowOpen,
    // wizardIsRunning.
    static bool isStatusSwitch(const QString& name);

signals:
    void settingChanged(const QString& name);
    // After settingChanged, for a status switch. Some tray hosts never report
    // that their menu opens, so the status menu is recomputed on every change.
    void statusSwitchesChanged();

private:
    PASettingsTable() = default;
    void m_announce(const QString& name);

    friend void PASettings::announceChange(const char* name);
};
