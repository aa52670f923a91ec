#pragma once

#include <QString>
#include <QStringList>

// Runs other programs for the agent. Both runners block the calling thread.
class CommandRunner
{
public:
    virtual ~CommandRunner() = default;

    // A program with an argument list, no shell. Returns everything it wrote to
    // standard output and standard error, interleaved, decoded as UTF-8; ""
    // when it prints nothing or cannot be started. The exit status is not
    // examined. Output is drained while the program runs, so a program that
    // prints much never stalls.
    virtual QString run(const QString& program, const QStringList& arguments);

    // One shell command line, through /bin/sh -c; only for the agent's own
    // fixed commands. Returns standard output with line feeds turned into
    // carriage returns and one trailing line end removed, or exactly "ERROR"
    // when the command ends with a non-zero status (so a grep that finds
    // nothing is "ERROR"). With administrator rights the command runs through
    // pkexec, or directly when we already are root; "ERROR" when neither works
    // or the user refuses.
    virtual QString doShellScript(const QString& command, bool withAdministratorPrivileges = false);

    // A program with an argument list, no shell, judged as a script is: its
    // standard output with one trailing line end removed (line feeds kept),
    // or exactly "ERROR" when it cannot be started or ends with a non-zero
    // status. For look-ups whose argument came from outside the agent.
    virtual QString runChecked(const QString& program, const QStringList& arguments);

    // A program with an argument list, run with administrator rights as
    // doShellScript() runs a command: no shell, so no path or value pasted
    // into the call can change what runs. Standard output with the same line
    // ends, or exactly "ERROR".
    virtual QString runAsAdministrator(const QString& program, const QStringList& arguments);

    // The runner the agent uses; tests put a scripted one in place.
    static CommandRunner& shared();
    // nullptr restores the real runner. The caller keeps ownership.
    static void setShared(CommandRunner* runner);
};
