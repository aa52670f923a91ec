#pragma once

#include <QByteArray>
#include <QProcess>

// A dbus-daemon of the test's own, so nothing reaches the real buses. While
// it lives the variable named (PALISOR_DBUS_ADDRESS unless said otherwise,
// none for nullptr) points at it, so distributed-notification centres made
// meanwhile post and listen there.
class PrivateBus
{
public:
    explicit PrivateBus(const char* addressVariable = "PALISOR_DBUS_ADDRESS");
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool isRunning() const { return !m_address.isEmpty(); }
    const QByteArray& address() const { return m_address; }

private:
    QProcess m_daemon;
    QByteArray m_address;
    const char* m_addressVariable;
    bool m_hadAddress = false;
    QByteArray m_previousAddress;
};
