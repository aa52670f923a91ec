#include "platform/UnixSocket.h"

#include <QFile>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <unistd.h>

bool UnixSocket::address(const QString& path, sockaddr_un* address, socklen_t* length, QString* error)
{
    const QByteArray encoded = QFile::encodeName(path);
    std::memset(address, 0, sizeof(*address));
    address->sun_family = AF_UNIX;
    if (encoded.isEmpty() || size_t(encoded.size()) >= sizeof(address->sun_path)) {
        if (error)
            *error = QStringLiteral("socket path does not fit: %1 is %2 bytes long, a UNIX socket address "
                                    "holds at most %3")
                         .arg(path)
                         .arg(encoded.size())
                         .arg(sizeof(address->sun_path) - 1);
        return false;
    }
    std::memcpy(address->sun_path, encoded.constData(), size_t(encoded.size()));
    // Linux's address has no length byte: the length passed with it is the
    // path's own, so nothing behind the zero byte matters.
    *length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(encoded.size()) + 1);
    return true;
}

bool UnixSocket::removeStale(const sockaddr_un& address, socklen_t length, int type, QString* error)
{
    const int probe = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        if (error)
            *error = QStringLiteral("socket: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    const int answered = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), length);
    const int connectError = errno;
    ::close(probe);
    // A socket of another kind bound there answers too, with EPROTOTYPE; a
    // file with no socket behind it, or anything that is not a socket, is
    // refused.
    if (answered == 0 || connectError == EPROTOTYPE) {
        if (error)
            *error = QStringLiteral("%1 is in use by another process")
                         .arg(QFile::decodeName(QByteArray(address.sun_path)));
        return false;
    }
    // A file that cannot be removed is the bind's to report.
    ::unlink(address.sun_path);
    return true;
}

UnixSocket::Received UnixSocket::receive(int fd, char* buffer, size_t size, int flags)
{
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
    iovec vector{buffer, size};
    msghdr message{};
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    Received received;
    received.bytes = ::recvmsg(fd, &message, flags);
    if (received.bytes < 0)
        return received;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_CREDENTIALS) {
            ucred sender;
            std::memcpy(&sender, CMSG_DATA(header), sizeof sender);
            received.sender = sender;
        }
    }
    return received;
}
