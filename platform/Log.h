#pragma once

#include <QLoggingCategory>

// One way for every diagnostic: a category per area, and one handler that
// writes each message as one plain line on standard error, which the agent
// points at its log file. Categories print info and above unless the
// QT_LOGGING_RULES environment variable says otherwise.
Q_DECLARE_LOGGING_CATEGORY(lcQueues)   // queues, main-thread hand-over, clock
Q_DECLARE_LOGGING_CATEGORY(lcPlatform) // resources, sounds, array controllers
Q_DECLARE_LOGGING_CATEGORY(lcBus)      // distributed notifications
Q_DECLARE_LOGGING_CATEGORY(lcDefaults) // user defaults
Q_DECLARE_LOGGING_CATEGORY(lcSession)  // the login session (logind)

namespace Log {

// Installs the handler; every program of the project calls it first thing.
void installMessageHandler();

} // namespace Log
