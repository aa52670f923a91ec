#pragma once

#include "palisorafd-sim/DaemonScript.h"

#include <QObject>
#include <QString>

#include <deque>
#include <memory>
#include <vector>

class QProcess;
class SimulatedDaemon;

// Runs script steps through a simulated daemon on the event loop, one after
// another; waits and expects never block the loop, so answers and
// notifications keep arriving meanwhile.
class DaemonScriptRunner : public QObject
{
    Q_OBJECT

public:
    // Also the simulator's exit statuses.
    enum Status {
        Succeeded = 0,
        // A send or a spawn failed.
        StepFailed = 1,
        ExpectationNotMet = 3,
    };

    explicit DaemonScriptRunner(SimulatedDaemon& daemon, QObject* parent = nullptr);
    // Ends the children it spawned.
    ~DaemonScriptRunner() override;

    void append(const std::vector<DaemonScript::Step>& steps);
    // A line typed at the simulator: a malformed one is reported and skipped.
    void appendLine(const QString& line);
    // No more steps will come; finished() follows the last one.
    void finishInput();

    bool isFinished() const { return m_finished; }
    int status() const { return m_status; }
    // The pid that "{pid}" stands for; -1 before any spawn or gone.
    qint64 pid() const { return m_pid; }

Q_SIGNALS:
    // What was done ("sent ...", "spawned ..."), for the output.
    void info(const QString& line);
    void problem(const QString& message);
    void finished(int status);

private:
    void m_runSteps();
    // False when the step continues later (a wait, an expect).
    bool m_run(const DaemonScript::Step& step);
    void m_resume();
    void m_sendRequest(const DaemonScript::Step& step);
    void m_sendReport(const DaemonScript::Step& step);
    // The step's text with "{pid}" replaced; false (and the step failed) when
    // no pid is known yet.
    bool m_withPid(const DaemonScript::Step& step, QString* text);
    void m_spawn(const DaemonScript::Step& step);
    void m_gone(const DaemonScript::Step& step);
    bool m_expect(const DaemonScript::Step& step);
    void m_fail(int status, const DaemonScript::Step& step, const QString& message);

    SimulatedDaemon& m_daemon;
    std::deque<DaemonScript::Step> m_steps;
    std::vector<std::unique_ptr<QProcess>> m_children;
    bool m_inputFinished = false;
    bool m_waiting = false;
    bool m_running = false;
    bool m_finished = false;
    int m_status = Succeeded;
    qint64 m_pid = -1;
    int m_linesTyped = 0;
    // Answers that earlier expects have accounted for.
    std::size_t m_expectedAnswers = 0;
};
