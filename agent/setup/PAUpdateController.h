#pragma once

#include "platform/Clock.h"

#include <QObject>

// The update check against the maker's version file.
class PAUpdateController : public QObject
{
    Q_OBJECT

public:
    explicit PAUpdateController(QObject* parent = nullptr);
    ~PAUpdateController() override;

    // The repeating 12-hour timer of the automatic check.
    TimerRef autoUpdateTimer;

    // true for a check the user asked for. Returns at once.
    void checkForUpdates(bool userAsked);
    void autoCheck();
    // One silent check, then a check every 12 hours; a timer already running
    // is stopped first, so there is never more than one.
    void startAutoUpdateTimer();
    void stopAutoUpdateTimer();

    int checksStarted() const { return m_checksStarted; }

signals:
    void checkStarted(bool userAsked);

private:
    int m_checksStarted = 0;
};
