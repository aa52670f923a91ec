#include "app/MainInterface.h"
#include "bench/AgentBenchmarkMain.h"
#include "bench/QuietCenter.h"
#include "core/PAApplication.h"
#include "core/PAConfiguration.h"
#include "core/PAConfigurationRecords.h"
#include "core/SharedState.h"
#include "daemonlink/PAAppsIndex.h"
#include "daemonlink/PASavedRuleDecision.h"
#include "daemonlink/managesocketagent.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/PropertyList.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// --- Plain POSIX: the floor, and the daemon's side of every round trip.

struct DatagramAddress
{
    sockaddr_un address{};
    socklen_t length = 0;
};

DatagramAddress datagramAddress(const QString& path)
{
    DatagramAddress result;
    result.address.sun_family = AF_UNIX;
    const QByteArray bytes = path.toLocal8Bit();
    std::memcpy(result.address.sun_path, bytes.constData(),
                std::min(static_cast<size_t>(bytes.size()), sizeof result.address.sun_path - 1));
    result.length = sizeof result.address;
    return result;
}

int boundDatagramSocket(const DatagramAddress& address)
{
    unlink(address.address.sun_path);
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    bind(fd, reinterpret_cast<const sockaddr*>(&address.address), address.length);
    return fd;
}

// The plainest server of the same kind of socket: every datagram goes back to
// its sender, on a thread of its own.
class EchoServer
{
public:
    explicit EchoServer(const DatagramAddress& address)
        : m_fd(boundDatagramSocket(address))
        , m_thread([fd = m_fd] {
            char buffer[managesocketagent::kDatagramSize];
            sockaddr_un from{};
            for (;;) {
                socklen_t fromLength = sizeof from;
                const ssize_t received =
                    recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
                if (received <= 0)
                    return;
                sendto(fd, buffer, static_cast<size_t>(received), 0, reinterpret_cast<const sockaddr*>(&from),
                       fromLength);
            }
        })
    {
    }

    ~EchoServer()
    {
        shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        close(m_fd);
    }

private:
    int m_fd;
    std::thread m_thread;
};

// The daemon's side, the same for the floor and for the agent: one 128-byte
// request sent, then its answer awaited on the client's own bound socket.
// Seconds per round trip, after a few unmeasured ones; NaN when the answer
// is not `expected`.
double timedRoundTrips(int client, const DatagramAddress& server, const QByteArray& request,
                       const QByteArray& expected, int rounds)
{
    char answer[managesocketagent::kDatagramSize];
    auto roundTrip = [&] {
        sendto(client, request.constData(), static_cast<size_t>(request.size()), 0,
               reinterpret_cast<const sockaddr*>(&server.address), server.length);
        return recv(client, answer, sizeof answer, 0) > 0;
    };
    for (int i = 0; i < 10; ++i)
        roundTrip();
    if (QByteArray(answer, sizeof answer) != expected)
        return std::numeric_limits<double>::quiet_NaN();
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i)
        if (!roundTrip())
            return std::numeric_limits<double>::infinity();
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    return elapsed.count() / rounds;
}

QByteArray datagram(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    bytes.resize(managesocketagent::kDatagramSize, '\0');
    return bytes;
}

double bareRoundTripSeconds(int rounds)
{
    QTemporaryDir dir(QStringLiteral("/tmp/palisor-bench.XXXXXX"));
    const DatagramAddress server = datagramAddress(dir.filePath(QStringLiteral("echo")));
    const EchoServer echo(server);
    const int client = boundDatagramSocket(datagramAddress(dir.filePath(QStringLiteral("client"))));
    const QByteArray request = datagram(QStringLiteral("1 10.0.0.5 443 4242 TCP 4 0"));
    const double seconds = timedRoundTrips(client, server, request, request, rounds);
    close(client);
    return seconds;
}

// --- The agent.

// A saved configuration of `apps` managed apps as users have them: bundles
// with a few binaries and command-line tools, each with addresses, networks
// and ports among its matches and every state among them; the deciding app,
// a tool that passes, last.
QByteArray configurationFile(int apps, const QString& target)
{
    QVariantList records{PAConfigurationRecords::preferencesRecord()};
    for (int i = 0; i < apps - 1; ++i) {
        const bool bundle = i % 2 == 0;
        const QString name =
            bundle ? QStringLiteral("Application %1.app").arg(i) : QStringLiteral("tool-%1").arg(i);
        const QString path =
            bundle ? QStringLiteral("/Applications/") + name : QStringLiteral("/usr/local/bin/") + name;
        const QStringList binaries =
            bundle
                ? QStringList{name + QLatin1Char('/'), QStringLiteral("%1 Helper.app/").arg(name.chopped(4)),
                              QStringLiteral("%1 Updater.xpc/").arg(name.chopped(4))}
                : QStringList{path};
        QVariantList matches;
        for (int m = 0; m < 10; ++m) {
            const QChar side = m % 2 == 0 ? QLatin1Char('@') : QLatin1Char('#');
            switch (m % 3) {
            case 0:
                matches.append(side +
                               QStringLiteral("10.%1.%2.%3").arg(i % 256).arg(m).arg((i * 7 + m) % 256));
                break;
            case 1:
                matches.append(side + QStringLiteral("172.%1.%2.0/24").arg(16 + i % 16).arg(m));
                break;
            default:
                matches.append(side + QString::number(1000 + m * 100 + i % 100));
                break;
            }
        }
        records.append(QVariantMap{{"PalisorClassName", QStringLiteral("PAApplication")},
                                   {"appName", name},
                                   {"appPath", path},
                                   {"appBinaries", binaries},
                                   {"appIsBundle", bundle},
                                   {"appIsBlockedOrAllowed", qlonglong(i % 5)},
                                   {"appMatches", matches}});
    }
    records.append(QVariantMap{{"PalisorClassName", QStringLiteral("PAApplication")},
                               {"appName", QFileInfo(target).fileName()},
                               {"appPath", target},
                               {"appBinaries", QStringList{target}},
                               {"appIsBundle", false},
                               {"appIsBlockedOrAllowed", qlonglong(0)},
                               {"appMatches", QVariantList{}}});
    return PropertyList::toData(records, PropertyList::Format::Binary);
}

// The agent as it runs: its configuration loaded by its own loader, its
// receive loop on its own thread, a real process asking.
class AgentRig
{
public:
    explicit AgentRig(int apps)
        : m_root(QStringLiteral("/tmp/palisor-bench.XXXXXX"))
    {
        qputenv("PALISOR_ROOT", m_root.path().toLocal8Bit());
        QDir().mkpath(m_root.filePath(QStringLiteral("var/run/palisor/agent")));
        const QString program = m_root.filePath(QStringLiteral("bin/target-program"));
        QDir().mkpath(QFileInfo(program).absolutePath());
        QFile::copy(QStringLiteral("/bin/sleep"), program);
        m_child.start(program, {QStringLiteral("600")});
        m_child.waitForStarted();
        m_pid = m_child.processId();
        // The exec must be through before the path is looked up.
        while (QFileInfo(QStringLiteral("/proc/%1/exe").arg(m_pid)).symLinkTarget() != program)
            std::this_thread::yield();

        DistributedNotificationCenter::setDefaultCenter(&m_center);
        m_interface = std::make_unique<MainInterface>();
        const QString configuration = m_root.filePath(QStringLiteral("palisor.conf"));
        QFile file(configuration);
        if (file.open(QIODevice::WriteOnly))
            file.write(configurationFile(apps, program));
        file.close();
        m_loaded =
            m_interface->configuration()->loadConf(configuration) && sharedAppsLibrary.size() == size_t(apps);
        enableNotifications = true;

        m_daemon = boundDatagramSocket(datagramAddress(managesocketagent::daemonSocketPath()));
        QString error;
        managesocketagent::setUpSocket(&error);
        managesocketagent* endpoint = m_interface->socketAgent();
        m_loop = std::thread([endpoint] { endpoint->receiveLoop(); });
        m_request = datagram(QStringLiteral("1 10.0.0.5 443 %1 TCP 4 0").arg(m_pid));
        // The deciding app passes: its state answers.
        m_answer = datagram(QStringLiteral("1 10.0.0.5 443 %1 TCP 4 0 0 # #").arg(m_pid));
    }

    ~AgentRig()
    {
        managesocketagent::stopReceiving();
        m_loop.join();
        close(m_daemon);
        m_interface.reset();
        DistributedNotificationCenter::setDefaultCenter(nullptr);
        m_child.kill();
        m_child.waitForFinished();
        sharedAppsLibrary.clear();
        qunsetenv("PALISOR_ROOT");
    }

    bool loaded() const { return m_loaded; }
    qint64 pid() const { return m_pid; }

    // Timed from a client thread as the daemon would, while the main thread
    // waits in its event loop.
    double roundTripSeconds(int rounds)
    {
        QEventLoop loop;
        double seconds = 0;
        const DatagramAddress agent = datagramAddress(managesocketagent::agentSocketPath());
        std::thread client([&] {
            seconds = timedRoundTrips(m_daemon, agent, m_request, m_answer, rounds);
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        client.join();
        return seconds;
    }

private:
    QTemporaryDir m_root;
    QProcess m_child;
    qint64 m_pid = 0;
    QuietCenter m_center;
    std::unique_ptr<MainInterface> m_interface;
    bool m_loaded = false;
    int m_daemon = -1;
    std::thread m_loop;
    QByteArray m_request;
    QByteArray m_answer;
};

// Seconds per round trip of an agent holding `apps` managed apps; NaN when
// its configuration did not load or it answered otherwise.
double agentRoundTripSeconds(int apps, int rounds)
{
    AgentRig rig(apps);
    return rig.loaded() ? rig.roundTripSeconds(rounds) : std::numeric_limits<double>::quiet_NaN();
}

void savedRuleAnswerRoundTrip(benchmark::State& state)
{
    const int rounds = 2000;
    // The best of five runs each, interleaved, so that a busy moment of the
    // machine does not land on one side of a ratio.
    // A failed run (NaN) spoils the best.
    auto best = [](double a, double b) { return std::isnan(b) ? b : std::min(a, b); };
    double bare = 1e9, small = 1e9, large = 1e9;
    for (auto _ : state) {
        for (int run = 0; run < 5; ++run) {
            bare = best(bare, bareRoundTripSeconds(rounds));
            small = best(small, agentRoundTripSeconds(100, rounds));
            large = best(large, agentRoundTripSeconds(10000, rounds));
        }
        if (std::isnan(bare) || std::isnan(small) || std::isnan(large)) {
            state.SkipWithError("the agent did not load its configuration or answered otherwise");
            return;
        }
        state.SetIterationTime(small);
    }
    state.counters["bare_us"] = bare * 1e6;
    state.counters["apps100_us"] = small * 1e6;
    state.counters["apps10000_us"] = large * 1e6;
    state.counters["ours_over_bare"] = small / bare;
    state.counters["ours_over_bare_goal"] = 3;
    state.counters["apps10000_over_apps100"] = large / small;
    state.counters["apps10000_over_apps100_goal"] = 1.2;
}
BENCHMARK(savedRuleAnswerRoundTrip)->UseManualTime()->Iterations(1)->Unit(benchmark::kMicrosecond);

// Where the time goes.
void handOverToTheMainThread(benchmark::State& state)
{
    for (auto _ : state) {
        std::atomic<bool> ran{false};
        std::thread([&] { synchronizedQueue().asyncBarrier([&] { ran = true; }); }).join();
        while (!ran)
            QCoreApplication::processEvents();
    }
}
BENCHMARK(handOverToTheMainThread)->Unit(benchmark::kMicrosecond);

void processLookUps(benchmark::State& state)
{
    AgentRig rig(1);
    managesocketagent endpoint;
    for (auto _ : state) {
        benchmark::DoNotOptimize(endpoint.infoprocess(static_cast<uint32_t>(rig.pid())));
        benchmark::DoNotOptimize(endpoint.infoRootProcess(static_cast<uint32_t>(rig.pid())));
    }
}
BENCHMARK(processLookUps)->Unit(benchmark::kMicrosecond);

void decision(benchmark::State& state)
{
    AgentRig rig(static_cast<int>(state.range(0)));
    const QString path = QFileInfo(QStringLiteral("/proc/%1/exe").arg(rig.pid())).symLinkTarget();
    const QString request = QStringLiteral("1 10.0.0.5 443 %1 TCP 4 0").arg(rig.pid());
    for (auto _ : state) {
        // The request road's own decision, on the index it keeps current.
        const PASavedRuleDecision answer = PASavedRuleDecision::decide(
            request, path, true, QStringLiteral("10.0.0.5"), QStringLiteral("443"), PAAppsIndex::current());
        benchmark::DoNotOptimize(answer.answers.size());
    }
}
BENCHMARK(decision)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    return runAgentBenchmarks(argc, argv);
}
