#include "palisorafd-sim/DaemonScriptRunner.h"

#include "palisorafd-sim/SimulatedDaemon.h"
#include "platform/ProcessInfo.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// QProcess may call a child started before its exec is through; until then
// /proc shows our own program under the child's pid, and a request for it
// would name the wrong executable.
bool waitForExec(qint64 pid, const QString& program, int timeoutMs)
{
    const QString canonical = QFileInfo(program).canonicalFilePath();
    const QDeadlineTimer deadline(timeoutMs);
    while (ProcessInfo::pathForPid(pid_t(pid)) != canonical) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(1);
    }
    return true;
}

QString where(const DaemonScript::Step& step)
{
    return step.line > 0 ? QStringLiteral("line %1: ").arg(step.line) : QString();
}

} // namespace

DaemonScriptRunner::DaemonScriptRunner(SimulatedDaemon& daemon, QObject* parent)
    : QObject(parent)
    , m_daemon(daemon)
{
}

DaemonScriptRunner::~DaemonScriptRunner()
{
    for (const auto& child : m_children) {
        if (child->state() != QProcess::NotRunning) {
            child->kill();
            child->waitForFinished(5000);
        }
    }
}

void DaemonScriptRunner::append(const std::vector<DaemonScript::Step>& steps)
{
    m_steps.insert(m_steps.end(), steps.begin(), steps.end());
    m_runSteps();
}

void DaemonScriptRunner::appendLine(const QString& line)
{
    DaemonScript::Step step;
    QString error;
    ++m_linesTyped;
    if (!DaemonScript::parseLine(line, &step, &error)) {
        Q_EMIT problem(QStringLiteral("line %1: %2").arg(m_linesTyped).arg(error));
        return;
    }
    step.line = m_linesTyped;
    if (step.kind != DaemonScript::Step::Kind::Nothing)
        append({step});
}

void DaemonScriptRunner::finishInput()
{
    m_inputFinished = true;
    m_runSteps();
}

void DaemonScriptRunner::m_runSteps()
{
    // A slot of info() or problem() may append while a step runs.
    if (m_running)
        return;
    m_running = true;
    while (!m_waiting && !m_steps.empty()) {
        const DaemonScript::Step step = m_steps.front();
        m_steps.pop_front();
        if (!m_run(step))
            m_waiting = true;
    }
    m_running = false;
    if (!m_waiting && m_steps.empty() && m_inputFinished && !m_finished) {
        m_finished = true;
        Q_EMIT finished(m_status);
    }
}

bool DaemonScriptRunner::m_run(const DaemonScript::Step& step)
{
    switch (step.kind) {
    case DaemonScript::Step::Kind::Nothing:
        return true;
    case DaemonScript::Step::Kind::Request:
        m_sendRequest(step);
        return true;
    case DaemonScript::Step::Kind::Wait:
        QTimer::singleShot(step.milliseconds, this, [this] { m_resume(); });
        return false;
    case DaemonScript::Step::Kind::Expect:
        return m_expect(step);
    case DaemonScript::Step::Kind::Spawn:
        m_spawn(step);
        return true;
    case DaemonScript::Step::Kind::Gone:
        m_gone(step);
        return true;
    case DaemonScript::Step::Kind::Report:
        m_sendReport(step);
        return true;
    }
    return true;
}

void DaemonScriptRunner::m_resume()
{
    m_waiting = false;
    m_runSteps();
}

bool DaemonScriptRunner::m_withPid(const DaemonScript::Step& step, QString* text)
{
    *text = step.text;
    if (!DaemonScript::usesPid(step.text))
        return true;
    if (m_pid < 0) {
        m_fail(StepFailed, step,
               QStringLiteral("%1 before any \"spawn\" or \"gone\"; not sent")
                   .arg(DaemonScript::kPidPlaceholder));
        return false;
    }
    *text = DaemonScript::substitutePid(step.text, m_pid);
    return true;
}

void DaemonScriptRunner::m_sendRequest(const DaemonScript::Step& step)
{
    QString text;
    if (!m_withPid(step, &text))
        return;
    QString error;
    if (!m_daemon.sendRequest(text, &error)) {
        m_fail(StepFailed, step, error);
        return;
    }
    Q_EMIT info(QStringLiteral("sent ") + QString(text).replace(QLatin1Char('\n'), QLatin1String("\\n")));
}

void DaemonScriptRunner::m_sendReport(const DaemonScript::Step& step)
{
    QString text;
    if (!m_withPid(step, &text))
        return;
    QString error;
    if (!m_daemon.sendConnectionReport(text, &error)) {
        m_fail(StepFailed, step, error);
        return;
    }
    Q_EMIT info(QStringLiteral("reported ") + QString(text).replace(QLatin1Char('\n'), QLatin1String("\\n")));
}

void DaemonScriptRunner::m_spawn(const DaemonScript::Step& step)
{
    const QString program = QStandardPaths::findExecutable(step.command.first());
    if (program.isEmpty()) {
        m_fail(StepFailed, step,
               QStringLiteral("cannot spawn %1: no such program").arg(step.command.first()));
        return;
    }
    auto child = std::make_unique<QProcess>();
    // The child must not read the lines meant for us, nor mix into our output.
    child->setStandardInputFile(QProcess::nullDevice());
    child->setStandardOutputFile(QProcess::nullDevice());
    child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child->start(program, step.command.mid(1));
    if (!child->waitForStarted(5000)) {
        m_fail(StepFailed, step, QStringLiteral("cannot spawn %1: %2").arg(step.text, child->errorString()));
        return;
    }
    m_pid = child->processId();
    if (!waitForExec(m_pid, program, 5000))
        Q_EMIT problem(
            QStringLiteral("%1pid %2 does not show %3 yet").arg(where(step)).arg(m_pid).arg(program));
    m_children.push_back(std::move(child));
    Q_EMIT info(QStringLiteral("spawned %1 %2").arg(m_pid).arg(step.text));
}

void DaemonScriptRunner::m_gone(const DaemonScript::Step& step)
{
    // A child that exits at once and is reaped: its pid names no process.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    if (child < 0) {
        m_fail(StepFailed, step, QStringLiteral("\"gone\": cannot fork"));
        return;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = child;
    Q_EMIT info(QStringLiteral("gone %1").arg(m_pid));
}

bool DaemonScriptRunner::m_expect(const DaemonScript::Step& step)
{
    const std::size_t target = m_expectedAnswers + std::size_t(step.count);
    if (m_daemon.answers().size() >= target) {
        m_expectedAnswers = target;
        return true;
    }
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    auto connection = std::make_shared<QMetaObject::Connection>();
    auto settle = [this, timer, connection, target, step](bool met) {
        QObject::disconnect(*connection);
        timer->stop();
        timer->deleteLater();
        if (met) {
            m_expectedAnswers = target;
        } else {
            const std::size_t arrived =
                m_daemon.answers().size() - std::min(m_expectedAnswers, m_daemon.answers().size());
            m_fail(ExpectationNotMet, step,
                   QStringLiteral("expected %1 %2 within %3 ms, %4 arrived")
                       .arg(step.count)
                       .arg(step.count == 1 ? QStringLiteral("answer") : QStringLiteral("answers"))
                       .arg(step.milliseconds)
                       .arg(arrived));
            // Later expects count from here, so one lost answer fails one expect.
            m_expectedAnswers = m_daemon.answers().size();
        }
        m_resume();
    };
    *connection = connect(&m_daemon, &SimulatedDaemon::answerReceived, this, [this, target, settle] {
        if (m_daemon.answers().size() >= target)
            settle(true);
    });
    connect(timer, &QTimer::timeout, this, [settle] { settle(false); });
    timer->start(step.milliseconds);
    return false;
}

void DaemonScriptRunner::m_fail(int status, const DaemonScript::Step& step, const QString& message)
{
    if (m_status == Succeeded)
        m_status = status;
    Q_EMIT problem(where(step) + message);
}
