#include "StartSocket.h"

#include "managesocketagent.h"

StartSocket::StartSocket(QObject* parent)
    : QObject(parent)
{
}

void StartSocket::runSocketLoop()
{
    if (mymanagesocketagent)
        mymanagesocketagent->openandreadsocketagent();
}

void StartSocket::start()
{
    QPointer<managesocketagent> endpoint = mymanagesocketagent;
    recvDaemonQueue().async([endpoint] {
        if (endpoint)
            endpoint->openandreadsocketagent();
    });
}
