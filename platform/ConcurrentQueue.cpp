#include "platform/ConcurrentQueue.h"

#include "platform/Log.h"

#include <QThreadPool>

#include <exception>

struct ConcurrentQueue::State
{
    QString label;
    QThreadPool pool;
};

ConcurrentQueue::ConcurrentQueue(QString label, int maxThreads)
    : m_state(std::make_unique<State>())
{
    m_state->label = std::move(label);
    m_state->pool.setObjectName(m_state->label);
    if (maxThreads > 0)
        m_state->pool.setMaxThreadCount(maxThreads);
    else if (m_state->pool.maxThreadCount() < 4)
        // Look-ups mostly wait on the network or on other programs; a few
        // threads more than cores keeps one slow whois from holding the rest.
        m_state->pool.setMaxThreadCount(4);
}

ConcurrentQueue::~ConcurrentQueue()
{
    m_state->pool.waitForDone();
}

const QString& ConcurrentQueue::label() const
{
    return m_state->label;
}

void ConcurrentQueue::async(WorkItem item)
{
    const QString label = m_state->label;
    m_state->pool.start([label, item = std::move(item)] {
        try {
            item();
        } catch (const std::exception& e) {
            qCWarning(lcQueues, "%s: work item ended with an exception: %s", qUtf8Printable(label), e.what());
        } catch (...) {
            qCWarning(lcQueues, "%s: work item ended with an exception", qUtf8Printable(label));
        }
    });
}

bool ConcurrentQueue::waitForDone(int milliseconds)
{
    return m_state->pool.waitForDone(milliseconds);
}
