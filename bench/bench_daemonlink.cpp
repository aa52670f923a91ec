#include "app/MainInterface.h"
#include "bench/AgentBenchmarkMain.h"
#include "core/PAApplication.h"
#include "core/SharedState.h"
#include "daemonlink/PAAppsIndex.h"
#include "daemonlink/PASavedRuleDecision.h"
#include "daemonlink/managesocketagent.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int boundSocket(const QString& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = path.toLocal8Bit();
    std::memcpy(address.sun_path, bytes.constData(), static_cast<size_t>(bytes.size()));
    unlink(address.sun_path);
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return fd;
}

void sendTo(int fd, const QString& path, const char* datagram)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = path.toLocal8Bit();
    std::memcpy(address.sun_path, bytes.constData(), static_cast<size_t>(bytes.size()));
    sendto(fd, datagram, 128, 0, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

// The floor: two datagram sockets on this machine, one echoing.
double bareRoundTripSeconds(int rounds)
{
    QTemporaryDir dir(QStringLiteral("/tmp/palisor-bench.XXXXXX"));
    const QString echoPath = dir.filePath(QStringLiteral("echo")),
                  clientPath = dir.filePath(QStringLiteral("client"));
    const int echo = boundSocket(echoPath);
    const int client = boundSocket(clientPath);
    std::thread echoer([&] {
        char buffer[128];
        for (int i = 0; i < rounds; ++i) {
            if (recv(echo, buffer, sizeof buffer, 0) <= 0)
                break;
            sendTo(echo, clientPath, buffer);
        }
    });
    char datagram[128] = "1 10.0.0.5 443 4242 TCP 4 0";
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        sendTo(client, echoPath, datagram);
        recv(client, datagram, sizeof datagram, 0);
    }
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    echoer.join();
    close(echo);
    close(client);
    return elapsed.count() / rounds;
}

// The agent answering from a saved state, N managed apps with 10 binaries and
// 10 matches each, the deciding app last in the list.
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

        sharedAppsLibrary.clear();
        for (int i = 0; i < apps - 1; ++i) {
            QStringList binaries, matches;
            for (int b = 0; b < 10; ++b)
                binaries << QStringLiteral("/Applications/App%1.app/Contents/MacOS/helper%2").arg(i).arg(b);
            for (int m = 0; m < 10; ++m)
                matches << QStringLiteral("@10.%1.%2.0/24").arg(i % 250).arg(m);
            auto app =
                std::make_shared<PAApplication>(QStringLiteral("App%1.app").arg(i), binaries, true, false,
                                                QStringLiteral("/Applications/App%1.app").arg(i));
            app->setRule(4);
            app->setAppMatches(matches);
            sharedAppsLibrary.push_back(app);
        }
        auto target = std::make_shared<PAApplication>(QStringLiteral("target-program"), QStringList{program},
                                                      false, false, program);
        target->setRule(0);
        sharedAppsLibrary.push_back(target);
        enableNotifications = true;

        m_daemon = boundSocket(managesocketagent::daemonSocketPath());
        QString error;
        managesocketagent::setUpSocket(&error);
        managesocketagent* endpoint = m_interface.socketAgent();
        m_loop = std::thread([endpoint] { endpoint->receiveLoop(); });
        m_request = QStringLiteral("1 10.0.0.5 443 %1 TCP 4 0").arg(m_pid).toUtf8();
        m_request.resize(128, '\0');
    }

    ~AgentRig()
    {
        managesocketagent::stopReceiving();
        m_loop.join();
        close(m_daemon);
        m_child.kill();
        m_child.waitForFinished();
        sharedAppsLibrary.clear();
        qunsetenv("PALISOR_ROOT");
    }

    // One request sent and its answer received, the main loop turning.
    bool roundTrip()
    {
        sendTo(m_daemon, managesocketagent::agentSocketPath(), m_request.constData());
        char answer[128];
        for (;;) {
            if (recv(m_daemon, answer, sizeof answer, MSG_DONTWAIT) > 0)
                return true;
            QCoreApplication::processEvents();
        }
    }

    qint64 pid() const { return m_pid; }

private:
    QTemporaryDir m_root;
    QProcess m_child;
    qint64 m_pid = 0;
    MainInterface m_interface;
    int m_daemon = -1;
    std::thread m_loop;
    QByteArray m_request;
};

double agentRoundTripSeconds(int apps, int rounds)
{
    AgentRig rig(apps);
    rig.roundTrip();
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i)
        rig.roundTrip();
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    return elapsed.count() / rounds;
}

void autoAnsweredRoundTrip(benchmark::State& state)
{
    const int rounds = 2000;
    // The best of three runs each, interleaved, so that a busy moment of the
    // machine does not land on one side of a ratio.
    auto best = [](double a, double b) { return std::min(a, b); };
    for (auto _ : state) {
        double bare = 1e9, small = 1e9, large = 1e9;
        for (int run = 0; run < 3; ++run) {
            bare = best(bare, bareRoundTripSeconds(rounds));
            small = best(small, agentRoundTripSeconds(100, rounds));
            large = best(large, agentRoundTripSeconds(10000, rounds));
        }
        state.SetIterationTime(large);
        state.counters["bare_us"] = bare * 1e6;
        state.counters["apps100_us"] = small * 1e6;
        state.counters["apps10000_us"] = large * 1e6;
        state.counters["apps100_over_bare"] = small / bare;
        state.counters["apps10000_over_apps100"] = large / small;
    }
}
BENCHMARK(autoAnsweredRoundTrip)->UseManualTime()->Iterations(1)->Unit(benchmark::kMicrosecond);

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
            request, path, QStringLiteral("10.0.0.5"), QStringLiteral("443"), PAAppsIndex::current());
        benchmark::DoNotOptimize(answer.answers.size());
    }
}
BENCHMARK(decision)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    return runAgentBenchmarks(argc, argv);
}
