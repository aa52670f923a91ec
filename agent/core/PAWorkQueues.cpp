#include "core/PAWorkQueues.h"

PAWorkQueues::PAWorkQueues()
    : m_work(QStringLiteral("work"))
    , m_lookUps(QStringLiteral("lookUps"), kLookUpThreads)
    , m_mostra(QStringLiteral("mostraQueue"))
    , m_findFlag(QStringLiteral("findFlag"))
    , m_connHostnames(QStringLiteral("connHostnames"), 4)
    , m_myOperation(QStringLiteral("myOperationQueue"), 5)
{
}

PAWorkQueues::~PAWorkQueues()
{
    waitForDone();
}

bool PAWorkQueues::waitForDone(int milliseconds)
{
    bool done = true;
    for (ConcurrentQueue* queue :
         {&m_work, &m_lookUps, &m_mostra, &m_findFlag, &m_connHostnames, &m_myOperation})
        done = queue->waitForDone(milliseconds) && done;
    return done;
}
