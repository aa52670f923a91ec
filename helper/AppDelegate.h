#pragma once

#include <QObject>
#include <QPointer>

// The application's delegate. The helper has no window and nothing to do at
// launch or at termination: HelperController does the work.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    QObject* window() const { return m_window; }
    void setWindow(QObject* window) { m_window = window; }

    void applicationDidFinishLaunching() {}
    void applicationWillTerminate() {}

private:
    QPointer<QObject> m_window;
};
