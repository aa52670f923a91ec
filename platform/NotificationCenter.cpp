#include "platform/NotificationCenter.h"

#include <QMutex>
#include <QMutexLocker>
#include <QObject>

#include <atomic>
#include <vector>

namespace {

struct Observer
{
    NotificationCenter::ObserverToken token = 0;
    QString name;
    NotificationCenter::Handler handler;
    QMetaObject::Connection contextConnection;
    // Cleared on removal, so a post that already took its list of observers
    // skips one that an earlier handler removed.
    std::atomic<bool> active{true};
};

} // namespace

struct NotificationCenter::State
{
    QMutex mutex;
    ObserverToken nextToken = 1;
    std::vector<std::shared_ptr<Observer>> observers;

    void remove(ObserverToken token)
    {
        std::shared_ptr<Observer> removed;
        {
            QMutexLocker lock(&mutex);
            for (auto it = observers.begin(); it != observers.end(); ++it) {
                if ((*it)->token == token) {
                    removed = *it;
                    observers.erase(it);
                    break;
                }
            }
        }
        if (!removed)
            return;
        removed->active = false;
        QObject::disconnect(removed->contextConnection);
    }
};

NotificationCenter::NotificationCenter()
    : m_state(std::make_shared<State>())
{
}

NotificationCenter::~NotificationCenter()
{
    // A context that outlives the centre must not call back into it.
    QMutexLocker lock(&m_state->mutex);
    for (const auto& observer : m_state->observers)
        QObject::disconnect(observer->contextConnection);
}

NotificationCenter::ObserverToken NotificationCenter::addObserver(const QString& name, Handler handler)
{
    return addObserver(name, nullptr, std::move(handler));
}

NotificationCenter::ObserverToken NotificationCenter::addObserver(const QString& name, QObject* context,
                                                                  Handler handler)
{
    auto observer = std::make_shared<Observer>();
    observer->name = name;
    observer->handler = std::move(handler);
    QMutexLocker lock(&m_state->mutex);
    const ObserverToken token = m_state->nextToken++;
    observer->token = token;
    if (context) {
        // Weak, so a context destroyed after the centre finds nothing to remove.
        std::weak_ptr<State> weakState = m_state;
        observer->contextConnection = QObject::connect(context, &QObject::destroyed, [weakState, token] {
            if (const std::shared_ptr<State> state = weakState.lock())
                state->remove(token);
        });
    }
    m_state->observers.push_back(std::move(observer));
    return token;
}

void NotificationCenter::removeObserver(ObserverToken token)
{
    m_state->remove(token);
}

void NotificationCenter::post(const QString& name, const QVariantMap& userInfo)
{
    std::vector<std::shared_ptr<Observer>> matching;
    {
        QMutexLocker lock(&m_state->mutex);
        for (const auto& observer : m_state->observers) {
            if (observer->name == name)
                matching.push_back(observer);
        }
    }
    // Handlers run without the lock: they may add or remove observers and post.
    const Notification notification{name, userInfo};
    for (const auto& observer : matching) {
        if (observer->active)
            observer->handler(notification);
    }
}
