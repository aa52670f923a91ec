#pragma once

#include <QProcess>
#include <QString>

#include <memory>
#include <vector>

// Real processes for the pids a test sends about: copies of sleep at paths
// of the test's choosing, ended when this goes.
class SleepingChildren
{
public:
    SleepingChildren() = default;
    ~SleepingChildren();
    SleepingChildren(const SleepingChildren&) = delete;
    SleepingChildren& operator=(const SleepingChildren&) = delete;

    // A copy of /bin/sleep at `path` (folders made), executable by its owner.
    static QString copyOfSleep(const QString& path);
    // Starts `path` for a minute; its pid once /proc shows it running there.
    qint64 run(const QString& path);
    // The pid of a child that has exited and been reaped.
    static qint64 gonePid();

private:
    std::vector<std::unique_ptr<QProcess>> m_children;
};
