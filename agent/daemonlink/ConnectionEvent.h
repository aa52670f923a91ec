#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The connection-report extension's line and what the connections log makes
// of it: "0 <address> <port> <pid> <x> <y> [<path>...]", blocked when the
// path is there.

// What the parse step asks of the system about a process.
class ConnectionLookups
{
public:
    virtual ~ConnectionLookups() = default;
    // The executable's path, "error" when the process is gone.
    virtual QString infoprocess(quint32 pid) const = 0;
    // The effective user id, -1 when the process is gone.
    virtual int infoRootProcess(quint32 pid) const = 0;
    // The service manager's description of the process ("" when none).
    virtual QString xpcpid(quint32 pid) const = 0;
};

// The system's answers: the daemon endpoint's process look-ups and the
// service manager.
class SystemConnectionLookups : public ConnectionLookups
{
public:
    QString infoprocess(quint32 pid) const override;
    int infoRootProcess(quint32 pid) const override;
    QString xpcpid(quint32 pid) const override;
};

// One report, parsed off the main thread and recorded on it.
struct ParsedConnection
{
    QString path;
    QString address;
    qint64 port = 0;
    qint64 pid = 0;
    // Decimal; "-1" when the system has no record of the process.
    QString uid;
    bool blocked = false;
    QString viaName;
    QString hostPath;
    bool otherUser = false;
};

// The fields of a reported line: line feeds removed, split on single blanks.
// nullopt for a line the road cannot use, which is ignored: field 0 is not
// "0", there are fewer than the four fields it reads, or the pid or the port
// is no plain decimal number of its range. Anyone who may write to the
// socket chooses these bytes.
std::optional<QStringList> connectionEventFields(const QString& line);

// The parse step, off the main thread: fields as connectionEventFields() gives.
ParsedConnection parseConnectionEvent(const QStringList& fields, const ConnectionLookups& lookups,
                                      qint64 myUID);

// The process that hosts an XPC service, or the pid itself when none is found.
quint32 xpcHostPid(quint32 pid, const ConnectionLookups& lookups);

// The name the log line gives a process path: the outermost ".app" bundle's
// name for a path inside one, else the last component.
QString connectionProcessName(const QString& path);

// The line the agent's log gets for a report, at `secondsSince1970`. Control
// characters of the reported and looked-up texts are written as "\xNN" (and
// "\uNNNN"), so a line is always one line.
QString connectionLogLine(const ParsedConnection& connection, double secondsSince1970);
