#include "app/AppDelegate.h"
#include "app/MainInterface.h"
#include "bench/AgentBenchmarkMain.h"
#include "bench/QuietCenter.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "daemonlink/Socketcon.h"
#include "mainwindow/PAConnection.h"
#include "mainwindow/PAConnectionController.h"
#include "mainwindow/PAConnectionsModel.h"
#include "mainwindow/PAController.h"
#include "platform/KernelEventSocket.h"
#include "platform/MainQueue.h"
#include "platform/widgets/PATableView.h"
#include "setup/PAPreferencesController.h"
#include "support/ManualClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QProcess>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <malloc.h>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

// The live connections log under a steady 10,000 reports per second with a
// 30 s age limit: 300,000 rows live once the log is full, pruned every 5 s.
// Each report reaches the list as the road hands it over, one main-queue
// work item calling addConnection(), into a shown and autoscrolled table.
// Time inside the log follows a manual clock, so 40 s of traffic run as fast
// as the main thread can take them; the main thread must still take them
// faster than they come (reports_per_s above 10,000), drop none, and never
// stall longer than 50 ms in one go (max_stall_ms): one turn of the event
// loop, one tick of pruning. The baseline keeps the same connections in a
// plain std::vector, pruned from the front, with no view.
namespace {

constexpr int kReportsPerSecond = 10000;
constexpr double kTtl = 30.0;
constexpr int kSeconds = 40;
// Reports arrive in 10 ms steps: 100 work items, then a turn of the loop.
constexpr int kStepsPerSecond = 100;
constexpr int kReportsPerStep = kReportsPerSecond / kStepsPerSecond;

// Bytes the allocator has handed out and not taken back: unlike the resident
// size, this does not depend on what an earlier run left in its free lists.
qint64 allocatedBytes()
{
    return static_cast<qint64>(mallinfo2().uordblks);
}

PAConnection* makeReport(int n, const QDateTime& now)
{
    static const QString paths[] = {
        QStringLiteral("/Applications/Safari.app/Contents/MacOS/Safari"), QStringLiteral("/usr/bin/curl"),
        QStringLiteral("/usr/lib/firefox/firefox"), QStringLiteral("/usr/sbin/ntpd"),
        QStringLiteral("/opt/Mail.app/Contents/MacOS/Mail")};
    auto* connection = new PAConnection(
        paths[n % 5], QStringLiteral("10.%1.%2.%3").arg((n >> 16) & 255).arg((n >> 8) & 255).arg(n & 255),
        443, 1000 + n % 50, QStringLiteral("1000"), n % 7 == 0, QString(), QString(), false);
    connection->connRealDate = now;
    return connection;
}

struct Outcome
{
    double realSeconds = 0;
    double maxStallMs = 0;
    // The longest turn of the event loop, and the longest pruning tick.
    double maxTurnMs = 0;
    double maxPruneMs = 0;
    qint64 added = 0;
    qint64 removed = 0;
    qint64 peakLive = 0;
    qint64 bytesPerRow = 0;
};

void report(benchmark::State& state, const Outcome& outcome, qint64 live)
{
    state.counters["reports_per_s"] = static_cast<double>(outcome.added) / outcome.realSeconds;
    state.counters["max_stall_ms"] = outcome.maxStallMs;
    state.counters["max_stall_ms_goal"] = 50;
    state.counters["reports_per_s_goal"] = kReportsPerSecond;
    if (outcome.maxTurnMs > 0) {
        state.counters["max_turn_ms"] = outcome.maxTurnMs;
        state.counters["max_prune_ms"] = outcome.maxPruneMs;
    }
    state.counters["peak_rows_live"] = static_cast<double>(outcome.peakLive);
    state.counters["dropped"] = static_cast<double>(outcome.added - outcome.removed - live);
    state.counters["bytes_per_row"] = static_cast<double>(outcome.bytesPerRow);
    if (outcome.added != outcome.removed + live)
        state.SkipWithError("connections were dropped");
}

// Counts the rows pruned from the list. Icons come as the agent makes them,
// once per program's path.
void watchList(PAConnectionsModel& model, Outcome& outcome)
{
    QObject::connect(
        &model, &QAbstractItemModel::rowsRemoved,
        [&outcome](const QModelIndex&, int first, int last) { outcome.removed += last - first + 1; });
}

void BM_ConnectionsLog(benchmark::State& state)
{
    // The list, not the system's resolver: every new address would wait for
    // its answer on the look-up pool.
    showHostnames = false;
    for (auto _ : state) {
        ScopedManualClock clock;
        connectionsTTL = kTtl;
        logAutoscroll = true;
        PAWorkQueues queues;
        PAPreferencesController preferences;
        PAConnectionController controller(preferences, queues);
        PAConnectionsModel& model = *controller.allConsLibraryController();
        Outcome outcome;
        watchList(model, outcome);
        controller.view()->resize(1000, 600);
        controller.view()->show();
        controller.awakeFromNib();
        QCoreApplication::processEvents();

        const qint64 before = allocatedBytes();
        QElapsedTimer total;
        total.start();
        QElapsedTimer stall;
        for (int step = 0; step < kSeconds * kStepsPerSecond; ++step) {
            for (int i = 0; i < kReportsPerStep; ++i) {
                const int n = static_cast<int>(outcome.added++);
                MainQueue::async([&controller, &clock, n] {
                    controller.addConnection(makeReport(n, clock->now()));
                    if (logAutoscroll)
                        controller.scrollToLastConnection();
                });
            }
            stall.start();
            QCoreApplication::processEvents();
            outcome.maxTurnMs = std::max(outcome.maxTurnMs, stall.nsecsElapsed() / 1e6);
            stall.start();
            clock->advance(1.0 / kStepsPerSecond);
            outcome.maxPruneMs = std::max(outcome.maxPruneMs, stall.nsecsElapsed() / 1e6);
            outcome.maxStallMs = std::max({outcome.maxStallMs, outcome.maxTurnMs, outcome.maxPruneMs});
            outcome.peakLive = std::max<qint64>(outcome.peakLive, model.rowCount());
            if (step == kTtl * kStepsPerSecond - 1)
                outcome.bytesPerRow = (allocatedBytes() - before) / std::max(1, model.rowCount());
        }
        QCoreApplication::processEvents();
        outcome.realSeconds = total.nsecsElapsed() / 1e9;
        report(state, outcome, controller.connectionCount());
    }
}

void BM_ConnectionsBaselineVector(benchmark::State& state)
{
    // The list, not the system's resolver: every new address would wait for
    // its answer on the look-up pool.
    showHostnames = false;
    for (auto _ : state) {
        ManualClock clock;
        Outcome outcome;
        // Each row starts its icon's look-up, as the log's rows do.
        PAWorkQueues queues;
        std::vector<std::unique_ptr<PAConnection>> list;
        const qint64 before = allocatedBytes();
        QElapsedTimer total;
        total.start();
        QElapsedTimer stall;
        qint64 nextPrune = 5 * kStepsPerSecond;
        for (int step = 0; step < kSeconds * kStepsPerSecond; ++step) {
            stall.start();
            for (int i = 0; i < kReportsPerStep; ++i) {
                list.emplace_back(makeReport(static_cast<int>(outcome.added++), clock.now()));
                list.back()->startLookUps(queues);
            }
            outcome.maxStallMs = std::max(outcome.maxStallMs, stall.nsecsElapsed() / 1e6);
            clock.advance(1.0 / kStepsPerSecond);
            if (step + 1 == nextPrune) {
                nextPrune += 5 * kStepsPerSecond;
                stall.start();
                const qint64 nowMs = clock.now().toMSecsSinceEpoch();
                const auto firstYoung = std::find_if(list.begin(), list.end(), [&](const auto& c) {
                    return nowMs - c->connRealDate.toMSecsSinceEpoch() < kTtl * 1000;
                });
                outcome.removed += firstYoung - list.begin();
                list.erase(list.begin(), firstYoung);
                outcome.maxStallMs = std::max(outcome.maxStallMs, stall.nsecsElapsed() / 1e6);
            }
            outcome.peakLive = std::max<qint64>(outcome.peakLive, static_cast<qint64>(list.size()));
            if (step == kTtl * kStepsPerSecond - 1)
                outcome.bytesPerRow =
                    (allocatedBytes() - before) / std::max<qint64>(1, static_cast<qint64>(list.size()));
        }
        outcome.realSeconds = total.nsecsElapsed() / 1e9;
        report(state, outcome, static_cast<qint64>(list.size()));
    }
}

// --- The same traffic through the road: datagrams on the agent's
// kernel-event socket, read by its reader thread, handed over by the bridge,
// parsed off the main thread with real look-ups of a real process, recorded
// on the main thread.

// The reports of one 10 ms step go out from a thread of their own, as the
// extension sends them, at most kLead steps ahead of the clock: the clock
// moves on once the agent has taken a step's reports, so the pace is the
// agent's, not the sender's.
constexpr int kLead = 2;
constexpr int kSteps = kSeconds * kStepsPerSecond;
constexpr qint64 kReports = qint64(kSteps) * kReportsPerStep;
// Nothing taken for this long: the rest is lost.
constexpr qint64 kGiveUpMs = 5000;

// Report n about `pid`: a passed one with six fields, or, every seventh, a
// blocked one that names the program.
QByteArray connectionRecord(qint64 n, qint64 pid, const QByteArray& program)
{
    QByteArray line = QByteArrayLiteral("0 10.") + QByteArray::number((n >> 16) & 255) + '.' +
                      QByteArray::number((n >> 8) & 255) + '.' + QByteArray::number(n & 255) + " 443 " +
                      QByteArray::number(pid) + " 6 0";
    if (n % 7 == 0)
        line += ' ' + program;
    return KernelEventSocket::encode(KernelEventSocket::kConnectionEventCode, line);
}

sockaddr_un unixAddress(const QString& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    std::memcpy(address.sun_path, bytes.constData(),
                std::min(static_cast<size_t>(bytes.size()), sizeof address.sun_path - 1));
    return address;
}

class PacedReporter
{
public:
    PacedReporter(const QString& socketPath, qint64 pid, const QByteArray& program)
        : m_fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        const sockaddr_un address = unixAddress(socketPath);
        // Connected, so that a full queue of the reader is seen by poll().
        m_connected = ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        m_thread = std::thread([this, pid, program] { m_send(pid, program); });
    }

    ~PacedReporter()
    {
        m_stop = true;
        clockReached(kSteps);
        m_thread.join();
        ::close(m_fd);
    }

    // The clock has passed `step`: the reports up to step + kLead may go.
    void clockReached(int step)
    {
        m_clockStep = step;
        m_clockStep.notify_all();
    }

    bool connected() const { return m_connected; }
    qint64 sent() const { return m_sent; }
    // Sends that found the reader's queue full and waited for room.
    qint64 queueFullWaits() const { return m_waits; }

private:
    void m_send(qint64 pid, const QByteArray& program)
    {
        for (int step = 0; step < kSteps && m_connected; ++step) {
            for (int clock = m_clockStep; step > clock + kLead && !m_stop; clock = m_clockStep)
                m_clockStep.wait(clock);
            for (int i = 0; i < kReportsPerStep && !m_stop; ++i) {
                const QByteArray record = connectionRecord(m_sent, pid, program);
                while (::send(m_fd, record.constData(), size_t(record.size()), MSG_DONTWAIT | MSG_NOSIGNAL) <
                       0) {
                    if (errno != EAGAIN && errno != EINTR)
                        return;
                    ++m_waits;
                    pollfd room{m_fd, POLLOUT, 0};
                    ::poll(&room, 1, 100);
                    if (m_stop)
                        return;
                }
                ++m_sent;
            }
        }
    }

    int m_fd;
    bool m_connected = false;
    std::atomic<int> m_clockStep{0};
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_sent{0};
    std::atomic<qint64> m_waits{0};
    std::thread m_thread;
};

// The agent as it starts, its root a temporary folder with the run folder
// the daemon makes, and a real sleeping process for the reports to name.
class RoadRig
{
public:
    RoadRig()
        : m_root(QStringLiteral("/tmp/palisor-bench.XXXXXX"))
    {
        qputenv("PALISOR_ROOT", m_root.path().toLocal8Bit());
        QDir().mkpath(m_root.filePath(QStringLiteral("var/run/palisor/agent")));
        m_program = m_root.filePath(QStringLiteral("bin/target-program"));
        QDir().mkpath(QFileInfo(m_program).absolutePath());
        QFile::copy(QStringLiteral("/bin/sleep"), m_program);
        m_child.start(m_program, {QStringLiteral("600")});
        m_child.waitForStarted();
        // The exec must be through before the reports name the process.
        while (QFileInfo(QStringLiteral("/proc/%1/exe").arg(m_child.processId())).symLinkTarget() !=
               m_program)
            std::this_thread::yield();
        DistributedNotificationCenter::setDefaultCenter(&m_center);
    }

    ~RoadRig()
    {
        DistributedNotificationCenter::setDefaultCenter(nullptr);
        m_child.kill();
        m_child.waitForFinished();
        qunsetenv("PALISOR_ROOT");
    }

    qint64 pid() const { return m_child.processId(); }
    QByteArray program() const { return QFile::encodeName(m_program); }

private:
    QTemporaryDir m_root;
    QString m_program;
    QProcess m_child;
    QuietCenter m_center;
};

// Shows the connections table in the main window, on its own tab.
void showConnectionsTab(MainInterface& agent)
{
    QWidget* view = agent.connectionController()->view();
    for (QWidget* page = view; page && page->parentWidget(); page = page->parentWidget())
        if (auto* pages = qobject_cast<QStackedWidget*>(page->parentWidget()))
            pages->setCurrentWidget(page);
    QMainWindow* window = agent.palisorController()->window();
    window->resize(1000, 700);
    window->show();
}

void BM_ConnectionReportRoad(benchmark::State& state)
{
    for (auto _ : state) {
        // Each run's agent owns its pools: an earlier run's work ended with it.
        RoadRig rig;
        ScopedManualClock clock;
        connectionsTTL = kTtl;
        logAutoscroll = true;
        // The bench measures the road and the list, not the system's
        // resolver: thousands of addresses would each wait for its answer.
        showHostnames = false;
        MainInterface agent;
        // As the launch does once it knows it is the only agent.
        emit agent.appDelegate()->onlyInstance();
        PAConnectionController& controller = *agent.connectionController();
        PAConnectionsModel& model = *controller.allConsLibraryController();
        Outcome outcome;
        watchList(model, outcome);
        showConnectionsTab(agent);
        QElapsedTimer waited;
        waited.start();
        while (!Socketcon::isReading() && waited.elapsed() < kGiveUpMs)
            QCoreApplication::processEvents();

        const qint64 before = allocatedBytes();
        QElapsedTimer total;
        total.start();
        QElapsedTimer stall;
        QElapsedTimer idle;
        idle.start();
        qint64 taken = 0;
        {
            PacedReporter reporter(KernelEventSocket::socketPath(), rig.pid(), rig.program());
            for (int step = 0; step < kSteps && reporter.connected() && idle.elapsed() < kGiveUpMs;) {
                stall.start();
                QCoreApplication::processEvents();
                outcome.maxTurnMs = std::max(outcome.maxTurnMs, stall.nsecsElapsed() / 1e6);
                const qint64 now = controller.connectionCount() + outcome.removed;
                if (now != taken)
                    idle.start();
                taken = now;
                outcome.peakLive = std::max<qint64>(outcome.peakLive, model.rowCount());
                if (taken < qint64(step + 1) * kReportsPerStep) {
                    std::this_thread::yield();
                    continue;
                }
                stall.start();
                clock->advance(1.0 / kStepsPerSecond);
                outcome.maxPruneMs = std::max(outcome.maxPruneMs, stall.nsecsElapsed() / 1e6);
                if (step == kTtl * kStepsPerSecond - 1)
                    outcome.bytesPerRow = (allocatedBytes() - before) / std::max(1, model.rowCount());
                reporter.clockReached(++step);
            }
            outcome.added = reporter.sent();
            state.counters["queue_full_waits"] = static_cast<double>(reporter.queueFullWaits());
        }
        QCoreApplication::processEvents();
        outcome.realSeconds = total.nsecsElapsed() / 1e9;
        outcome.maxStallMs = std::max(outcome.maxTurnMs, outcome.maxPruneMs);
        report(state, outcome, controller.connectionCount());
        if (outcome.added != kReports)
            state.SkipWithError("the reports did not all go out");
    }
}

// The plainest reader of the same datagrams: a thread that receives them on
// a plain UNIX datagram socket into a vector, paced the same way.
void BM_ConnectionReportBaselineRecv(benchmark::State& state)
{
    for (auto _ : state) {
        QTemporaryDir dir(QStringLiteral("/tmp/palisor-bench.XXXXXX"));
        const QString path = dir.filePath(QStringLiteral("reports"));
        const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const sockaddr_un address = unixAddress(path);
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);

        std::vector<std::string> records;
        std::atomic<qint64> received{0};
        const qint64 before = allocatedBytes();
        std::thread reader([&] {
            char buffer[KernelEventSocket::kLargestEvent];
            for (;;) {
                const ssize_t bytes = ::recv(fd, buffer, sizeof buffer, 0);
                if (bytes <= 0)
                    return;
                records.emplace_back(buffer, size_t(bytes));
                ++received;
            }
        });
        Outcome outcome;
        QElapsedTimer total;
        total.start();
        QElapsedTimer idle;
        idle.start();
        {
            PacedReporter reporter(path, 4242,
                                   QByteArrayLiteral("/tmp/palisor-bench.XXXXXX/bin/target-program"));
            qint64 taken = 0;
            for (int step = 0; step < kSteps && reporter.connected() && idle.elapsed() < kGiveUpMs;) {
                if (received != taken)
                    idle.start();
                taken = received;
                if (taken < qint64(step + 1) * kReportsPerStep) {
                    std::this_thread::yield();
                    continue;
                }
                reporter.clockReached(++step);
            }
            outcome.added = reporter.sent();
            state.counters["queue_full_waits"] = static_cast<double>(reporter.queueFullWaits());
        }
        outcome.realSeconds = total.nsecsElapsed() / 1e9;
        ::shutdown(fd, SHUT_RDWR);
        reader.join();
        ::close(fd);
        outcome.peakLive = static_cast<qint64>(records.size());
        outcome.bytesPerRow = (allocatedBytes() - before) / std::max<qint64>(1, outcome.peakLive);
        report(state, outcome, static_cast<qint64>(records.size()));
    }
}

} // namespace

// The road first: BM_ConnectionsLog looks host names up for its rows, and
// they keep the global queue busy long after it ends.
BENCHMARK(BM_ConnectionReportRoad)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConnectionReportBaselineRecv)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConnectionsLog)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConnectionsBaselineVector)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    return runAgentBenchmarks(argc, argv);
}
