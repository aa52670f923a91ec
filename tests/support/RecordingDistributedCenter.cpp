#include "support/RecordingDistributedCenter.h"

#include <QMutexLocker>
#include <QStringList>

struct RecordingDistributedCenter::Observer
{
    ObserverToken token = 0;
    QString name;
    QString object;
    Handler handler;
    bool active = true;
};

void RecordingDistributedCenter::postNotificationName(const QString& name, const QString& object,
                                                      const QVariantMap& userInfo, int options)
{
    std::vector<std::shared_ptr<Observer>> matching;
    {
        QMutexLocker lock(&m_mutex);
        m_posts.append(Post{name, object, userInfo, options});
        for (const auto& observer : m_observers) {
            if ((observer->name.isEmpty() || observer->name == name) &&
                (observer->object.isEmpty() || observer->object == object))
                matching.push_back(observer);
        }
    }
    const Notification notification{name, object, userInfo};
    for (const auto& observer : matching) {
        bool active = false;
        {
            QMutexLocker lock(&m_mutex);
            active = observer->active;
        }
        if (active)
            observer->handler(notification);
    }
}

DistributedNotificationCenter::ObserverToken
RecordingDistributedCenter::addObserver(const QString& name, const QString& object, Handler handler)
{
    QMutexLocker lock(&m_mutex);
    auto observer = std::make_shared<Observer>(Observer{m_nextToken++, name, object, std::move(handler)});
    m_observers.push_back(observer);
    return observer->token;
}

void RecordingDistributedCenter::removeObserver(ObserverToken token)
{
    QMutexLocker lock(&m_mutex);
    std::erase_if(m_observers, [token](const std::shared_ptr<Observer>& observer) {
        if (observer->token != token)
            return false;
        observer->active = false;
        return true;
    });
}

QList<RecordingDistributedCenter::Post> RecordingDistributedCenter::posts() const
{
    QMutexLocker lock(&m_mutex);
    return m_posts;
}

QStringList RecordingDistributedCenter::postedNames() const
{
    QMutexLocker lock(&m_mutex);
    QStringList names;
    for (const Post& post : m_posts)
        names.append(post.name);
    return names;
}

void RecordingDistributedCenter::clear()
{
    QMutexLocker lock(&m_mutex);
    m_posts.clear();
}

ScopedRecordingDistributedCenter::ScopedRecordingDistributedCenter()
{
    DistributedNotificationCenter::setDefaultCenter(&m_center);
}

ScopedRecordingDistributedCenter::~ScopedRecordingDistributedCenter()
{
    DistributedNotificationCenter::setDefaultCenter(nullptr);
}
