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

    // Makes room to bind `address`: a file left there by a socket that is
    // gone is removed, but a socket some process still holds (one that
    // answers a connect of `type`) is left alone, and false comes back with a
    // reason: taking its path would leave its owner deaf for good.
    static bool removeStale(const sockaddr_un& address, socklen_t length, int type, QString* error = nullptr);

    struct Received
    {
        // What recvmsg() returned (errno tells why when it is -1).
        ssize_t bytes = 0;
        // The sender's credentials, on a socket with SO_PASSCRED.
        std::optional<ucred> sender;
    };
    static Received receive(int fd, char* buffer, size_t size, int flags = 0);
};
