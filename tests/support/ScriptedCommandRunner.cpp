#include "support/ScriptedCommandRunner.h"

#include <QMutexLocker>

namespace {

template <typename Answer, typename Call>
void putAnswer(QList<Answer>& answers, const Call& call, const QString& output)
{
    for (Answer& answer : answers) {
        if (answer.call == call) {
            answer.output = output;
            return;
        }
    }
    answers.append({call, output});
}

} // namespace

void ScriptedCommandRunner::answerRun(const QString& program, const QStringList& arguments,
                                      const QString& output)
{
    QMutexLocker lock(&m_mutex);
    putAnswer(m_runAnswers, RunCall{program, arguments}, output);
}

void ScriptedCommandRunner::answerCheckedRun(const QString& program, const QStringList& arguments,
                                             const QString& result)
{
    QMutexLocker lock(&m_mutex);
    putAnswer(m_checkedAnswers, RunCall{program, arguments}, result);
}

QList<ScriptedCommandRunner::RunCall> ScriptedCommandRunner::checkedRunCalls() const
{
    QMutexLocker lock(&m_mutex);
    return m_checkedRunCalls;
}

QString ScriptedCommandRunner::runChecked(const QString& program, const QStringList& arguments)
{
    QMutexLocker lock(&m_mutex);
    const RunCall call{program, arguments};
    m_checkedRunCalls.append(call);
    for (const RunAnswer& answer : m_checkedAnswers) {
        if (answer.call == call)
            return answer.output;
    }
    return QStringLiteral("ERROR");
}

void ScriptedCommandRunner::answerScript(const QString& command, const QString& result)
{
    QMutexLocker lock(&m_mutex);
    m_exactScripts.insert(command, result);
}

void ScriptedCommandRunner::answerScriptMatching(const QRegularExpression& pattern, const QString& result)
{
    answerScriptWhen([pattern](const QString& command, bool) { return pattern.match(command).hasMatch(); },
                     result);
}

void ScriptedCommandRunner::answerScriptWhen(ScriptPredicate predicate, const QString& result)
{
    QMutexLocker lock(&m_mutex);
    m_scriptRules.append({std::move(predicate), result});
}

QList<ScriptedCommandRunner::RunCall> ScriptedCommandRunner::runCalls() const
{
    QMutexLocker lock(&m_mutex);
    return m_runCalls;
}

QList<ScriptedCommandRunner::ScriptCall> ScriptedCommandRunner::scriptCalls() const
{
    QMutexLocker lock(&m_mutex);
    return m_scriptCalls;
}

QStringList ScriptedCommandRunner::scriptCommands() const
{
    QMutexLocker lock(&m_mutex);
    QStringList commands;
    for (const ScriptCall& call : m_scriptCalls)
        commands.append(call.command);
    return commands;
}

void ScriptedCommandRunner::clearCalls()
{
    QMutexLocker lock(&m_mutex);
    m_runCalls.clear();
    m_scriptCalls.clear();
    m_administratorRunCalls.clear();
    m_checkedRunCalls.clear();
}

QString ScriptedCommandRunner::run(const QString& program, const QStringList& arguments)
{
    QMutexLocker lock(&m_mutex);
    const RunCall call{program, arguments};
    m_runCalls.append(call);
    for (const RunAnswer& answer : m_runAnswers) {
        if (answer.call == call)
            return answer.output;
    }
    return QString();
}

QString ScriptedCommandRunner::doShellScript(const QString& command, bool withAdministratorPrivileges)
{
    QMutexLocker lock(&m_mutex);
    m_scriptCalls.append({command, withAdministratorPrivileges});
    if (const auto exact = m_exactScripts.constFind(command); exact != m_exactScripts.cend())
        return *exact;
    // Copied out so that a predicate may itself look at the runner.
    const QList<ScriptRule> rules = m_scriptRules;
    lock.unlock();
    for (auto rule = rules.crbegin(); rule != rules.crend(); ++rule) {
        if (rule->predicate(command, withAdministratorPrivileges))
            return rule->result;
    }
    return QStringLiteral("ERROR");
}

ScopedCommandRunner::ScopedCommandRunner(CommandRunner& runner)
    : m_previous(&CommandRunner::shared())
{
    CommandRunner::setShared(&runner);
}

ScopedCommandRunner::~ScopedCommandRunner()
{
    CommandRunner::setShared(m_previous);
}

void ScriptedCommandRunner::answerAdministratorRuns(AdministratorHandler handler)
{
    QMutexLocker lock(&m_mutex);
    m_administratorHandler = std::move(handler);
}

QList<ScriptedCommandRunner::RunCall> ScriptedCommandRunner::administratorRunCalls() const
{
    QMutexLocker lock(&m_mutex);
    return m_administratorRunCalls;
}

QString ScriptedCommandRunner::runAsAdministrator(const QString& program, const QStringList& arguments)
{
    AdministratorHandler handler;
    {
        QMutexLocker lock(&m_mutex);
        m_administratorRunCalls.append(RunCall{program, arguments});
        handler = m_administratorHandler;
    }
    return handler ? handler(program, arguments) : QStringLiteral("ERROR");
}
