#include "platform/UnixSocket.h"

#include <QFile>

#include <cstddef>
#include <cstring>

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
