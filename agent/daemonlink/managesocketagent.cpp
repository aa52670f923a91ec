#include "daemonlink/managesocketagent.h"

#include "core/AgentLog.h"
#include "daemonlink/BridgeClassPalisor.h"
#include "platform/MainQueue.h"
#include "platform/Paths.h"
#include "platform/ProcessInfo.h"

#include <QByteArray>
#include <QCoreApplication>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Written by the set-up, before the first receive; read by every send.
std::atomic<int> g_socket{-1};
std::atomic<bool> g_stopping{false};
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

bool makeAddress(const QString& path, sockaddr_un& address, socklen_t& length, QString* error)
{
    const QByteArray bytes = path.toLocal8Bit();
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    // A longer path would be cut and name another file: refuse it.
    if (bytes.isEmpty() || static_cast<size_t>(bytes.size()) >= sizeof address.sun_path) {
        if (error)
            *error = QStringLiteral("socket path does not fit in %1 bytes: %2")
                         .arg(sizeof address.sun_path - 1)
                         .arg(path);
        return false;
    }
    std::memcpy(address.sun_path, bytes.constData(), static_cast<size_t>(bytes.size()));
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + static_cast<size_t>(bytes.size()) + 1);
    return true;
}

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
    if (!setUpSocket(&error)) {
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
    if (!makeAddress(agentSocketPath(), own, ownLength, error) ||
        !makeAddress(daemonSocketPath(), daemon, daemonLength, error))
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

    unlink(own.sun_path);
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
    const int previous = g_socket.exchange(fd);
    if (previous >= 0)
        close(previous);
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
    for (;;) {
        const ssize_t received = recv(fd, buffer, sizeof buffer, MSG_WAITALL);
        if (g_stopping.load())
            return;
        if (received < 0) {
            if (errno == EINTR)
                continue;
            // A real error of the socket: nothing more can come from it.
            qCWarning(lcDaemon, "[PALISOR AGENT] daemon socket receive failed: %s", std::strerror(errno));
            return;
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
    char datagram[kDatagramSize] = {};
    std::memcpy(datagram, bytes.constData(), static_cast<size_t>(bytes.size()));
    // Never wait for a daemon that does not read.
    const ssize_t sent = sendto(g_socket.load(), datagram, sizeof datagram, MSG_DONTWAIT,
                                reinterpret_cast<const sockaddr*>(&g_daemonAddress), g_daemonAddressLength);
    if (sent < 0) {
        if (errno == ENOBUFS || errno == EAGAIN) {
            std::printf("errore,%d", errno);
            errno = 0;
        } else {
            std::printf("esploso demone o chiuso ?: %i\n", errno);
        }
        std::fflush(stdout);
    }
}

QString managesocketagent::infoprocess(uint32_t pid)
{
    if (pid == 0 || pid > static_cast<uint32_t>(std::numeric_limits<pid_t>::max()))
        return QStringLiteral("error");
    return ProcessInfo::pathForPid(static_cast<pid_t>(pid));
}

int managesocketagent::infoRootProcess(uint32_t pid)
{
    if (pid == 0 || pid > static_cast<uint32_t>(std::numeric_limits<pid_t>::max()))
        return -1;
    return ProcessInfo::effectiveUid(static_cast<pid_t>(pid));
}
