#include "palisorafd-sim/DaemonScript.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Kind = DaemonScript::Step::Kind;

struct LineCase
{
    const char* line;
    bool valid;
    Kind kind;
    QString text;
    int count;
    int milliseconds;
    QStringList command;
};

} // namespace

TEST(DaemonScriptTest, LinesParseIntoStepsOrClearErrors)
{
    const LineCase cases[] = {
        {"", true, Kind::Nothing, {}, 0, 0, {}},
        {"   ", true, Kind::Nothing, {}, 0, 0, {}},
        {"# a comment", true, Kind::Nothing, {}, 0, 0, {}},
        {"  # indented comment", true, Kind::Nothing, {}, 0, 0, {}},
        {"17 10.0.0.5 443 4242 TCP 4 0", true, Kind::Request, "17 10.0.0.5 443 4242 TCP 4 0", 0, 0, {}},
        // Malformed requests go out as written: testing the agent needs them.
        {"17  10.0.0.5 443 4242 TCP 4 0 ", true, Kind::Request, "17  10.0.0.5 443 4242 TCP 4 0 ", 0, 0, {}},
        {"1 ::1 80 {pid} UDP 6 0\r", true, Kind::Request, "1 ::1 80 {pid} UDP 6 0", 0, 0, {}},
        {"wait 250", true, Kind::Wait, {}, 0, 250, {}},
        {"wait", false, {}, {}, 0, 0, {}},
        {"wait -1", false, {}, {}, 0, 0, {}},
        {"wait soon", false, {}, {}, 0, 0, {}},
        {"expect 2", true, Kind::Expect, {}, 2, DaemonScript::kDefaultExpectMilliseconds, {}},
        {"expect 1 answer", true, Kind::Expect, {}, 1, DaemonScript::kDefaultExpectMilliseconds, {}},
        {"expect 3 answers within 500", true, Kind::Expect, {}, 3, 500, {}},
        {"expect 0", false, {}, {}, 0, 0, {}},
        {"expect 2 within", false, {}, {}, 0, 0, {}},
        {"expect 2 answers later", false, {}, {}, 0, 0, {}},
        {"spawn sleep 30", true, Kind::Spawn, "sleep 30", 0, 0, {"sleep", "30"}},
        {"spawn /bin/sh -c \"sleep 30\"",
         true,
         Kind::Spawn,
         "/bin/sh -c \"sleep 30\"",
         0,
         0,
         {"/bin/sh", "-c", "sleep 30"}},
        {"spawn", false, {}, {}, 0, 0, {}},
        {"gone", true, Kind::Gone, {}, 0, 0, {}},
        {"gone now", false, {}, {}, 0, 0, {}},
        // A report goes out as written after the directive's blank.
        {"report 0 10.0.0.5 443 {pid} 6 0", true, Kind::Report, "0 10.0.0.5 443 {pid} 6 0", 0, 0, {}},
        {"report 0 10.0.0.5 443 {pid} 6 0 /opt/My App/x\r",
         true,
         Kind::Report,
         "0 10.0.0.5 443 {pid} 6 0 /opt/My App/x",
         0,
         0,
         {}},
        {"  report  0 a", true, Kind::Report, " 0 a", 0, 0, {}},
        {"report", false, {}, {}, 0, 0, {}},
        {"report   ", false, {}, {}, 0, 0, {}},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(std::string("line: \"") + c.line + "\"");
        DaemonScript::Step step;
        QString error;
        const bool valid = DaemonScript::parseLine(QString::fromUtf8(c.line), &step, &error);
        ASSERT_EQ(valid, c.valid) << error.toStdString();
        if (!valid) {
            EXPECT_FALSE(error.isEmpty());
            continue;
        }
        EXPECT_EQ(step.kind, c.kind);
        if (c.kind == Kind::Request || c.kind == Kind::Spawn || c.kind == Kind::Report) {
            EXPECT_EQ(step.text, c.text);
        }
        EXPECT_EQ(step.count, c.count);
        EXPECT_EQ(step.milliseconds, c.milliseconds);
        EXPECT_EQ(step.command, c.command);
    }
}

TEST(DaemonScriptTest, ScriptKeepsLineNumbersAndRefusesPidBeforeItIsKnown)
{
    std::vector<DaemonScript::Step> steps;
    QString error;
    ASSERT_TRUE(DaemonScript::parse(QStringLiteral("# first\n\nspawn sleep 5\n1 a 80 {pid} TCP 4 0\ngone\n"
                                                   "2 a 80 {pid} TCP 4 0\n"),
                                    &steps, &error))
        << error.toStdString();
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0].line, 3);
    EXPECT_EQ(steps[1].line, 4);
    EXPECT_EQ(steps[3].kind, Kind::Request);
    EXPECT_EQ(DaemonScript::substitutePid(steps[3].text, 4242), QStringLiteral("2 a 80 4242 TCP 4 0"));

    EXPECT_FALSE(
        DaemonScript::parse(QStringLiteral("wait 1\n1 a 80 {pid} TCP 4 0\nspawn sleep 5\n"), &steps, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("2: {pid}"))) << error.toStdString();
    EXPECT_FALSE(DaemonScript::parse(QStringLiteral("report 0 a 80 {pid} 6 0\ngone\n"), &steps, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("1: {pid}"))) << error.toStdString();

    EXPECT_FALSE(DaemonScript::parse(QStringLiteral("1 a 80 1 TCP 4 0\n\nexpect many\n"), &steps, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("3: "))) << error.toStdString();
}
