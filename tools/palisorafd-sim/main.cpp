#include "palisorafd-sim/DaemonScript.h"
#include "palisorafd-sim/DaemonScriptRunner.h"
#include "palisorafd-sim/SimulatedDaemon.h"
#include "palisorafd-sim/StdinReader.h"
#include "platform/Log.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

enum ExitStatus { Success = 0, SetupFailed = 1, UsageError = 2 };

const char* const kUsage = R"(Usage: palisorafd [options]

Plays the firewall's root daemon: binds the daemon's socket under the root,
sends connection requests to the agent, prints the agent's answers and the
notifications the agent posts to the daemon, and writes /etc/palisor.conf
under the root from "writePalisorConfiguration".

Options:
  --root <dir>          the system root (overrides PALISOR_ROOT)
  --spawn <command>     start a child first; "{pid}" in the requests and
                        reports below stands for its pid
  --request <text>      send one request; may be given more than once
  --report <line>       send one connection report, as the connection-report
                        extension does, to the agent of our user; may be
                        given more than once
  --script <file>       run the lines of a script file
  --stdin               run lines from standard input as they are typed
  --timeout <seconds>   keep listening this long after the last line
                        (default 5; 0 listens until interrupted)
  --quiet               print only answers, notifications and problems
  -h, --help            show this text
The child runs first, then the requests, the reports, the script and
standard input.

Lines of a script or of standard input:
  17 10.0.0.5 443 4242 TCP 4 0     a request, sent exactly as written
  wait <ms>                        pause
  expect <n> [answers] [within <ms>]
                                   wait until n more answers have arrived than
                                   earlier expects asked for (at most 10 s)
  spawn <command> [arguments]      start a child; "{pid}" in later requests
                                   stands for its pid
  gone                             "{pid}" becomes the pid of a process that
                                   has exited
  report 0 10.0.0.5 443 {pid} 6 0  a connection report, sent as written
                                   (a seventh field and on: blocked, with
                                   the path)
  # comment                        skipped, as are blank lines

Output, one line each:
  answer <request> -> <code>       an answer to a request sent ("0 # #", "4 0 1")
  answer 5                         the clear-all command
  unmatched <text>                 a datagram that answers no request sent
  notification <name> <object>: <summary>
  sent, reported, spawned, gone, listening
                                   what the simulator did (not with --quiet)
Problems go to standard error.

Exit status: 0 success; 1 the socket cannot be set up, or a send or spawn
failed; 2 usage error; 3 an expect was not met.
)";

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(g_signalPipe[1], &byte, 1);
}

void printLine(FILE* stream, const QString& line)
{
    std::fprintf(stream, "%s\n", line.toLocal8Bit().constData());
    // Others read us through pipes and wait for each line.
    std::fflush(stream);
}

int usageError(const QString& message)
{
    printLine(stderr, QStringLiteral("palisorafd: ") + message);
    printLine(stderr, QStringLiteral("Try \"palisorafd --help\"."));
    return UsageError;
}

// SIGINT and SIGTERM end the event loop, so spawned children are ended too.
void quitOnSignals(QCoreApplication& app)
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte;
        while (::read(g_signalPipe[0], &byte, 1) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    Log::installMessageHandler();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("palisorafd"));

    const QCommandLineOption rootOption(QStringLiteral("root"), QString(), QStringLiteral("dir"));
    const QCommandLineOption requestOption(QStringLiteral("request"), QString(), QStringLiteral("text"));
    const QCommandLineOption reportOption(QStringLiteral("report"), QString(), QStringLiteral("line"));
    const QCommandLineOption spawnOption(QStringLiteral("spawn"), QString(), QStringLiteral("command"));
    const QCommandLineOption scriptOption(QStringLiteral("script"), QString(), QStringLiteral("file"));
    const QCommandLineOption stdinOption(QStringLiteral("stdin"));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"), QString(), QStringLiteral("seconds"));
    const QCommandLineOption quietOption(QStringLiteral("quiet"));
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    QCommandLineParser parser;
    parser.addOptions({rootOption, spawnOption, requestOption, reportOption, scriptOption, stdinOption,
                       timeoutOption, quietOption, helpOption});
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        std::fputs(kUsage, stdout);
        return Success;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    if (parser.values(scriptOption).size() > 1)
        return usageError(QStringLiteral("--script may be given once"));
    if (parser.values(spawnOption).size() > 1)
        return usageError(QStringLiteral("--spawn may be given once"));

    double timeoutSeconds = 5;
    if (parser.isSet(timeoutOption)) {
        bool ok = false;
        timeoutSeconds = parser.value(timeoutOption).toDouble(&ok);
        if (!ok || !std::isfinite(timeoutSeconds) || timeoutSeconds < 0 || timeoutSeconds > 1e6)
            return usageError(QStringLiteral("--timeout takes a number of seconds, 0 or more"));
    }
    const bool quiet = parser.isSet(quietOption);

    if (parser.isSet(rootOption)) {
        const QString root = parser.value(rootOption);
        if (root.isEmpty())
            return usageError(QStringLiteral("--root takes a folder"));
        qputenv("PALISOR_ROOT", QFile::encodeName(QDir(root).absolutePath()));
    }

    std::vector<DaemonScript::Step> steps;
    if (parser.isSet(spawnOption)) {
        DaemonScript::Step step;
        QString error;
        if (!DaemonScript::parseLine(QStringLiteral("spawn ") + parser.value(spawnOption), &step, &error))
            return usageError(QStringLiteral("--spawn: ") + error);
        steps.push_back(step);
    }
    for (const QString& request : parser.values(requestOption)) {
        DaemonScript::Step step;
        step.kind = DaemonScript::Step::Kind::Request;
        step.text = request;
        steps.push_back(step);
    }
    for (const QString& report : parser.values(reportOption)) {
        DaemonScript::Step step;
        step.kind = DaemonScript::Step::Kind::Report;
        step.text = report;
        steps.push_back(step);
    }
    if (parser.isSet(scriptOption)) {
        const QString path = parser.value(scriptOption);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return usageError(QStringLiteral("cannot read the script %1: %2").arg(path, file.errorString()));
        std::vector<DaemonScript::Step> scriptSteps;
        QString error;
        if (!DaemonScript::parse(QString::fromUtf8(file.readAll()), &scriptSteps, &error))
            return usageError(QStringLiteral("%1:%2").arg(path, error));
        steps.insert(steps.end(), scriptSteps.begin(), scriptSteps.end());
    }

    SimulatedDaemon daemon;
    QString error;
    if (!daemon.bind(&error)) {
        printLine(stderr, QStringLiteral("palisorafd: ") + error);
        return SetupFailed;
    }
    QObject::connect(&daemon, &SimulatedDaemon::answerReceived, [](const SimulatedDaemon::Answer& answer) {
        printLine(stdout, SimulatedDaemon::describe(answer));
    });
    QObject::connect(&daemon, &SimulatedDaemon::notificationReceived,
                     [](const SimulatedDaemon::Notification& notification) {
                         printLine(stdout, SimulatedDaemon::describe(notification));
                     });
    QObject::connect(&daemon, &SimulatedDaemon::problem, [](const QString& message) {
        printLine(stderr, QStringLiteral("palisorafd: ") + message);
    });
    daemon.listenForNotifications();
    quitOnSignals(app);
    // From here on both the socket and the bus are heard: a script that starts
    // the agent can wait for this line.
    if (!quiet)
        printLine(stdout, QStringLiteral("listening %1").arg(SimulatedDaemon::daemonSocketPath()));

    DaemonScriptRunner runner(daemon);
    if (!quiet)
        QObject::connect(&runner, &DaemonScriptRunner::info,
                         [](const QString& line) { printLine(stdout, line); });
    QObject::connect(&runner, &DaemonScriptRunner::problem, [](const QString& message) {
        printLine(stderr, QStringLiteral("palisorafd: ") + message);
    });
    QObject::connect(&runner, &DaemonScriptRunner::finished, &app, [&app, timeoutSeconds] {
        if (timeoutSeconds > 0)
            QTimer::singleShot(int(std::lround(timeoutSeconds * 1000)), &app, &QCoreApplication::quit);
    });

    StdinReader reader;
    runner.append(steps);
    if (parser.isSet(stdinOption)) {
        QObject::connect(&reader, &StdinReader::lineRead, &runner, &DaemonScriptRunner::appendLine);
        QObject::connect(&reader, &StdinReader::finished, &runner, &DaemonScriptRunner::finishInput);
        reader.start();
    } else {
        runner.finishInput();
    }

    app.exec();
    return runner.status();
}
