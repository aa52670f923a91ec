#pragma once

#include <QLoggingCategory>

// The agent's areas; the handler is the platform's (platform/Log.h).
Q_DECLARE_LOGGING_CATEGORY(lcStart)         // launch, readiness, delegate
Q_DECLARE_LOGGING_CATEGORY(lcConfiguration) // loading, writing, presets, settings
Q_DECLARE_LOGGING_CATEGORY(lcDaemon)        // daemon socket and request road
Q_DECLARE_LOGGING_CATEGORY(lcAlert)         // connection alerts
Q_DECLARE_LOGGING_CATEGORY(lcLogFile)       // the agent's own log file
Q_DECLARE_LOGGING_CATEGORY(lcWindows)       // main window, set-up windows, updates
Q_DECLARE_LOGGING_CATEGORY(lcConnections)   // the connections log
