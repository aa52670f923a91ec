#include "palisorafd-sim/SimulatedDaemon.h"

#include "platform/KernelEventSocket.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "platform/UnixSocket.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QString kDaemonPath = QStringLiteral("/var/run/palisor/.zz.tolvane.palisor.agentc");
const QString kAgentPath = QStringLiteral("/var/run/palisor/agent/.zz.tolvane.palisor.agents");
const QString kConfigurationPath = QStringLiteral("/etc/palisor.conf");
const QString kClearAllCommand = QStringLiteral("5");

bool fail(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return false;
}

QString systemError(int number)
{
    return QString::fromLocal8Bit(std::strerror(number));
}

// A root whose socket paths do not fit is the one thing the user can change.
bool fillAddress(const QString& path, sockaddr_un* address, socklen_t* length, QString* error)
{
    if (UnixSocket::address(path, address, length, error))
        return true;
    if (error)
        *error += QStringLiteral("; use a shorter root");
    return false;
}

QString describeSendError(int number, const QString& path)
{
    switch (number) {
    case EAGAIN:
        return QStringLiteral("the agent's socket %1 is full (EAGAIN): the agent is not reading").arg(path);
    case ENOBUFS:
        return QStringLiteral("no buffer space to send to %1 (ENOBUFS)").arg(path);
    case ECONNREFUSED:
        return QStringLiteral("nothing is bound at %1 (ECONNREFUSED): the agent is not running").arg(path);
    case ENOENT:
        return QStringLiteral("there is no socket at %1 (ENOENT): the agent has not started").arg(path);
    default:
        return QStringLiteral("cannot send to %1: %2 (errno %3)").arg(path, systemError(number)).arg(number);
    }
}

// Line feeds in a request would break the one-line-per-event output.
QString printable(const QString& text)
{
    QString copy = text;
    return copy.replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

QString shortValue(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantList: {
        const qsizetype count = value.toList().size();
        return count == 1 ? QStringLiteral("1 entry") : QStringLiteral("%1 entries").arg(count);
    }
    case QMetaType::QVariantMap:
        return QStringLiteral("%1 keys").arg(value.toMap().size());
    case QMetaType::QByteArray:
        return QStringLiteral("%1 bytes").arg(value.toByteArray().size());
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::QString:
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    default:
        return value.toString();
    }
}

} // namespace

QString SimulatedDaemon::daemonSocketPath()
{
    return Paths::system(kDaemonPath);
}

QString SimulatedDaemon::agentSocketPath()
{
    return Paths::system(kAgentPath);
}

const QStringList& SimulatedDaemon::notificationNames()
{
    static const QStringList names{
        QStringLiteral("newAppListReceived"), QStringLiteral("writePalisorConfiguration"),
        QStringLiteral("startAgent"),         QStringLiteral("startKext"),
        QStringLiteral("stopKext"),           QStringLiteral("rootPermissions"),
        QStringLiteral("xpcOption"),          QStringLiteral("loadKext"),
        QStringLiteral("unloadKext"),
    };
    return names;
}

SimulatedDaemon::SimulatedDaemon(QObject* parent)
    : QObject(parent)
{
}

SimulatedDaemon::~SimulatedDaemon()
{
    if (m_center) {
        for (const auto token : m_observerTokens)
            m_center->removeObserver(token);
    }
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SimulatedDaemon::bind(QString* error)
{
    if (isBound())
        return fail(error, QStringLiteral("the daemon socket is bound already"));

    const QString ownPath = daemonSocketPath();
    sockaddr_un address;
    socklen_t length = 0;
    sockaddr_un agentAddress;
    socklen_t agentLength = 0;
    // The agent's path is checked now too: a daemon that cannot address the
    // agent is of no use, and saying so at once beats a failure at each send.
    if (!fillAddress(ownPath, &address, &length, error) ||
        !fillAddress(agentSocketPath(), &agentAddress, &agentLength, error))
        return false;

    // The agent runs as a user and binds its own socket in the agent folder,
    // open to all but sticky, so no user removes another's socket. The
    // daemon's folder only its owner may change: no one else can put a socket
    // in place of the daemon's. Changing the modes fails harmlessly on folders
    // that belong to someone else.
    const QString runFolder = Paths::system(QStringLiteral("/var/run/palisor"));
    const QString agentFolder = Paths::system(QStringLiteral("/var/run/palisor/agent"));
    if (!QDir().mkpath(agentFolder))
        return fail(error, QStringLiteral("cannot make the folder %1").arg(agentFolder));
    ::chmod(QFile::encodeName(runFolder).constData(), 0755);
    ::chmod(QFile::encodeName(agentFolder).constData(), 01777);

    const QByteArray encodedPath = QFile::encodeName(ownPath);
    struct stat existing;
    if (::lstat(encodedPath.constData(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode))
            return fail(error,
                        QStringLiteral("%1 exists and is not a socket; not replacing it").arg(ownPath));
        ::unlink(encodedPath.constData());
    }

    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(error,
                    QStringLiteral("cannot create a UNIX datagram socket: %1").arg(systemError(errno)));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        const int number = errno;
        ::close(fd);
        return fail(error, QStringLiteral("cannot bind %1: %2").arg(ownPath, systemError(number)));
    }
    // The agent, a user's process, sends its answers here.
    ::chmod(encodedPath.constData(), 0777);

    m_fd = fd;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { m_readDatagrams(); });
    return true;
}

void SimulatedDaemon::listenForNotifications()
{
    if (m_center)
        return;
    m_center = &DistributedNotificationCenter::defaultCenter();
    QPointer<SimulatedDaemon> self(this);
    for (const QString& name : notificationNames()) {
        m_observerTokens.push_back(m_center->addObserver(
            name, QString(), [self](const DistributedNotificationCenter::Notification& posted) {
                if (self)
                    self->m_handleNotification(posted);
            }));
    }
}

bool SimulatedDaemon::sendRequest(const QString& text, QString* error)
{
    if (!isBound())
        return fail(error, QStringLiteral("the daemon socket is not bound"));
    const QByteArray bytes = text.toUtf8();
    if (bytes.size() > kDatagramSize)
        return fail(error, QStringLiteral("the request is %1 bytes long; a datagram holds at most %2")
                               .arg(bytes.size())
                               .arg(kDatagramSize));

    const QString path = agentSocketPath();
    sockaddr_un address;
    socklen_t length = 0;
    if (!fillAddress(path, &address, &length, error))
        return false;

    char datagram[kDatagramSize] = {};
    std::memcpy(datagram, bytes.constData(), size_t(bytes.size()));
    const ssize_t sent = ::sendto(m_fd, datagram, sizeof(datagram), MSG_DONTWAIT | MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&address), length);
    if (sent < 0)
        return fail(error, describeSendError(errno, path));
    m_sent.append(text);
    return true;
}

QString SimulatedDaemon::reportSocketPath()
{
    return KernelEventSocket::socketPath(::getuid());
}

bool SimulatedDaemon::sendConnectionReport(const QString& line, QString* error)
{
    const QByteArray bytes = line.toUtf8();
    if (bytes.size() > KernelEventSocket::kDataSize)
        return fail(error, QStringLiteral("the report is %1 bytes long; an event holds at most %2")
                               .arg(bytes.size())
                               .arg(KernelEventSocket::kDataSize));
    const QByteArray record = KernelEventSocket::encode(KernelEventSocket::kConnectionEventCode, bytes,
                                                        quint32(m_reported.size() + 1));
    if (!KernelEventSocket::send(record, ::getuid(), error))
        return false;
    m_reported.append(line);
    return true;
}

bool SimulatedDaemon::waitForAnswers(std::size_t count, int timeoutMs)
{
    if (m_answers.size() >= count)
        return true;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &SimulatedDaemon::answerReceived, &loop, [&] {
        if (m_answers.size() >= count)
            loop.quit();
    });
    timer.start(timeoutMs);
    loop.exec();
    return m_answers.size() >= count;
}

SimulatedDaemon::Answer SimulatedDaemon::matchAnswer(const QString& text, const QStringList& requests)
{
    Answer answer;
    answer.text = text;
    if (text == kClearAllCommand) {
        answer.clearAll = true;
        return answer;
    }
    qsizetype bestLength = -1;
    for (qsizetype i = requests.size() - 1; i >= 0; --i) {
        const QString& request = requests[i];
        QString withoutLineFeeds = request;
        withoutLineFeeds.remove(QLatin1Char('\n'));
        for (const QString& candidate : {request, withoutLineFeeds}) {
            if (candidate.size() > bestLength && text.size() > candidate.size() &&
                text.startsWith(candidate) && text.at(candidate.size()) == QLatin1Char(' ')) {
                bestLength = candidate.size();
                answer.request = request;
                answer.code = text.mid(candidate.size() + 1);
                answer.matched = true;
            }
        }
    }
    return answer;
}

QString SimulatedDaemon::describe(const Answer& answer)
{
    if (answer.clearAll)
        return QStringLiteral("answer ") + answer.text;
    if (!answer.matched)
        return QStringLiteral("unmatched ") + printable(answer.text);
    return QStringLiteral("answer %1 -> %2").arg(printable(answer.request), printable(answer.code));
}

QString SimulatedDaemon::describe(const Notification& notification)
{
    QString line = QStringLiteral("notification ") + notification.name;
    if (!notification.object.isEmpty())
        line += QLatin1Char(' ') + notification.object;
    if (!notification.summary.isEmpty())
        line += QStringLiteral(": ") + notification.summary;
    return line;
}

QString SimulatedDaemon::summarize(const QVariantMap& userInfo)
{
    QStringList parts;
    for (auto it = userInfo.cbegin(); it != userInfo.cend(); ++it)
        parts.append(it.key() + QLatin1Char(' ') + shortValue(it.value()));
    return parts.join(QStringLiteral(", "));
}

void SimulatedDaemon::m_readDatagrams()
{
    for (;;) {
        char buffer[kDatagramSize + 1];
        // MSG_TRUNC makes a longer datagram report its real size.
        const ssize_t received = ::recv(m_fd, buffer, kDatagramSize, MSG_DONTWAIT | MSG_TRUNC);
        if (received < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                Q_EMIT problem(QStringLiteral("receive failed: %1").arg(systemError(errno)));
            return;
        }
        if (received != kDatagramSize)
            Q_EMIT problem(QStringLiteral("a datagram of %1 bytes arrived; the protocol's have %2")
                               .arg(received)
                               .arg(kDatagramSize));
        if (received == 0)
            continue;
        const size_t length = std::min<size_t>(size_t(received), kDatagramSize);
        buffer[length] = '\0';
        const QString text = QString::fromUtf8(buffer, qsizetype(std::strlen(buffer)));
        m_answers.push_back(matchAnswer(text, m_sent));
        Q_EMIT answerReceived(m_answers.back());
    }
}

void SimulatedDaemon::m_handleNotification(const DistributedNotificationCenter::Notification& posted)
{
    Notification notification{posted.name, posted.object, posted.userInfo, summarize(posted.userInfo)};
    if (posted.name == QLatin1String("writePalisorConfiguration")) {
        const QString outcome = m_writeConfiguration(posted.userInfo);
        notification.summary += notification.summary.isEmpty() ? outcome : QStringLiteral("; ") + outcome;
    }
    m_notifications.push_back(notification);
    Q_EMIT notificationReceived(m_notifications.back());
}

QString SimulatedDaemon::m_writeConfiguration(const QVariantMap& wrapper)
{
    // A post without the encoded configuration would leave the agent nothing
    // to load at its next start; the old file is better than that.
    if (wrapper.value(QStringLiteral("PalisorConfiguration")).typeId() != QMetaType::QByteArray)
        return QStringLiteral("not written: no \"PalisorConfiguration\" data");
    const QString path = Paths::system(kConfigurationPath);
    const QString folder = Paths::system(QStringLiteral("/etc"));
    if (!QDir().mkpath(folder))
        return QStringLiteral("not written: cannot make the folder %1").arg(folder);
    QString error;
    if (!PropertyList::writeFile(path, QVariantList{wrapper}, PropertyList::Format::Xml, &error))
        return QStringLiteral("not written to %1: %2").arg(path, error);
    m_lastWrittenConfiguration = path;
    return QStringLiteral("wrote ") + path;
}
