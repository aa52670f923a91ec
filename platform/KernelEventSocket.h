#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <sys/types.h>

// The connection-report extension's events. Each user's agent binds one UNIX
// datagram socket, "/var/run/palisor/agent/.zz.tolvane.palisor.raw.<uid>";
// each datagram is one event record: six 32-bit fields in host order (total
// size, vendor code, class, subclass, id, event code) and then up to 128
// bytes of data. Only the socket's owner and root may write to it, and only
// their datagrams are read.
class KernelEventSocket
{
public:
    // The vendor "zz.tolvane.palisor.raw". Nothing on this system hands out
    // vendor codes, so the reporter and the reader agree on this one.
    static constexpr quint32 kVendorCode = 0x7a7a0052;
    static constexpr quint32 kConnectionEventCode = 4242;
    static constexpr int kHeaderSize = 24;
    static constexpr int kDataSize = 128;
    // The most a receive takes; a longer datagram is cut there.
    static constexpr int kLargestEvent = 156;

    struct Event
    {
        quint32 totalSize = 0;
        quint32 vendorCode = 0;
        quint32 eventClass = 0;
        quint32 subclass = 0;
        quint32 id = 0;
        quint32 eventCode = 0;
        // What followed the header in the datagram, at most kDataSize bytes.
        QByteArray data;
    };

    static QString socketPath(uid_t uid);
    // Our own user's.
    static QString socketPath();

    // The record in the first `received` bytes; nullopt when they are fewer
    // than a header. The data never reaches past what was received.
    static std::optional<Event> decode(const char* bytes, qsizetype received);
    // A record as the extension sends it; data past kDataSize is cut.
    static QByteArray encode(quint32 eventCode, const QByteArray& data, quint32 id = 0,
                             quint32 vendorCode = kVendorCode);
    // The data's text: up to its first zero byte, all of it when none.
    static QByteArray text(const QByteArray& data);

    // Makes and binds our user's socket, readable and writable by its owner
    // only. -1 with a reason when the system refuses or the path does not fit
    // a socket address, or when a live socket (another agent's) holds the path.
    static int open(QString* error = nullptr);

    struct Received
    {
        // What the receive returned: -1 for a failure of the socket, 0 for an
        // empty datagram or a socket that was shut down.
        ssize_t bytes = 0;
        // The record, when the datagram holds one of our vendor from root or
        // our own user.
        std::optional<Event> event;
    };
    // Blocks for the next datagram (an interrupted wait goes on waiting).
    static Received receive(int fd);

    // One record to the socket of `uid`; waits up to 5 s while the reader's
    // queue is full. False with a reason.
    static bool send(const QByteArray& record, uid_t uid, QString* error = nullptr);
};
