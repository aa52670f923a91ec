#include "platform/DistributedNotificationCenter.h"

#include "platform/DBusDistributedNotificationCenter.h"

#include <atomic>

namespace {

std::atomic<DistributedNotificationCenter*> g_replacement{nullptr};

DistributedNotificationCenter& dbusCenter()
{
    // Never destroyed: tearing down D-Bus connections after the application
    // object is gone, at exit, is not safe, and the process ends anyway.
    static DBusDistributedNotificationCenter* const center = new DBusDistributedNotificationCenter;
    return *center;
}

} // namespace

DistributedNotificationCenter& DistributedNotificationCenter::defaultCenter()
{
    if (DistributedNotificationCenter* replacement = g_replacement.load())
        return *replacement;
    return dbusCenter();
}

void DistributedNotificationCenter::setDefaultCenter(DistributedNotificationCenter* center)
{
    g_replacement.store(center);
}
