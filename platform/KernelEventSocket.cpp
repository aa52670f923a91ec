#include "platform/KernelEventSocket.h"

#include "platform/Paths.h"
#include "platform/UnixSocket.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

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

quint32 field(const char* bytes, int index)
{
    quint32 value = 0;
    std::memcpy(&value, bytes + index * sizeof(quint32), sizeof value);
    return value;
}

void putField(QByteArray& record, int index, quint32 value)
{
    std::memcpy(record.data() + index * sizeof(quint32), &value, sizeof value);
}

} // namespace

QString KernelEventSocket::socketPath(uid_t uid)
{
    return Paths::system(QStringLiteral("/var/run/palisor/agent/.zz.tolvane.palisor.raw.%1").arg(uid));
}

QString KernelEventSocket::socketPath()
{
    return socketPath(getuid());
}

std::optional<KernelEventSocket::Event> KernelEventSocket::decode(const char* bytes, qsizetype received)
{
    if (!bytes || received < kHeaderSize)
        return std::nullopt;
    Event event;
    event.totalSize = field(bytes, 0);
    event.vendorCode = field(bytes, 1);
    event.eventClass = field(bytes, 2);
    event.subclass = field(bytes, 3);
    event.id = field(bytes, 4);
    event.eventCode = field(bytes, 5);
    event.data = QByteArray(bytes + kHeaderSize, qMin<qsizetype>(received - kHeaderSize, kDataSize));
    return event;
}

QByteArray KernelEventSocket::encode(quint32 eventCode, const QByteArray& data, quint32 id,
                                     quint32 vendorCode)
{
    const QByteArray payload = data.left(kDataSize);
    QByteArray record(kHeaderSize, '\0');
    putField(record, 0, quint32(kHeaderSize + payload.size()));
    putField(record, 1, vendorCode);
    putField(record, 4, id);
    putField(record, 5, eventCode);
    return record + payload;
}

QByteArray KernelEventSocket::text(const QByteArray& data)
{
    const qsizetype end = data.indexOf('\0');
    return end < 0 ? data : data.left(end);
}

int KernelEventSocket::open(QString* error)
{
    const QString path = socketPath();
    sockaddr_un address;
    socklen_t length = 0;
    if (!UnixSocket::address(path, &address, &length, error))
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fail(error, QStringLiteral("socket: %1").arg(systemError(errno)));
        return -1;
    }
    // Each datagram carries its sender, so that only root's and our own are
    // read even should the file's mode be changed under us.
    const int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof on) != 0) {
        fail(error, QStringLiteral("SO_PASSCRED: %1").arg(systemError(errno)));
        ::close(fd);
        return -1;
    }
    // Linux gives the bound file the socket's own mode (less the umask):
    // owner-only from the moment it exists, so no one else connects in the
    // moment before the chmod below.
    [[maybe_unused]] const int modeSet = ::fchmod(fd, 0600);
    // Another agent of ours reads this socket: its reports stay its own.
    if (!UnixSocket::removeStale(address, length, SOCK_DGRAM, error)) {
        ::close(fd);
        return -1;
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        fail(error, QStringLiteral("bind %1: %2").arg(path, systemError(errno)));
        ::close(fd);
        return -1;
    }
    if (::chmod(address.sun_path, 0600) != 0) {
        fail(error, QStringLiteral("chmod %1: %2").arg(path, systemError(errno)));
        ::close(fd);
        ::unlink(address.sun_path);
        return -1;
    }
    return fd;
}

KernelEventSocket::Received KernelEventSocket::receive(int fd)
{
    char buffer[kLargestEvent];
    UnixSocket::Received datagram;
    do {
        datagram = UnixSocket::receive(fd, buffer, sizeof buffer);
    } while (datagram.bytes < 0 && errno == EINTR);
    Received result;
    result.bytes = datagram.bytes;
    if (datagram.bytes <= 0 || !datagram.sender ||
        (datagram.sender->uid != 0 && datagram.sender->uid != getuid()))
        return result;
    result.event = decode(buffer, datagram.bytes);
    // What the extension's vendor filter lets through.
    if (result.event && result.event->vendorCode != kVendorCode)
        result.event.reset();
    return result;
}

bool KernelEventSocket::send(const QByteArray& record, uid_t uid, QString* error)
{
    const QString path = socketPath(uid);
    sockaddr_un address;
    socklen_t length = 0;
    if (!UnixSocket::address(path, &address, &length, error))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(error, QStringLiteral("socket: %1").arg(systemError(errno)));
    // The system queues only a few datagrams for a reader; a burst waits for
    // room rather than losing reports, but not for ever.
    const timeval patience{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
    const ssize_t sent = ::sendto(fd, record.constData(), size_t(record.size()), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&address), length);
    const int sendError = errno;
    ::close(fd);
    if (sent < 0)
        return fail(error, QStringLiteral("cannot send to %1: %2").arg(path, systemError(sendError)));
    return true;
}
