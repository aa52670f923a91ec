#include "daemonlink/Socketcon.h"

#include "daemonlink/BridgeClassPalisor.h"
#include "platform/KernelEventSocket.h"

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::mutex g_mutex;
std::condition_variable g_ended;
int g_socket = -1;
const Socketcon* g_reader = nullptr;
// Moves on at each stop: an item queued before it finds itself outdated and
// touches neither the socket nor its reader, which may be gone by then.
quint64 g_generation = 0;

} // namespace

ThreadQueue& recvKextConQueue()
{
    static ThreadQueue queue(QStringLiteral("recvKextCon"));
    return queue;
}

Socketcon::Socketcon(BridgeClassPalisor& bridge, QObject* parent)
    : QObject(parent)
    , m_bridge(bridge)
{
}

Socketcon::~Socketcon()
{
    std::unique_lock lock(g_mutex);
    if (g_reader != this)
        return;
    lock.unlock();
    stopReadingAndWait();
}

void Socketcon::buildsocketcon()
{
    quint64 generation = 0;
    {
        std::lock_guard lock(g_mutex);
        generation = g_generation;
    }
    m_run(this, generation);
}

void Socketcon::start()
{
    quint64 generation = 0;
    {
        std::lock_guard lock(g_mutex);
        generation = g_generation;
    }
    // A plain pointer: m_run() checks under the lock that no stop came since,
    // and a stop waits for the loop before the reader can go.
    Socketcon* reader = this;
    recvKextConQueue().async([reader, generation] { m_run(reader, generation); });
}

void Socketcon::m_run(Socketcon* reader, quint64 generation)
{
    {
        std::lock_guard lock(g_mutex);
        if (generation != g_generation || g_reader)
            return;
    }
    // The reports are a view, not a duty: without the socket the agent goes
    // on without them, and says nothing.
    const int fd = KernelEventSocket::open();
    if (fd < 0)
        return;
    {
        std::lock_guard lock(g_mutex);
        if (generation != g_generation) {
            ::close(fd);
            return;
        }
        g_socket = fd;
        g_reader = reader;
    }
    reader->m_loop(fd, generation);
    {
        std::lock_guard lock(g_mutex);
        g_reader = nullptr;
    }
    g_ended.notify_all();
}

void Socketcon::m_loop(int fd, quint64 generation)
{
    for (;;) {
        const KernelEventSocket::Received received = KernelEventSocket::receive(fd);
        {
            std::lock_guard lock(g_mutex);
            // Stopped, or shut and closed under the loop by closesocketcon().
            if (generation != g_generation || g_socket != fd)
                return;
        }
        // A failure of the socket ends the reader for good.
        if (received.bytes < 0)
            return;
        // An empty datagram, a record shorter than its header, one of another
        // vendor or from a stranger: nothing to read, and no reason to stop.
        if (!received.event || received.event->eventCode != KernelEventSocket::kConnectionEventCode)
            continue;
        m_bridge.readConnections(QString::fromUtf8(KernelEventSocket::text(received.event->data)));
    }
}

void Socketcon::closesocketcon()
{
    int fd = -1;
    {
        std::lock_guard lock(g_mutex);
        fd = g_socket;
        g_socket = -1;
    }
    if (fd < 0)
        return;
    if (::shutdown(fd, SHUT_RDWR) != 0 && errno != ENOTCONN && errno != EINVAL) {
        std::printf("shutdown\n");
        std::fflush(stdout);
    }
    if (::close(fd) != 0) {
        std::printf("close\n");
        std::fflush(stdout);
    }
}

void Socketcon::stopReadingAndWait()
{
    std::unique_lock lock(g_mutex);
    ++g_generation;
    if (g_socket >= 0)
        ::shutdown(g_socket, SHUT_RDWR);
    g_ended.wait(lock, [] { return g_reader == nullptr; });
    lock.unlock();
    closesocketcon();
}

bool Socketcon::isReading()
{
    std::lock_guard lock(g_mutex);
    return g_reader != nullptr;
}
