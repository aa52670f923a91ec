#include "bench/AgentBenchmarkMain.h"
#include "platform/KeyedArchive.h"
#include "platform/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// The real PalisorAgent started as the login helper starts it, offscreen, in
// a system root of its own with the simulated daemon and a saved
// configuration of 10,000 apps: how long until its daemon socket takes a
// datagram, and how much memory it holds once loaded with its main window up.
namespace {

QByteArray configuration(int applicationCount)
{
    QVariantList records{QVariantMap{{"PalisorClassName", QStringLiteral("PAPreferences")},
                                     {"enableNotifications", true},
                                     {"automaticXPC", true}}};
    for (int i = 0; i < applicationCount; ++i) {
        QVariantList binaries;
        QVariantList matches;
        for (int b = 0; b < 10; ++b)
            binaries.append(
                QStringLiteral("/Applications/Application %1.app/Contents/MacOS/tool%2").arg(i).arg(b));
        for (int m = 0; m < 10; ++m)
            matches.append(m % 2 == 0
                               ? QStringLiteral("@10.%1.%2.%3").arg(i % 256).arg(m).arg((i * 7 + m) % 256)
                               : QStringLiteral("#_range%1:%2").arg(1000 * m).arg(1000 * m + i % 1000));
        records.append(QVariantMap{{"PalisorClassName", QStringLiteral("PAApplication")},
                                   {"appName", QStringLiteral("Application %1.app").arg(i)},
                                   {"appPath", QStringLiteral("/Applications/Application %1.app").arg(i)},
                                   {"appBinaries", binaries},
                                   {"appIsBundle", true},
                                   {"appIsBlockedOrAllowed", qlonglong(i % 5)},
                                   {"appMatches", matches}});
    }
    return PropertyList::toData(
        QVariantList{QVariantMap{{"PalisorClassName", QStringLiteral("PalisorConfiguration")},
                                 {"PalisorConfiguration", KeyedArchive::archive(records)},
                                 {"PalisorVersion", QStringLiteral("1.0.0")}}},
        PropertyList::Format::Binary);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// An installed system as the agent's readiness check looks at it, as the
// demo lays it out; the simulator is the running daemon.
bool layOut(const QString& root)
{
    const QString kext = root + QStringLiteral("/Library/Extensions/palisornke.kext/Contents/Info.plist");
    const QString daemon = root + QStringLiteral("/Library/LaunchDaemons/zz.tolvane.palisorafd.plist");
    const QString agentFolder = root + QStringLiteral("/var/run/palisor/agent");
    if (!writeFile(kext, PropertyList::toData(QVariantMap{{"CFBundleVersion", QStringLiteral("2.1.0")}})) ||
        !writeFile(daemon,
                   PropertyList::toData(QVariantMap{{"Label", QStringLiteral("zz.tolvane.palisorafd")}})) ||
        !QDir().mkpath(root + QStringLiteral("/sys/module/palisornke")) || !QDir().mkpath(agentFolder) ||
        !QDir().mkpath(root + QStringLiteral("/home")))
        return false;
    for (const QString& folder : {root + QStringLiteral("/var/run/palisor"), agentFolder})
        QFile::setPermissions(folder, QFileDevice::Permissions(0x7777));
    return writeFile(root + QStringLiteral("/etc/palisor.conf"), configuration(10000));
}

// True once a datagram sent to the socket at `path` is taken. An empty
// datagram is what the agent ignores as noise.
bool acceptsDatagram(const QByteArray& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= static_cast<qsizetype>(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    if (fd < 0)
        return false;
    const bool sent =
        sendto(fd, "", 0, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return sent;
}

double residentMB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

template <typename Done> bool waitFor(Done done, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QThread::usleep(500);
    }
    return true;
}

void stop(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000))
        process.kill();
    process.waitForFinished(2000);
}

void agentStartAndMemory(benchmark::State& state)
{
    // Without a tray the agent shows its main window after asking for one
    // for a while (30 times a second apart).
    const int windowWaitMs = 60000;
    QByteArray pattern("/tmp/palisor-bench.XXXXXX");
    if (!mkdtemp(pattern.data())) {
        state.SkipWithError("no temporary root");
        return;
    }
    const QString root = QString::fromLocal8Bit(pattern);
    if (!layOut(root)) {
        state.SkipWithError("the root could not be laid out");
        return;
    }
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!bus.waitForReadyRead(10000)) {
        state.SkipWithError("no private bus (dbus-daemon)");
        return;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PALISOR_ROOT"), root);
    environment.insert(QStringLiteral("HOME"), root + QStringLiteral("/home"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/home/.config"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("PALISOR_DBUS_ADDRESS"),
                       QString::fromLocal8Bit(bus.readLine().trimmed()));

    QProcess daemon;
    daemon.setProcessEnvironment(environment);
    daemon.setStandardOutputFile(QProcess::nullDevice());
    daemon.start(QStringLiteral(PALISOR_BENCH_DAEMON_PATH),
                 {QStringLiteral("--timeout"), QStringLiteral("0"), QStringLiteral("--quiet")});
    const QByteArray daemonSocket =
        (root + QStringLiteral("/var/run/palisor/.zz.tolvane.palisor.agentc")).toLocal8Bit();
    const QByteArray agentSocket =
        (root + QStringLiteral("/var/run/palisor/agent/.zz.tolvane.palisor.agents")).toLocal8Bit();
    const QString log = root + QStringLiteral("/home/Library/Logs/palisor.log");
    waitFor([&] { return QFile::exists(QString::fromLocal8Bit(daemonSocket)); }, 10000);

    for (auto _ : state) {
        QProcess agent;
        agent.setProcessEnvironment(environment);
        const auto start = std::chrono::steady_clock::now();
        agent.start(QStringLiteral(PALISOR_BENCH_AGENT_PATH), {});
        const bool open = waitFor([&] { return acceptsDatagram(agentSocket); }, 30000);
        const std::chrono::duration<double> startToSocket = std::chrono::steady_clock::now() - start;
        const bool shown = open && waitFor(
                                       [&] {
                                           QFile file(log);
                                           return file.open(QIODevice::ReadOnly) &&
                                                  file.readAll().contains("showing the main window");
                                       },
                                       windowWaitMs);
        // Let the shown window paint before its memory is read.
        QThread::msleep(500);
        const double rss = residentMB(agent.processId());
        stop(agent);
        if (!open || !shown || rss < 0) {
            state.SkipWithError(open ? "the main window was never shown"
                                     : "the agent never opened its socket");
            break;
        }
        state.SetIterationTime(startToSocket.count());
        state.counters["start_to_socket_s"] = startToSocket.count();
        state.counters["goal_start_s"] = 0.5;
        state.counters["rss_MB"] = rss;
        state.counters["goal_rss_MB"] = 80;
    }
    stop(daemon);
    stop(bus);
    QDir(root).removeRecursively();
}
BENCHMARK(agentStartAndMemory)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runAgentBenchmarks(argc, argv);
}
