#pragma once

#include "platform/Clock.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QSocketNotifier;

// Keeps the agent's log file present and standard error pointed at it: makes
// the file when it is missing and, once the file is deleted, waits until a
// file exists at the path again, has standard error reopened onto it and
// watches the new file. Lives on the main thread; nothing it does blocks.
class PAObserveFileLogs : public QObject
{
    Q_OBJECT

public:
    explicit PAObserveFileLogs(QObject* parent = nullptr);
    ~PAObserveFileLogs() override;

    // ~/Library/Logs/palisor.log. Another path may be set before
    // awakeFromNib(); standard error is still reopened by whoever follows
    // logFileChanged(), onto the agent's own log.
    QString pathfilelog;
    QString emptytext;

    void awakeFromNib();
    // Opens pathfilelog and watches it (in place of any earlier watch). A
    // file that cannot be opened is logged and waited for.
    void addDispatch();

    // The descriptor of the watched file; -1 while waiting for the file.
    int filetoread() const { return m_filetoread; }

signals:
    // The log file was deleted and is back: standard error must be reopened.
    void logFileChanged();

private:
    bool m_ensureInotify();
    void m_readEvents();
    bool m_openLogFile(int* fd) const;
    void m_watch(int fd);
    void m_stopWatchingFile();
    bool m_watchedFileIsDeleted() const;
    void m_fileDeleted();
    void m_watchFolder();
    void m_stopWatchingFolder();
    void m_checkForFile();
    void m_recheck();
    void m_startRechecking();
    void m_stopRechecking();

    int m_filetoread = -1;
    int m_inotify = -1;
    QSocketNotifier* m_notifier = nullptr;
    int m_fileWatch = -1;
    int m_folderWatch = -1;
    bool m_waiting = false;
    bool m_reportedNoInotify = false;
    TimerRef m_recheckTimer;
};
