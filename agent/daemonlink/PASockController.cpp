#include "daemonlink/PASockController.h"

#include "core/SharedState.h"
#include "platform/Clock.h"
#include "platform/MainQueue.h"

#include <QPointer>
#include <QTcpSocket>

#include <memory>
#include <utility>

#ifndef PALISOR_WHOIS_HOST
#define PALISOR_WHOIS_HOST "whois.ripe.net"
#endif

PASockController::PASockController(QObject* parent)
    : QObject(parent)
    , m_responseString(QStringLiteral("1"))
    , m_host(QStringLiteral(PALISOR_WHOIS_HOST))
    , m_port(kWhoisPort)
{
}

void PASockController::setServer(const QString& host, quint16 port)
{
    m_host = host;
    m_port = port;
}

void PASockController::checkWhois()
{
    MainQueue::async([self = QPointer<PASockController>(this)] {
        if (self)
            self->m_startProbe();
    });
}

// The name is resolved and the connection opened by the socket on the main
// event loop, which goes on turning meanwhile; whichever comes first of the
// connection, its failure and the time-out ends the probe, once.
void PASockController::m_startProbe()
{
    // A probe under way has not connected yet.
    m_responseString = QStringLiteral("1");

    auto* socket = new QTcpSocket(this);
    auto finished = std::make_shared<bool>(false);
    auto timeout = std::make_shared<TimerRef>();
    const QPointer<PASockController> self(this);
    const QPointer<QTcpSocket> guardedSocket(socket);
    auto finish = [self, guardedSocket, finished, timeout](bool connected) {
        if (*finished)
            return;
        *finished = true;
        // The timer's action holds this very lambda: let go of the timer so
        // that neither keeps the other alive.
        invalidateTimer(std::exchange(*timeout, nullptr));
        if (guardedSocket) {
            guardedSocket->disconnect();
            guardedSocket->close();
            guardedSocket->deleteLater();
        }
        if (!self)
            return;
        self->m_responseString = connected ? QStringLiteral("2") : QStringLiteral("1");
        appNotificationCenter().post(QStringLiteral("startwhoisquery"));
    };
    connect(socket, &QTcpSocket::connected, this, [finish] { finish(true); });
    connect(socket, &QTcpSocket::errorOccurred, this, [finish] { finish(false); });
    *timeout = Clock::shared().scheduledTimer(kProbeSeconds, false, [finish] { finish(false); });
    socket->connectToHost(m_host, m_port);
}
