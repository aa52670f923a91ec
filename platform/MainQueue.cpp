#include "platform/MainQueue.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

namespace {

QCoreApplication* application()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        qCWarning(lcQueues, "MainQueue: no application object; work item dropped");
    return app;
}

} // namespace

bool MainQueue::isMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void MainQueue::async(WorkItem item)
{
    if (QCoreApplication* app = application())
        QMetaObject::invokeMethod(app, std::move(item), Qt::QueuedConnection);
}

void MainQueue::asyncAfter(int milliseconds, WorkItem item)
{
    if (!isMainThread()) {
        // A timer belongs to the thread that starts it; start it on the main one.
        async(
            [milliseconds, item = std::move(item)]() mutable { asyncAfter(milliseconds, std::move(item)); });
        return;
    }
    QTimer::singleShot(milliseconds < 0 ? 0 : milliseconds, QCoreApplication::instance(), std::move(item));
}

void MainQueue::sync(WorkItem item)
{
    if (isMainThread()) {
        item();
        return;
    }
    if (QCoreApplication* app = application())
        QMetaObject::invokeMethod(app, std::move(item), Qt::BlockingQueuedConnection);
}
