#pragma once

#include <QString>

#include <optional>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>

// What the agent's UNIX datagram sockets share: their addresses, and
// datagrams read together with who sent them.
class UnixSocket
{
public:
    // The address of a socket file. A path longer than an address holds is
    // refused with a reason, never cut: a cut one would name another file.
    static bool address(const QString& path, sockaddr_un* address, socklen_t* length,
                        QString* error = nullptr);

    struct Received
    {
        // What recvmsg() returned (errno tells why when it is -1).
        ssize_t bytes = 0;
        // The sender's credentials, on a socket with SO_PASSCRED.
        std::optional<ucred> sender;
    };
    static Received receive(int fd, char* buffer, size_t size, int flags = 0);
};
