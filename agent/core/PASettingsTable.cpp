#include "core/PASettingsTable.h"

#include "core/PAPreferenceTable.h"

#include <QCoreApplication>
#include <QThread>

PASettingsTable& PASettingsTable::shared()
{
    static PASettingsTable table;
    return table;
}

QMetaObject::Connection PASettingsTable::follow(QObject* context, std::initializer_list<const char*> names,
                                                std::function<void()> then)
{
    QStringList followed;
    for (const char* name : names)
        followed << QLatin1String(name);
    return connect(&shared(), &PASettingsTable::settingChanged, context,
                   [followed, then = std::move(then)](const QString& name) {
                       if (followed.contains(name))
                           then();
                   });
}

bool PASettingsTable::isStatusSwitch(const QString& name)
{
    for (const char* status : {isLocked.name(), firewallEnabled.name(), debugMode.name(),
                               isNotifyWindowOpen.name(), wizardIsRunning.name()})
        if (name == QLatin1String(status))
            return true;
    return false;
}

void PASettingsTable::m_announce(const QString& name)
{
    emit settingChanged(name);
    if (isStatusSwitch(name))
        emit statusSwitchesChanged();
}

void PASettings::announceChange(const char* name)
{
    const QString key = QLatin1String(name);
    // Receivers connected without a context object run where the signal is
    // emitted: always the main thread, as the settings' readers expect.
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread()) {
        QMetaObject::invokeMethod(
            app, [key] { PASettingsTable::shared().m_announce(key); }, Qt::QueuedConnection);
        return;
    }
    PASettingsTable::shared().m_announce(key);
}
