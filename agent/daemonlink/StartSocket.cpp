#include "daemonlink/StartSocket.h"

#include "daemonlink/managesocketagent.h"

StartSocket::StartSocket(managesocketagent& endpoint, QObject* parent)
    : QObject(parent)
    , mymanagesocketagent(endpoint)
{
}

void StartSocket::runSocketLoop()
{
    mymanagesocketagent.openandreadsocketagent();
}

void StartSocket::prepare()
{
    managesocketagent::prepareSocket();
}

void StartSocket::start()
{
    // A plain pointer: the loop checks under its own lock that the endpoint
    // still exists, which a guarded pointer read on that thread could not.
    managesocketagent* endpoint = &mymanagesocketagent;
    recvDaemonQueue().async([endpoint] { managesocketagent::openandreadsocketagentOf(endpoint); });
}
