#include "support/PrivateBus.h"

#include <QDeadlineTimer>

PrivateBus::PrivateBus()
{
    m_daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                   QStringLiteral("--print-address")});
    if (!m_daemon.waitForStarted(5000))
        return;
    QDeadlineTimer deadline(5000);
    while (!m_daemon.canReadLine() && !deadline.hasExpired())
        m_daemon.waitForReadyRead(100);
    m_address = m_daemon.readLine().trimmed();
    m_hadAddress = qEnvironmentVariableIsSet("PALISOR_DBUS_ADDRESS");
    m_previousAddress = qgetenv("PALISOR_DBUS_ADDRESS");
    if (!m_address.isEmpty())
        qputenv("PALISOR_DBUS_ADDRESS", m_address);
}

PrivateBus::~PrivateBus()
{
    if (m_hadAddress)
        qputenv("PALISOR_DBUS_ADDRESS", m_previousAddress);
    else
        qunsetenv("PALISOR_DBUS_ADDRESS");
    m_daemon.kill();
    m_daemon.waitForFinished(5000);
}
