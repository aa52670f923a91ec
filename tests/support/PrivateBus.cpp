#include "support/PrivateBus.h"

#include <QDeadlineTimer>

PrivateBus::PrivateBus(const char* addressVariable)
    : m_addressVariable(addressVariable)
{
    m_daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                   QStringLiteral("--print-address")});
    if (!m_daemon.waitForStarted(5000))
        return;
    QDeadlineTimer deadline(5000);
    while (!m_daemon.canReadLine() && !deadline.hasExpired())
        m_daemon.waitForReadyRead(100);
    m_address = m_daemon.readLine().trimmed();
    if (!m_addressVariable)
        return;
    m_hadAddress = qEnvironmentVariableIsSet(m_addressVariable);
    m_previousAddress = qgetenv(m_addressVariable);
    if (!m_address.isEmpty())
        qputenv(m_addressVariable, m_address);
}

PrivateBus::~PrivateBus()
{
    if (m_addressVariable && m_hadAddress)
        qputenv(m_addressVariable, m_previousAddress);
    else if (m_addressVariable)
        qunsetenv(m_addressVariable);
    m_daemon.kill();
    m_daemon.waitForFinished(5000);
}
