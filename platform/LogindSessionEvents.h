#pragma once

#include "platform/SessionEvents.h"

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

// Session events from logind (org.freedesktop.login1 on the system bus): this
// session's Active property going false or true. "This session" is
// $XDG_SESSION_ID, else the one logind names for us ("auto": ours, or the
// user's graphical session when we run outside one, as a user service does).
// Without logind (a build machine, a container) one line is logged and no
// event ever comes.
class LogindSessionEvents : public SessionEvents
{
    Q_OBJECT

public:
    explicit LogindSessionEvents(const QDBusConnection& bus = QDBusConnection::systemBus(),
                                 QObject* parent = nullptr);

    // Finds the session and follows it; false (after the one log line) when
    // there is nothing to follow.
    bool start();
    // The session's object path once found.
    const QString& sessionPath() const { return m_sessionPath; }

private slots:
    void m_propertiesChanged(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated);

private:
    bool m_unavailable(const QString& reason);
    std::optional<bool> m_readActive(QString* error = nullptr);
    void m_setActive(bool active);

    QDBusConnection m_bus;
    QString m_sessionPath;
    std::optional<bool> m_active;
};
