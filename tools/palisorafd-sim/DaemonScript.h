#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The simulator's script language, one step per line:
//   <request text>            sent as written; "{pid}" becomes the pid of the
//                             last "spawn" or "gone"
//   wait <ms>                 pause
//   expect <n> [answers] [within <ms>]
//                             wait until n more answers have arrived than the
//                             earlier expects asked for (at most 10 s unless
//                             "within" says otherwise)
//   spawn <command...>        start a child process and take its pid
//   gone                      take the pid of a process that has exited
//   report <line>             send the line as a connection report of the
//                             connection-report extension; "{pid}" as above
// Blank lines and lines whose first non-blank is "#" carry nothing. A line
// whose first word is a directive is that directive, so a request key can
// never be "wait", "expect", "spawn", "gone" or "report".
class DaemonScript
{
public:
    struct Step
    {
        enum class Kind { Nothing, Request, Wait, Expect, Spawn, Gone, Report };
        Kind kind = Kind::Nothing;
        // The request or report text, or the command of a spawn (program
        // first).
        QString text;
        QStringList command;
        // Expect: the number of answers.
        int count = 0;
        // Wait: the pause; expect: the longest wait.
        int milliseconds = 0;
        // 1-based line in its script, 0 when it came alone.
        int line = 0;
    };

    static constexpr int kDefaultExpectMilliseconds = 10000;
    static const QString kPidPlaceholder;

    // False with a reason in *error for a malformed directive.
    static bool parseLine(const QString& line, Step* step, QString* error);
    // Every line of a script; steps that carry nothing are left out. Also
    // refuses "{pid}" before any line that gives a pid. On failure *error
    // begins with the line number ("3: ...").
    static bool parse(const QString& script, std::vector<Step>* steps, QString* error);

    static bool usesPid(const QString& text);
    static QString substitutePid(const QString& request, qint64 pid);
};
