#include "daemonlink/managesocketagent.h"

#include "core/AgentLog.h"
#include "daemonlink/BridgeClassPalisor.h"
#include "platform/MainQueue.h"
#include "platform/Paths.h"
#include "platform/ProcessInspector.h"
#include "platform/UnixSocket.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <optional>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Written by the set-up, before the first receive; read by every send.
std::atomic<int> g_socket{-1};
std::atomic<bool> g_stopping{false};
// Set by prepareSocket(), taken by the loop that uses its socket.
std::atomic<bool> g_prepared{false};
sockaddr_un g_daemonAddress{};
socklen_t g_daemonAddressLength = 0;
std::mutex g_setUpMutex;

// Which endpoints exist and which one runs the receive loop, so that an
// endpoint is never destroyed under its own loop and a loop never starts for
// one that is gone.
std::mutex g_loopMutex;
std::condition_variable g_loopEnded;
std::set<const managesocketagent*> g_liveEndpoints;
const managesocketagent* g_looping = nullptr;

// Claims the loop for `endpoint`; false when it no longer exists.
bool claimLoop(const managesocketagent* endpoint)
{
    std::lock_guard lock(g_loopMutex);
    if (!g_liveEndpoints.count(endpoint))
        return false;
    g_looping = endpoint;
    return true;
}

void releaseLoop()
{
    {
        std::lock_guard lock(g_loopMutex);
        g_looping = nullptr;
    }
    g_loopEnded.notify_all();
}

using Datagram = std::array<char, managesocketagent::kDatagramSize>;

enum class SendResult { Sent, Full, Failed };

// Told once until an answer reaches the daemon again.
bool g_strangerLogged = false;

// An answer tells which connections pass: it goes only to a socket the daemon
// owns. Outside a test root that is root's, in a folder only root may write
// to; a socket of another user there (or a link in its place) is not heard.
// A missing socket is left for the send to report.
bool daemonSocketIsTheDaemons()
{
    struct stat file;
    if (lstat(g_daemonAddress.sun_path, &file) != 0)
        return true;
    if (S_ISSOCK(file.st_mode) && managesocketagent::acceptsSender(file.st_uid))
        return true;
    if (!g_strangerLogged)
        qCWarning(lcDaemon,
                  "[PALISOR AGENT] %s is not the daemon's socket (owner uid %u); answers are not sent to it",
                  g_daemonAddress.sun_path, static_cast<unsigned>(file.st_uid));
    g_strangerLogged = true;
    return false;
}

// Callers hold g_sendMutex.
SendResult sendNow(const Datagram& datagram)
{
    if (!daemonSocketIsTheDaemons())
        return SendResult::Failed;
    const ssize_t sent = sendto(g_socket.load(), datagram.data(), datagram.size(), MSG_DONTWAIT,
                                reinterpret_cast<const sockaddr*>(&g_daemonAddress), g_daemonAddressLength);
    if (sent >= 0) {
        g_strangerLogged = false;
        return SendResult::Sent;
    }
    if (errno == EAGAIN || errno == ENOBUFS) {
        errno = 0;
        return SendResult::Full;
    }
    std::printf("esploso demone o chiuso ?: %i\n", errno);
    std::fflush(stdout);
    return SendResult::Failed;
}

// Answers the daemon's full queue could not take yet, oldest first. Any
// thread adds to it; the main thread empties it.
std::mutex g_sendMutex;
std::deque<Datagram> g_waiting;
bool g_flushArmed = false;
bool g_boundLogged = false;

// A datagram socket tells when another can be sent only when it is connected
// to its receiver: this one, connected to the daemon's address, is watched
// for that and never sends. Main thread only.
class WriteWatch
{
public:
    static WriteWatch& shared()
    {
        static WriteWatch* watch = new WriteWatch;
        return *watch;
    }

    // Calls flush() once the daemon's queue has room (or soon, when its
    // address cannot be watched).
    void arm()
    {
        if (m_reconnect() && m_notifier) {
            m_notifier->setEnabled(true);
            return;
        }
        QTimer::singleShot(10, QCoreApplication::instance(), [] { flush(); });
    }
    void disarm()
    {
        if (m_notifier)
            m_notifier->setEnabled(false);
    }

    static void flush()
    {
        std::unique_lock lock(g_sendMutex);
        while (!g_waiting.empty()) {
            if (sendNow(g_waiting.front()) == SendResult::Full) {
                lock.unlock();
                shared().arm();
                return;
            }
            g_waiting.pop_front();
        }
        g_flushArmed = false;
        g_boundLogged = false;
        lock.unlock();
        shared().disarm();
    }

private:
    // Connects anew each time: the daemon may have bound a new socket since.
    bool m_reconnect()
    {
        if (m_fd < 0) {
            m_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            if (m_fd < 0)
                return false;
        }
        if (!m_notifier) {
            m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, QCoreApplication::instance());
            m_notifier->setEnabled(false);
            QObject::connect(m_notifier, &QSocketNotifier::activated, m_notifier, [] { flush(); });
        }
        return ::connect(m_fd, reinterpret_cast<const sockaddr*>(&g_daemonAddress), g_daemonAddressLength) ==
               0;
    }

    int m_fd = -1;
    // The application owns it; it goes with the application.
    QPointer<QSocketNotifier> m_notifier;
};

// Datagrams of other senders than the daemon are dropped; a flood of them is
// told once in a while, not once each.
class DroppedSenders
{
public:
    void drop(uid_t uid, pid_t pid)
    {
        ++m_count;
        const auto now = std::chrono::steady_clock::now();
        if (m_logged && now - *m_logged < std::chrono::seconds(10))
            return;
        m_logged = now;
        qCWarning(
            lcDaemon,
            "[PALISOR AGENT] %llu datagram(s) from a sender other than the daemon dropped (last: uid %u, "
            "pid %d)",
            static_cast<unsigned long long>(m_count), static_cast<unsigned>(uid), static_cast<int>(pid));
        m_count = 0;
    }

private:
    unsigned long long m_count = 0;
    std::optional<std::chrono::steady_clock::time_point> m_logged;
};

} // namespace

ThreadQueue& recvDaemonQueue()
{
    static ThreadQueue queue(QStringLiteral("recvDaemonQueue"));
    return queue;
}

managesocketagent::managesocketagent(QObject* parent)
    : QObject(parent)
{
    std::lock_guard lock(g_loopMutex);
    g_liveEndpoints.insert(this);
}

managesocketagent::~managesocketagent()
{
    std::unique_lock lock(g_loopMutex);
    g_liveEndpoints.erase(this);
    if (g_looping != this)
        return;
    lock.unlock();
    stopReceivingAndWait();
}

void managesocketagent::openandreadsocketagentOf(managesocketagent* endpoint)
{
    if (!claimLoop(endpoint))
        return;
    QString error;
    if (!g_prepared.exchange(false) && !setUpSocket(&error)) {
        qCWarning(lcDaemon, "[PALISOR AGENT] daemon socket: %s", qUtf8Printable(error));
        releaseLoop();
        // Without its socket the agent has no work; it ends with status 1,
        // by its event loop: ending the process from this thread would tear
        // the application down under the main thread.
        MainQueue::async([] { QCoreApplication::exit(1); });
        return;
    }
    endpoint->m_loop();
}

bool managesocketagent::prepareSocket()
{
    // Binding again would drop what already waits in the socket.
    if (g_prepared.load())
        return true;
    QString error;
    if (!setUpSocket(&error))
        return false;
    g_prepared = true;
    return true;
}

void managesocketagent::stopReceivingAndWait()
{
    stopReceiving();
    std::unique_lock lock(g_loopMutex);
    g_loopEnded.wait(lock, [] { return g_looping == nullptr; });
}

QString managesocketagent::agentSocketPath()
{
    return Paths::system(QStringLiteral("/var/run/palisor/agent/.zz.tolvane.palisor.agents"));
}

QString managesocketagent::daemonSocketPath()
{
    return Paths::system(QStringLiteral("/var/run/palisor/.zz.tolvane.palisor.agentc"));
}

bool managesocketagent::setUpSocket(QString* error)
{
    std::lock_guard lock(g_setUpMutex);
    sockaddr_un own{};
    socklen_t ownLength = 0;
    sockaddr_un daemon{};
    socklen_t daemonLength = 0;
    if (!UnixSocket::address(agentSocketPath(), &own, &ownLength, error) ||
        !UnixSocket::address(daemonSocketPath(), &daemon, &daemonLength, error))
        return false;

    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        std::printf("socket\n");
        std::fflush(stdout);
        if (error)
            *error = QStringLiteral("socket: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    const int size = 65535;
    if (setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size) != 0)
        std::printf("Error setsockopt\n");
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0)
        std::printf("Error setsockopt\n");
    std::fflush(stdout);
    // Every local user may write to the socket: each datagram carries its
    // sender's credentials, so that only the daemon's are heard.
    const int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof on) != 0) {
        const int credentialsError = errno;
        if (error)
            *error = QStringLiteral("SO_PASSCRED: %1")
                         .arg(QString::fromLocal8Bit(std::strerror(credentialsError)));
        close(fd);
        return false;
    }

    // Our own earlier socket (a restart of the loop) gives its path up; a
    // socket another agent reads keeps it, and this agent goes without.
    const int previous = g_socket.exchange(-1);
    if (previous >= 0)
        close(previous);
    if (!UnixSocket::removeStale(own, ownLength, SOCK_DGRAM, error)) {
        close(fd);
        return false;
    }
    if (bind(fd, reinterpret_cast<const sockaddr*>(&own), ownLength) != 0) {
        const int bindError = errno;
        qCWarning(lcDaemon, "bind: %s", std::strerror(bindError));
        if (error)
            *error = QStringLiteral("bind %1: %2")
                         .arg(agentSocketPath(), QString::fromLocal8Bit(std::strerror(bindError)));
        close(fd);
        return false;
    }
    // The root daemon, and any user, may send to it.
    chmod(own.sun_path, 0777);

    g_daemonAddress = daemon;
    g_daemonAddressLength = daemonLength;
    g_stopping = false;
    g_socket = fd;
    return true;
}

void managesocketagent::openandreadsocketagent()
{
    openandreadsocketagentOf(this);
}

void managesocketagent::receiveLoop()
{
    if (claimLoop(this))
        m_loop();
}

void managesocketagent::m_loop()
{
    struct Release
    {
        ~Release() { releaseLoop(); }
    } release;
    const int fd = g_socket.load();
    char buffer[kDatagramSize];
    DroppedSenders dropped;
    for (;;) {
        const UnixSocket::Received datagram = UnixSocket::receive(fd, buffer, sizeof buffer, MSG_WAITALL);
        const ssize_t received = datagram.bytes;
        if (g_stopping.load())
            return;
        if (received < 0) {
            if (errno == EINTR)
                continue;
            // A real error of the socket: nothing more can come from it.
            qCWarning(lcDaemon, "[PALISOR AGENT] daemon socket receive failed: %s", std::strerror(errno));
            return;
        }
        const std::optional<ucred>& sender = datagram.sender;
        if (!sender || !acceptsSender(sender->uid)) {
            dropped.drop(sender ? sender->uid : uid_t(-1), sender ? sender->pid : 0);
            continue;
        }
        // The socket is open to every local user: an empty datagram is noise,
        // not the end of the link.
        if (received == 0)
            continue;
        // Only the bytes of this datagram, up to its first zero byte: a short
        // one must not carry the tail of an earlier one.
        const char* end = static_cast<const char*>(std::memchr(buffer, '\0', static_cast<size_t>(received)));
        const qsizetype length = end ? end - buffer : received;
        const QString text = QString::fromUtf8(buffer, length);
        if (BridgeClassPalisor* bridge = myBridgeClassPalisor.data())
            bridge->readRequest(text);
    }
}

void managesocketagent::stopReceiving()
{
    g_stopping = true;
    const int fd = g_socket.load();
    if (fd >= 0)
        shutdown(fd, SHUT_RDWR);
}

void managesocketagent::sendsocketagent(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    // The text and its zero byte must fit the datagram; a cut answer would
    // tell the daemon something else.
    if (bytes.size() > kDatagramSize - 1) {
        qCWarning(lcDaemon, "[PALISOR AGENT] answer of %lld bytes does not fit a datagram; not sent: %s",
                  static_cast<long long>(bytes.size()), bytes.constData());
        return;
    }
    Datagram datagram{};
    std::memcpy(datagram.data(), bytes.constData(), static_cast<size_t>(bytes.size()));
    std::lock_guard lock(g_sendMutex);
    // Behind waiting answers a new one waits too: the daemon gets them in order.
    if (g_waiting.empty()) {
        const SendResult result = sendNow(datagram);
        if (result != SendResult::Full)
            return;
    }
    if (g_waiting.size() >= static_cast<size_t>(kSendBound)) {
        if (!g_boundLogged)
            qCWarning(lcDaemon,
                      "[PALISOR AGENT] the daemon is not reading: %d answers wait for it; later ones are "
                      "dropped until it reads again",
                      kSendBound);
        g_boundLogged = true;
        return;
    }
    g_waiting.push_back(datagram);
    if (!g_flushArmed) {
        g_flushArmed = true;
        MainQueue::async([] { WriteWatch::shared().arm(); });
    }
}

int managesocketagent::waitingSends()
{
    std::lock_guard lock(g_sendMutex);
    return static_cast<int>(g_waiting.size());
}

bool managesocketagent::acceptsSender(uid_t uid)
{
    return uid == 0 || (!Paths::root().isEmpty() && uid == getuid());
}

QString managesocketagent::infoprocess(uint32_t pid)
{
    return infoprocessName(pid).path;
}

ProcessInfo::Name managesocketagent::infoprocessName(uint32_t pid)
{
    if (pid == 0 || pid > static_cast<uint32_t>(std::numeric_limits<pid_t>::max()))
        return {QStringLiteral("error"), false};
    return ProcessInspector::shared().name(static_cast<pid_t>(pid));
}

int managesocketagent::infoRootProcess(uint32_t pid)
{
    if (pid == 0 || pid > static_cast<uint32_t>(std::numeric_limits<pid_t>::max()))
        return -1;
    return ProcessInfo::effectiveUid(static_cast<pid_t>(pid));
}
