#include "core/PAObserveFileLogs.h"

#include "core/AgentLog.h"
#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaMethod>
#include <QSaveFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

PAObserveFileLogs::PAObserveFileLogs(QObject* parent)
    : QObject(parent)
    , pathfilelog(Paths::home() + QStringLiteral("/Library/Logs/palisor.log"))
    , emptytext(QStringLiteral(""))
{
}

PAObserveFileLogs::~PAObserveFileLogs()
{
    m_stopRechecking();
    delete m_notifier;
    m_notifier = nullptr;
    // Closing the instance drops every watch with it.
    if (m_inotify >= 0)
        ::close(m_inotify);
    if (m_filetoread >= 0)
        ::close(m_filetoread);
}

void PAObserveFileLogs::awakeFromNib()
{
    if (!QFileInfo::exists(pathfilelog)) {
        QDir().mkpath(QFileInfo(pathfilelog).absolutePath());
        // A log that cannot be made now is waited for by addDispatch().
        QSaveFile file(pathfilelog);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(emptytext.toLatin1());
            file.commit();
        }
    }
    addDispatch();
}

void PAObserveFileLogs::addDispatch()
{
    m_stopWatchingFile();
    int fd = -1;
    if (!m_openLogFile(&fd)) {
        qCWarning(lcLogFile).noquote() << QStringLiteral("Cannot open the log file %1 (%2); waiting for it")
                                              .arg(pathfilelog, errorText(errno));
        m_fileDeleted();
        return;
    }
    m_watch(fd);
}

bool PAObserveFileLogs::m_ensureInotify()
{
    if (m_inotify >= 0)
        return true;
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify < 0) {
        if (!m_reportedNoInotify)
            qCWarning(lcLogFile).noquote()
                << QStringLiteral("Cannot watch the log file (%1); checking it every second")
                       .arg(errorText(errno));
        m_reportedNoInotify = true;
        return false;
    }
    m_notifier = new QSocketNotifier(m_inotify, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { m_readEvents(); });
    return true;
}

void PAObserveFileLogs::m_readEvents()
{
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t length = ::read(m_inotify, buffer, sizeof buffer);
        if (length <= 0) {
            if (length < 0 && errno == EINTR)
                continue;
            return;
        }
        for (ssize_t offset = 0; offset < length;) {
            inotify_event event;
            std::memcpy(&event, buffer + offset, sizeof event);
            const char* name = buffer + offset + sizeof event;
            offset += static_cast<ssize_t>(sizeof event + event.len);

            if (event.mask & IN_Q_OVERFLOW) {
                // Events were lost: look at the file itself.
                if (m_filetoread >= 0 && m_watchedFileIsDeleted())
                    m_fileDeleted();
                else if (m_waiting)
                    m_checkForFile();
                continue;
            }
            if (event.wd == m_fileWatch && m_fileWatch >= 0) {
                if (event.mask & IN_IGNORED) {
                    // The watch went away under us (the file system is gone);
                    // the once-a-second look stands in for it.
                    m_fileWatch = -1;
                    m_startRechecking();
                } else if (m_watchedFileIsDeleted()) {
                    m_fileDeleted();
                }
            } else if (event.wd == m_folderWatch && m_folderWatch >= 0) {
                if (event.mask & (IN_IGNORED | IN_MOVE_SELF)) {
                    // The folder was removed or moved away; the
                    // once-a-second look finds it again.
                    m_stopWatchingFolder();
                } else if (event.len > 0 && m_waiting &&
                           QByteArray(name) == QFile::encodeName(QFileInfo(pathfilelog).fileName())) {
                    m_checkForFile();
                }
            }
        }
    }
}

bool PAObserveFileLogs::m_openLogFile(int* fd) const
{
    const QByteArray native = QFile::encodeName(pathfilelog);
    int opened;
    do {
        opened = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (opened < 0 && errno == EINTR);
    if (opened < 0)
        return false;
    struct stat info;
    if (::fstat(opened, &info) != 0 || !S_ISREG(info.st_mode)) {
        const bool folder = S_ISDIR(info.st_mode);
        ::close(opened);
        errno = folder ? EISDIR : EINVAL;
        return false;
    }
    *fd = opened;
    return true;
}

void PAObserveFileLogs::m_watch(int fd)
{
    m_filetoread = fd;
    m_waiting = false;
    m_stopWatchingFolder();
    m_stopRechecking();
    if (m_ensureInotify()) {
        // Watched through the descriptor, so the watch is on the file we hold
        // even if the path changed since it was opened. A file deleted while
        // open reports only its link count (IN_ATTRIB); IN_DELETE_SELF waits
        // for the last descriptor, which is ours.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        m_fileWatch = ::inotify_add_watch(m_inotify, self.constData(), IN_ATTRIB);
    }
    if (m_fileWatch < 0)
        m_startRechecking();
    // A deletion between the open and the watch gave no event. Looked at on
    // the next turn of the loop, so that a file deleted again and again cannot
    // recurse through here.
    QMetaObject::invokeMethod(
        this,
        [this, fd] {
            if (m_filetoread == fd && m_watchedFileIsDeleted())
                m_fileDeleted();
        },
        Qt::QueuedConnection);
}

void PAObserveFileLogs::m_stopWatchingFile()
{
    if (m_fileWatch >= 0)
        ::inotify_rm_watch(m_inotify, m_fileWatch);
    m_fileWatch = -1;
    if (m_filetoread >= 0)
        ::close(m_filetoread);
    m_filetoread = -1;
}

bool PAObserveFileLogs::m_watchedFileIsDeleted() const
{
    struct stat info;
    return m_filetoread >= 0 && ::fstat(m_filetoread, &info) == 0 && info.st_nlink == 0;
}

void PAObserveFileLogs::m_fileDeleted()
{
    m_stopWatchingFile();
    m_waiting = true;
    m_startRechecking();
    // Watched before looking, so a file made in between is not missed.
    m_watchFolder();
    m_checkForFile();
}

void PAObserveFileLogs::m_watchFolder()
{
    if (m_folderWatch >= 0 || !m_ensureInotify())
        return;
    const QByteArray folder = QFile::encodeName(QFileInfo(pathfilelog).absolutePath());
    m_folderWatch = ::inotify_add_watch(m_inotify, folder.constData(),
                                        IN_CREATE | IN_MOVED_TO | IN_MOVE_SELF | IN_ONLYDIR);
}

void PAObserveFileLogs::m_stopWatchingFolder()
{
    if (m_folderWatch >= 0)
        ::inotify_rm_watch(m_inotify, m_folderWatch);
    m_folderWatch = -1;
}

void PAObserveFileLogs::m_checkForFile()
{
    int fd = -1;
    if (!m_waiting || !m_openLogFile(&fd))
        return;
    if (isSignalConnected(QMetaMethod::fromSignal(&PAObserveFileLogs::logFileChanged)))
        emit logFileChanged();
    else
        qCWarning(lcLogFile).noquote()
            << QStringLiteral("The log file %1 is back, but nothing is connected to reopen standard error")
                   .arg(pathfilelog);
    m_watch(fd);
}

void PAObserveFileLogs::m_recheck()
{
    if (m_waiting) {
        // The folder may have been removed and made again.
        m_watchFolder();
        m_checkForFile();
    } else if (m_watchedFileIsDeleted()) {
        m_fileDeleted();
    }
}

void PAObserveFileLogs::m_startRechecking()
{
    if (m_recheckTimer)
        return;
    QPointer<PAObserveFileLogs> self(this);
    m_recheckTimer = Clock::shared().scheduledTimer(1.0, true, [self] {
        if (self)
            self->m_recheck();
    });
}

void PAObserveFileLogs::m_stopRechecking()
{
    if (m_recheckTimer)
        m_recheckTimer->invalidate();
    m_recheckTimer.reset();
}
