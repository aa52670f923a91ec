#include "daemonlink/PARequestRoad.h"

#include "core/AgentLog.h"
#include "platform/MainQueue.h"
#include "platform/SerialQueue.h"

#include <utility>

quint32 requestTagCounter = 1;

namespace {

PARequestRoad* g_current = nullptr;

} // namespace

PARequestRoad::PARequestRoad(SerialQueue& queue, PARequestAlerts& alerts, QObject* parent)
    : QObject(parent)
    , m_queue(queue)
    , m_alerts(alerts)
{
    g_current = this;
}

PARequestRoad::~PARequestRoad()
{
    if (g_current == this)
        g_current = nullptr;
}

PARequestRoad* PARequestRoad::current()
{
    return g_current;
}

void PARequestRoad::run(const std::function<void()>& handle)
{
    m_queue.suspend();
    beginRequest(QString());
    if (handle)
        handle();
    if (m_holdsQueue && (m_openTag.isEmpty() || !m_alerts.contains(m_openTag)))
        endWithoutAlert();
}

QString PARequestRoad::takeTag()
{
    if (requestTagCounter == 999999)
        requestTagCounter = 1;
    ++requestTagCounter;
    return QString::number(requestTagCounter);
}

void PARequestRoad::open(const QString& tag, std::shared_ptr<QObject> alert)
{
    beginRequest(tag);
    m_alerts.insert(tag, std::move(alert));
}

void PARequestRoad::beginRequest(const QString& tag)
{
    m_openTag = tag;
    m_holdsQueue = true;
    m_answered = false;
}

void PARequestRoad::endWithoutAlert()
{
    m_openTag.clear();
    if (m_holdsQueue) {
        m_holdsQueue = false;
        m_queue.resume();
    }
}

void PARequestRoad::end(const QString& tag)
{
    // The entry may be the last reference to the controller that is calling;
    // let it finish before it goes.
    if (m_alerts.contains(tag))
        MainQueue::async([alert = m_alerts.take(tag)] {});
    if (!m_holdsQueue || tag != m_openTag) {
        qCWarning(lcDaemon, "[PALISOR AGENT] request %s is not the open one; the queue is left as it is",
                  qUtf8Printable(tag));
        return;
    }
    m_openTag.clear();
    m_holdsQueue = false;
    m_queue.resume();
}

bool PARequestRoad::claimAnswer(const QString& tag)
{
    if (!m_holdsQueue || tag != m_openTag || m_answered)
        return false;
    m_answered = true;
    return true;
}
