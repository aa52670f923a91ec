#pragma once

#include "platform/CommandRunner.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QRegularExpression>

#include <functional>

// A CommandRunner that runs nothing: tests register the answers, and every
// call is recorded for inspection. Unregistered calls answer as a program
// that printed nothing ("") and as a failed script ("ERROR"). Safe to call
// from worker threads, as the real runner is.
class ScriptedCommandRunner : public CommandRunner
{
public:
    struct RunCall
    {
        QString program;
        QStringList arguments;
        bool operator==(const RunCall& other) const = default;
    };
    struct ScriptCall
    {
        QString command;
        bool withAdministratorPrivileges = false;
        bool operator==(const ScriptCall& other) const = default;
    };
    using ScriptPredicate = std::function<bool(const QString& command, bool withAdministratorPrivileges)>;
    using AdministratorHandler = std::function<QString(const QString& program, const QStringList& arguments)>;

    void answerRun(const QString& program, const QStringList& arguments, const QString& output);
    // Checked runs answer "ERROR" unless registered here.
    void answerCheckedRun(const QString& program, const QStringList& arguments, const QString& result);
    // An exact command wins over any pattern or predicate.
    void answerScript(const QString& command, const QString& result);
    // Patterns and predicates: the one registered last that matches answers.
    void answerScriptMatching(const QRegularExpression& pattern, const QString& result);
    void answerScriptWhen(ScriptPredicate predicate, const QString& result);

    // Administrator runs go to the handler (a test may carry the run out in
    // its temporary root); without one they answer "ERROR", a refusal.
    void answerAdministratorRuns(AdministratorHandler handler);

    QList<RunCall> runCalls() const;
    QList<RunCall> administratorRunCalls() const;
    QList<RunCall> checkedRunCalls() const;
    QList<ScriptCall> scriptCalls() const;
    QStringList scriptCommands() const;
    void clearCalls();

    QString run(const QString& program, const QStringList& arguments) override;
    QString doShellScript(const QString& command, bool withAdministratorPrivileges = false) override;
    QString runAsAdministrator(const QString& program, const QStringList& arguments) override;
    QString runChecked(const QString& program, const QStringList& arguments) override;

private:
    struct RunAnswer
    {
        RunCall call;
        QString output;
    };
    struct ScriptRule
    {
        ScriptPredicate predicate;
        QString result;
    };

    mutable QMutex m_mutex;
    QList<RunAnswer> m_runAnswers;
    QList<RunAnswer> m_checkedAnswers;
    QList<RunCall> m_checkedRunCalls;
    QHash<QString, QString> m_exactScripts;
    QList<ScriptRule> m_scriptRules;
    QList<RunCall> m_runCalls;
    QList<ScriptCall> m_scriptCalls;
    QList<RunCall> m_administratorRunCalls;
    AdministratorHandler m_administratorHandler;
};

// Puts a runner in place as CommandRunner::shared() for one scope and puts
// back the one that was there before.
class ScopedCommandRunner
{
public:
    explicit ScopedCommandRunner(CommandRunner& runner);
    ~ScopedCommandRunner();
    ScopedCommandRunner(const ScopedCommandRunner&) = delete;
    ScopedCommandRunner& operator=(const ScopedCommandRunner&) = delete;

private:
    CommandRunner* m_previous;
};
