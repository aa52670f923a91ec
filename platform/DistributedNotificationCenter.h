#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <functional>

// Notifications between processes and sessions (the daemon, the kernel
// extension loader, the sibling firewall). On Linux one D-Bus signal:
// path "/zz/tolvane/DistributedNotifications", interface
// "zz.tolvane.DistributedNotifications", member "Post", arguments
// (s name, s object, ay userInfo) with userInfo a binary plist dictionary
// (no bytes for none).
class DistributedNotificationCenter
{
public:
    enum Option {
        DeliverImmediately = 1,
        PostToAllSessions = 2,
    };

    struct Notification
    {
        QString name;
        QString object;
        QVariantMap userInfo;
    };
    using Handler = std::function<void(const Notification&)>;
    using ObserverToken = quint64;

    virtual ~DistributedNotificationCenter() = default;

    // The largest userInfo a post can carry. D-Bus refuses an array longer
    // than 64 MiB (and a message past 128 MiB; the other arguments are
    // short), and libdbus aborts the sender instead of returning an error,
    // so a post is measured before it is made.
    static constexpr qsizetype kMaxUserInfoBytes = qsizetype(64) * 1024 * 1024;
    static bool userInfoFits(qsizetype bytes) { return bytes <= kMaxUserInfoBytes; }

    // PostToAllSessions puts the signal on the system bus, otherwise it goes on
    // the session bus; PALISOR_DBUS_ADDRESS, when set, replaces both. A
    // userInfo that does not fit is logged and not posted.
    virtual void postNotificationName(const QString& name, const QString& object,
                                      const QVariantMap& userInfo = {}, int options = 0) = 0;

    // The same post with its userInfo already the bytes of a binary property
    // list dictionary (none for no userInfo), for a sender that writes them
    // without a value tree. The D-Bus centre sends them as they are; any
    // other centre reads them back and posts as postNotificationName().
    virtual void postNotificationData(const QString& name, const QString& object, const QByteArray& userInfo,
                                      int options = 0);

    // An empty name or object matches any. Handlers run on the main thread.
    virtual ObserverToken addObserver(const QString& name, const QString& object, Handler handler) = 0;
    virtual void removeObserver(ObserverToken token) = 0;

    // Blocks until everything posted so far has reached the bus (before exit).
    virtual void flush() {}

    // The centre the agent posts through; tests put a recording one in place.
    static DistributedNotificationCenter& defaultCenter();
    // nullptr restores the D-Bus centre. The caller keeps ownership.
    static void setDefaultCenter(DistributedNotificationCenter* center);
};
