#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class PAController;
class PAPreferencesController;

// The live connections log's controller. The list and its window arrive with
// the connection reports; the logging switch is here.
class PAConnectionController : public QObject
{
    Q_OBJECT

public:
    explicit PAConnectionController(PAPreferencesController& preferences, QObject* parent = nullptr);

    PAPreferencesController* const preferencescontroller;

    // Applies activateLogging: the preferences' log options follow it and the
    // daemon is asked to load or unload the connection-report extension.
    void loggingControl();
    void loadKext();
    void unloadKext();
    void postKextNotification(const QString& name);
};
