#pragma once

#include "platform/DistributedNotificationCenter.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QMutex>
#include <QObject>

#include <atomic>
#include <memory>
#include <vector>

// The distributed centre over D-Bus. Posts go on the session bus, or on the
// system bus with PostToAllSessions; observers hear both. When
// PALISOR_DBUS_ADDRESS is set (read once, at construction) that one bus
// replaces both. A bus that cannot be reached is logged once and its posts
// are dropped.
class DBusDistributedNotificationCenter : public QObject, public DistributedNotificationCenter
{
    Q_OBJECT

public:
    // Needs the application object: handlers run on its (the main) thread.
    DBusDistributedNotificationCenter();
    ~DBusDistributedNotificationCenter() override;

    void postNotificationName(const QString& name, const QString& object, const QVariantMap& userInfo = {},
                              int options = 0) override;
    void postNotificationData(const QString& name, const QString& object, const QByteArray& userInfo,
                              int options = 0) override;
    ObserverToken addObserver(const QString& name, const QString& object, Handler handler) override;
    void removeObserver(ObserverToken token) override;
    void flush() override;

private Q_SLOTS:
    void m_receivePost(const QString& name, const QString& object, const QByteArray& userInfo);

private:
    struct Bus;
    struct Observer;

    std::unique_ptr<Bus> m_openBus(QDBusConnection connection, const QString& label);
    // The bus a post goes on, or nullptr (logged once) when it is gone.
    Bus* m_busFor(int options);
    void m_send(Bus* bus, const QString& name, const QString& object, const QByteArray& userInfo);
    void m_dropOversizedUserInfo(const QString& name, qsizetype bytes);

    // Every bus listened on; the session and system pointers say where posts
    // go (the same bus with PALISOR_DBUS_ADDRESS).
    std::vector<std::unique_ptr<Bus>> m_buses;
    Bus* m_sessionBus = nullptr;
    Bus* m_systemBus = nullptr;
    QString m_privateConnectionName;

    QMutex m_mutex;
    ObserverToken m_nextToken = 1;
    std::vector<std::shared_ptr<Observer>> m_observers;

    // Oversized userInfos are reported at most once a minute (main thread only).
    QElapsedTimer m_oversizeLogTimer;
    int m_oversizedSinceLog = 0;
};
