#pragma once

#include "platform/DistributedNotificationCenter.h"

#include <QList>
#include <QMutex>

#include <memory>
#include <vector>

// A distributed centre for unit tests: keeps every post for the test to
// inspect, and hands each post at once to its own matching observers, so a
// test can post as the daemon would.
class RecordingDistributedCenter : public DistributedNotificationCenter
{
public:
    struct Post
    {
        QString name;
        QString object;
        QVariantMap userInfo;
        int options = 0;
    };

    void postNotificationName(const QString& name, const QString& object, const QVariantMap& userInfo = {},
                              int options = 0) override;
    ObserverToken addObserver(const QString& name, const QString& object, Handler handler) override;
    void removeObserver(ObserverToken token) override;

    QList<Post> posts() const;
    // The names posted, in order: what most tests compare.
    QStringList postedNames() const;
    void clear();

private:
    struct Observer;

    mutable QMutex m_mutex;
    QList<Post> m_posts;
    ObserverToken m_nextToken = 1;
    std::vector<std::shared_ptr<Observer>> m_observers;
};

// Puts a recording centre in place as the default centre for its lifetime,
// then restores the D-Bus one.
class ScopedRecordingDistributedCenter
{
public:
    ScopedRecordingDistributedCenter();
    ~ScopedRecordingDistributedCenter();
    ScopedRecordingDistributedCenter(const ScopedRecordingDistributedCenter&) = delete;
    ScopedRecordingDistributedCenter& operator=(const ScopedRecordingDistributedCenter&) = delete;

    RecordingDistributedCenter& center() { return m_center; }
    RecordingDistributedCenter* operator->() { return &m_center; }

private:
    RecordingDistributedCenter m_center;
};
