#pragma once

#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>

class QObject;

// In-process notifications between windows. Delivery is synchronous, on the
// posting thread, in the order observers were added; the object is always nil
// (observers match on the name alone).
class NotificationCenter
{
public:
    struct Notification
    {
        QString name;
        QVariantMap userInfo;
    };
    using Handler = std::function<void(const Notification&)>;
    using ObserverToken = quint64;

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    ObserverToken addObserver(const QString& name, Handler handler);
    // The observer goes away with `context`, so a destroyed window is never called.
    ObserverToken addObserver(const QString& name, QObject* context, Handler handler);
    void removeObserver(ObserverToken token);

    // An observer removed by an earlier observer of the same post is not called.
    void post(const QString& name, const QVariantMap& userInfo = {});

private:
    struct State;
    std::shared_ptr<State> m_state;
};
