#pragma once

#include "platform/Clock.h"

#include <QObject>
#include <QString>
#include <QVariantMap>

class AlertPresenter;
class ApplicationLauncher;
class LinePrinter;
class LoginItems;
class RunningApplications;
class SessionEvents;

// True while the helper watches the agent: it launched it or found it
// running. False when the program starts, false again once the session is
// switched away.
extern bool agentExpected;

namespace HelperConstants {
inline const QString agentBundleIdentifier = QStringLiteral("zz.tolvane.PalisorAgent");
inline const QString agentInstallPath =
    QStringLiteral("/Library/Application Support/Palisor/Agent/Palisor.app");
constexpr double checkInterval = 3.0;
// The asynchronous launch.
constexpr quint32 launchOptions = 0x10000;
inline const QVariantMap launchConfiguration{{QString(""), QString("")}};
} // namespace HelperConstants

// Keeps the agent running in this session: starts it, checks every few
// seconds that it still runs and offers a restart when it has gone, ends it
// when the session is switched away and starts it when the session is back.
class HelperController : public QObject
{
    Q_OBJECT

public:
    // What the helper does to the system, each replaceable in tests.
    struct Services
    {
        RunningApplications& applications;
        ApplicationLauncher& launcher;
        SessionEvents& sessionEvents;
        Clock& clock;
        AlertPresenter& alerts;
        LinePrinter& output;
        LoginItems& loginItems;
    };

    explicit HelperController(const Services& services, QObject* parent = nullptr);

    const TimerRef& ctimer() const { return m_ctimer; }
    void setCtimer(TimerRef timer) { m_ctimer = std::move(timer); }

    // Set-up, called once: follows the session, starts the agent, starts the
    // check timer.
    void awakeFromNib();
    void checkAgent();
    void startPalisorAgent();
    void userLogOut();
    void userLogIn();
    void removeOldLoginItem();

private:
    // Launches the agent from its install path and reports the outcome.
    void m_launchAgent();

    Services m_services;
    TimerRef m_ctimer;
    // A modal alert runs an event loop of its own, in which the check timer
    // still fires: no check runs, and so no second alert opens, until the
    // open one is closed.
    bool m_restartAlertOpen = false;
};
