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
    // A plain pointer: the loop checks under its own lock that the endpoint
    // still exists, which a guarded pointer read on that thread could not.
    managesocketagent* endpoint = mymanagesocketagent.data();
    if (!endpoint)
        return;
    recvDaemonQueue().async([endpoint] { managesocketagent::openandreadsocketagentOf(endpoint); });
}
