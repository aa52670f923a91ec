#include "core/AgentLog.h"

Q_LOGGING_CATEGORY(lcStart, "palisor.start", QtInfoMsg)
Q_LOGGING_CATEGORY(lcConfiguration, "palisor.configuration", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDaemon, "palisor.daemon", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAlert, "palisor.alert", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLogFile, "palisor.logfile", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWindows, "palisor.windows", QtInfoMsg)
Q_LOGGING_CATEGORY(lcConnections, "palisor.connections", QtInfoMsg)
