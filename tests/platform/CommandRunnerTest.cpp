#include "platform/CommandRunner.h"

#include "support/Privileges.h"
#include "support/ScriptedCommandRunner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <unistd.h>

namespace {

QStringList shell(const char* command)
{
    return {QStringLiteral("-c"), QString::fromUtf8(command)};
}

} // namespace

TEST(CommandRunnerTest, RunReturnsEverythingPrinted)
{
    struct Case
    {
        const char* name;
        QString program;
        QStringList arguments;
        QString expected;
    };
    const QList<Case> cases = {
        {"both streams", "/bin/sh", shell("printf a; printf b >&2"), "ab"},
        {"silent", "/bin/sh", shell("exit 3"), ""},
        {"arguments as given", "/bin/echo", {"two words", "$HOME", "'q'"}, "two words $HOME 'q'\n"},
        {"utf-8", "/bin/sh", shell("printf '\\303\\251'"), QString::fromUtf8("\u00e9")},
        {"invalid utf-8", "/bin/sh", shell("printf 'a\\377'"),
         QStringLiteral("a") + QChar(QChar::ReplacementCharacter)},
        {"no standard input", "/bin/cat", {}, ""},
        {"missing program", "/nonexistent/palisor-program", {}, ""},
        {"not executable", "/dev/null", {}, ""},
        {"empty program", "", {}, ""},
    };
    CommandRunner runner;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(runner.run(c.program, c.arguments), c.expected);
    }
}

TEST(CommandRunnerTest, RunCollectsMuchOutputWhole)
{
    const QString output =
        CommandRunner().run(QStringLiteral("/bin/sh"), shell("head -c 1048576 /dev/zero | tr '\\0' x"));
    EXPECT_EQ(output.size(), 1048576);
    EXPECT_EQ(output.count(QLatin1Char('x')), 1048576);
}

// While another run is in flight, a child holds no descriptor but its own
// /dev/null and the one pipe: a leaked write end would also keep the other
// run's read waiting for this child.
TEST(CommandRunnerTest, ConcurrentRunsShareNoDescriptors)
{
    std::future<QString> slow = std::async(std::launch::async, [] {
        return CommandRunner().run(QStringLiteral("/bin/sh"), shell("sleep 0.3; printf done"));
    });
    usleep(50000);
    std::vector<std::future<QString>> listings;
    for (int i = 0; i < 4; ++i) {
        listings.push_back(std::async(std::launch::async, [] {
            return CommandRunner().run(QStringLiteral("/bin/sh"), shell("exec ls -l /proc/self/fd"));
        }));
    }
    for (std::future<QString>& listing : listings) {
        const QString text = listing.get();
        EXPECT_EQ(text.count(QStringLiteral("pipe:")), 2) << text.toStdString();
        EXPECT_FALSE(text.contains(QStringLiteral("socket:"))) << text.toStdString();
    }
    EXPECT_EQ(slow.get(), QStringLiteral("done"));
}

TEST(CommandRunnerTest, ShellScriptResults)
{
    struct Case
    {
        const char* command;
        QString expected;
    };
    const QList<Case> cases = {
        {"printf 'a\\nb\\n'", "a\rb"},
        {"printf 'a\\n\\n'", "a\r"},
        {"printf 'a'", "a"},
        {"true", ""},
        {"echo hidden >&2", ""},
        {"echo out; echo err >&2; exit 1", "ERROR"},
        {"printf 'x\\n' | grep palisor", "ERROR"},
        {"kill -9 $$", "ERROR"},
        {"/nonexistent/palisor-program", "ERROR"},
        {"printf \"%s\" '$HOME'", "$HOME"},
    };
    CommandRunner runner;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(runner.doShellScript(QString::fromUtf8(c.command)), c.expected);
    }
}

TEST(CommandRunnerTest, CheckedRunsTakeArgumentsAsTheyAreAndJudgeTheStatus)
{
    struct Case
    {
        QString program;
        QStringList arguments;
        QString expected;
    };
    const QList<Case> cases = {
        // Line feeds stay; one trailing line end goes.
        {"/bin/sh", {"-c", "printf 'a\\nb\\n'"}, "a\nb"},
        {"/bin/echo",
         {"1.2.3.4; touch /nonexistent/x", "$(id)", "'q'"},
         "1.2.3.4; touch /nonexistent/x $(id) 'q'"},
        {"/bin/sh", {"-c", "echo hidden >&2"}, ""},
        {"/bin/sh", {"-c", "echo out; exit 2"}, "ERROR"},
        {"/bin/sh", {"-c", "kill -9 $$"}, "ERROR"},
        {"/nonexistent/palisor-program", {}, "ERROR"},
        {"", {}, "ERROR"},
    };
    CommandRunner runner;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program.toStdString() + " " + c.arguments.join(' ').toStdString());
        EXPECT_EQ(runner.runChecked(c.program, c.arguments), c.expected);
    }
}

TEST(CommandRunnerTest, AdministratorScriptAsRootRunsDirectly)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    CommandRunner runner;
    EXPECT_EQ(runner.doShellScript(QStringLiteral("id -u"), true), QStringLiteral("0"));
    EXPECT_EQ(runner.doShellScript(QStringLiteral("exit 1"), true), QStringLiteral("ERROR"));
}

// An ordinary user without anyone to grant the rights (no pkexec, or no
// authentication agent to ask) gets "ERROR", never the command's output.
TEST(CommandRunnerTest, AdministratorScriptWithoutRightsIsError)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "would ask this desktop's user for a password";
    EXPECT_EXIT(
        {
            if (!dropPrivilegesToNobody())
                _exit(2);
            const QString result = CommandRunner().doShellScript(QStringLiteral("echo ran"), true);
            std::fprintf(stderr, "result \"%s\"\n", qPrintable(result));
            _exit(result == QLatin1String("ERROR") ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "result");
}

TEST(CommandRunnerTest, ScriptedRunnerAnswersAndRecords)
{
    ScriptedCommandRunner scripted;
    scripted.answerRun(QStringLiteral("/bin/ps"), {QStringLiteral("-p"), QStringLiteral("1")},
                       QStringLiteral("init"));
    scripted.answerScriptMatching(QRegularExpression(QStringLiteral("^/bin/cat ")),
                                  QStringLiteral("any cat"));
    scripted.answerScriptWhen(
        [](const QString& command, bool) { return command.contains(QStringLiteral("palisor.log")); },
        QStringLiteral("the log"));
    scripted.answerScript(QStringLiteral("/bin/cat /etc/palisor.conf"), QStringLiteral("exact"));

    {
        ScopedCommandRunner installed(scripted);
        CommandRunner& runner = CommandRunner::shared();
        EXPECT_EQ(&runner, &scripted);
        EXPECT_EQ(runner.run(QStringLiteral("/bin/ps"), {QStringLiteral("-p"), QStringLiteral("1")}),
                  QStringLiteral("init"));
        EXPECT_EQ(runner.run(QStringLiteral("/bin/ps"), {QStringLiteral("-p")}), QString());
        EXPECT_EQ(runner.doShellScript(QStringLiteral("/bin/cat /etc/palisor.conf")),
                  QStringLiteral("exact"));
        EXPECT_EQ(runner.doShellScript(QStringLiteral("/bin/cat ~/palisor.log"), true),
                  QStringLiteral("the log"));
        EXPECT_EQ(runner.doShellScript(QStringLiteral("/bin/cat /etc/hosts")), QStringLiteral("any cat"));
        EXPECT_EQ(runner.doShellScript(QStringLiteral("/bin/ls")), QStringLiteral("ERROR"));
    }
    EXPECT_NE(&CommandRunner::shared(), &scripted);
    EXPECT_EQ(CommandRunner::shared().run(QStringLiteral("/bin/sh"), shell("printf real")),
              QStringLiteral("real"));

    const QList<ScriptedCommandRunner::RunCall> runs = {{"/bin/ps", {"-p", "1"}}, {"/bin/ps", {"-p"}}};
    EXPECT_EQ(scripted.runCalls(), runs);
    ASSERT_EQ(scripted.scriptCalls().size(), 4);
    EXPECT_EQ(scripted.scriptCalls()[1], (ScriptedCommandRunner::ScriptCall{"/bin/cat ~/palisor.log", true}));
    EXPECT_FALSE(scripted.scriptCalls()[0].withAdministratorPrivileges);
    scripted.clearCalls();
    EXPECT_TRUE(scripted.scriptCalls().isEmpty());
}
