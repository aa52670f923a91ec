#include "platform/CommandRunner.h"

#include <QByteArrayList>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

const QString scriptErrorResult = QStringLiteral("ERROR");
const char* const pkexecPaths[] = {"/usr/bin/pkexec", "/bin/pkexec"};

std::atomic<CommandRunner*> installedRunner{nullptr};

enum class StandardError { IntoOutput, Discarded };

struct Outcome
{
    bool started = false;
    int status = 0;
    QByteArray output;
};

// A child must find our pipe above its standard descriptors; when one of those
// is closed in our process the pipe may have landed there.
bool moveAboveStandardDescriptors(int& fd)
{
    if (fd > STDERR_FILENO)
        return true;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    close(fd);
    fd = moved;
    return moved >= 0;
}

Outcome spawnAndCollect(QByteArrayList argv, StandardError standardError)
{
    Outcome outcome;
    // Close-on-exec from the start: a run on another thread must not hand our
    // write end to its child, or our read would wait for that child too.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return outcome;
    if (!moveAboveStandardDescriptors(fds[0]) || !moveAboveStandardDescriptors(fds[1])) {
        if (fds[0] >= 0)
            close(fds[0]);
        if (fds[1] >= 0)
            close(fds[1]);
        return outcome;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    if (standardError == StandardError::IntoOutput)
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // Whatever else we hold open (sockets, files opened without O_CLOEXEC) is
    // none of the child's business.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    // The child starts with default signal handling, whatever we ignore or
    // block (an ignored SIGPIPE would break its own pipelines).
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signalSet;
    sigemptyset(&signalSet);
    posix_spawnattr_setsigmask(&attributes, &signalSet);
    sigaddset(&signalSet, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &signalSet);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> arguments;
    arguments.reserve(argv.size() + 1);
    for (QByteArray& argument : argv)
        arguments.push_back(argument.data());
    arguments.push_back(nullptr);

    pid_t pid = 0;
    const int spawnError =
        posix_spawn(&pid, arguments.front(), &actions, &attributes, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(fds[1]);
    if (spawnError != 0) {
        close(fds[0]);
        return outcome;
    }
    outcome.started = true;

    // Read to end of file before waiting, so a program that prints more than
    // the pipe holds keeps going.
    char buffer[65536];
    for (;;) {
        const ssize_t count = read(fds[0], buffer, sizeof buffer);
        if (count > 0)
            outcome.output.append(buffer, count);
        else if (count == 0 || errno != EINTR)
            break;
    }
    close(fds[0]);

    while (waitpid(pid, &outcome.status, 0) < 0) {
        if (errno != EINTR) {
            outcome.status = -1;
            break;
        }
    }
    return outcome;
}

} // namespace

QString CommandRunner::run(const QString& program, const QStringList& arguments)
{
    if (program.isEmpty())
        return QString();
    QByteArrayList argv{program.toLocal8Bit()};
    for (const QString& argument : arguments)
        argv.append(argument.toLocal8Bit());
    const Outcome outcome = spawnAndCollect(argv, StandardError::IntoOutput);
    return QString::fromUtf8(outcome.output);
}

namespace {

// pkexec clears the environment; our root has to travel with the command so
// that an administrator run inside a test or demo root stays inside it.
bool elevate(QByteArrayList& argv)
{
    if (geteuid() == 0)
        return true;
    const char* pkexec = nullptr;
    for (const char* candidate : pkexecPaths) {
        if (access(candidate, X_OK) == 0) {
            pkexec = candidate;
            break;
        }
    }
    if (!pkexec)
        return false;
    const QByteArray root = qgetenv("PALISOR_ROOT");
    if (!root.isEmpty()) {
        argv.prepend("PALISOR_ROOT=" + root);
        argv.prepend("/usr/bin/env");
    }
    argv.prepend(pkexec);
    return true;
}

enum class LineEnds { Returns, Kept };

QString scriptResult(const Outcome& outcome, LineEnds lineEnds = LineEnds::Returns)
{
    if (!outcome.started || !WIFEXITED(outcome.status) || WEXITSTATUS(outcome.status) != 0)
        return scriptErrorResult;
    QString result = QString::fromUtf8(outcome.output);
    if (result.endsWith(QLatin1Char('\n')))
        result.chop(1);
    if (lineEnds == LineEnds::Returns)
        result.replace(QLatin1Char('\n'), QLatin1Char('\r'));
    return result;
}

QByteArrayList argumentVector(const QString& program, const QStringList& arguments)
{
    QByteArrayList argv{program.toLocal8Bit()};
    for (const QString& argument : arguments)
        argv.append(argument.toLocal8Bit());
    return argv;
}

} // namespace

QString CommandRunner::doShellScript(const QString& command, bool withAdministratorPrivileges)
{
    QByteArrayList argv{"/bin/sh", "-c", command.toLocal8Bit()};
    if (withAdministratorPrivileges && !elevate(argv))
        return scriptErrorResult;
    return scriptResult(spawnAndCollect(argv, StandardError::Discarded));
}

QString CommandRunner::runChecked(const QString& program, const QStringList& arguments)
{
    if (program.isEmpty())
        return scriptErrorResult;
    return scriptResult(spawnAndCollect(argumentVector(program, arguments), StandardError::Discarded),
                        LineEnds::Kept);
}

QString CommandRunner::runAsAdministrator(const QString& program, const QStringList& arguments)
{
    if (program.isEmpty())
        return scriptErrorResult;
    QByteArrayList argv = argumentVector(program, arguments);
    if (!elevate(argv))
        return scriptErrorResult;
    return scriptResult(spawnAndCollect(argv, StandardError::Discarded));
}

CommandRunner& CommandRunner::shared()
{
    static CommandRunner realRunner;
    CommandRunner* runner = installedRunner.load();
    return runner ? *runner : realRunner;
}

void CommandRunner::setShared(CommandRunner* runner)
{
    installedRunner.store(runner);
}
