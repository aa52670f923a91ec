#include "support/DaemonPeer.h"

#include "daemonlink/managesocketagent.h"
#include "support/EventLoop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <cstring>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

bool addressOf(const QString& path, sockaddr_un& address, socklen_t& length)
{
    const QByteArray bytes = path.toLocal8Bit();
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (static_cast<size_t>(bytes.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, bytes.constData(), static_cast<size_t>(bytes.size()));
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + static_cast<size_t>(bytes.size()) + 1);
    return true;
}

} // namespace

DaemonPeer::DaemonPeer()
{
    const QString path = managesocketagent::daemonSocketPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QDir().mkpath(QFileInfo(managesocketagent::agentSocketPath()).absolutePath());
    sockaddr_un address{};
    socklen_t length = 0;
    if (!addressOf(path, address, length))
        return;
    m_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    unlink(address.sun_path);
    if (m_fd >= 0 && bind(m_fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        close(m_fd);
        m_fd = -1;
    }
}

DaemonPeer::~DaemonPeer()
{
    if (m_fd >= 0)
        close(m_fd);
}

bool DaemonPeer::send(const QString& text)
{
    QByteArray datagram = text.toUtf8();
    datagram.append('\0');
    if (datagram.size() < managesocketagent::kDatagramSize)
        datagram.append(QByteArray(managesocketagent::kDatagramSize - datagram.size(), '\0'));
    return sendRaw(datagram.left(managesocketagent::kDatagramSize));
}

bool DaemonPeer::sendRaw(const QByteArray& bytes)
{
    sockaddr_un address{};
    socklen_t length = 0;
    if (m_fd < 0 || !addressOf(managesocketagent::agentSocketPath(), address, length))
        return false;
    return sendto(m_fd, bytes.constData(), static_cast<size_t>(bytes.size()), 0,
                  reinterpret_cast<const sockaddr*>(&address), length) == bytes.size();
}

bool DaemonPeer::waitUntilRead(int timeoutMs)
{
    // A datagram stays charged to its sender until the receiver takes it.
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        int unread = 0;
        if (m_fd < 0 || ioctl(m_fd, SIOCOUTQ, &unread) != 0)
            return false;
        if (unread == 0)
            return true;
        if (clock.hasExpired(timeoutMs))
            return false;
        QThread::msleep(1);
    }
}

std::optional<QString> DaemonPeer::m_receive()
{
    char buffer[managesocketagent::kDatagramSize + 1] = {};
    const ssize_t received = recv(m_fd, buffer, managesocketagent::kDatagramSize, MSG_DONTWAIT);
    if (received <= 0)
        return std::nullopt;
    EXPECT_EQ(received, managesocketagent::kDatagramSize) << "every datagram is 128 bytes";
    return QString::fromUtf8(buffer);
}

QStringList DaemonPeer::answers(int count, int timeoutMs)
{
    QStringList result;
    processEventsUntil(
        [&] {
            while (const auto answer = m_receive())
                result.append(*answer);
            return result.size() >= count;
        },
        timeoutMs);
    return result;
}

QStringList DaemonPeer::drain(int quietMs)
{
    QStringList result;
    QDeadlineTimer deadline(quietMs);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        while (const auto answer = m_receive())
            result.append(*answer);
    }
    return result;
}
