#include "palisorafd-sim/DaemonScript.h"

#include <QProcess>

const QString DaemonScript::kPidPlaceholder = QStringLiteral("{pid}");

namespace {

bool parseMilliseconds(const QString& text, int* milliseconds)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 0)
        return false;
    *milliseconds = value;
    return true;
}

bool fail(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return false;
}

} // namespace

bool DaemonScript::parseLine(const QString& line, Step* step, QString* error)
{
    *step = Step{};
    QString text = line;
    // Scripts written on other systems end their lines with CR LF.
    if (text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
        return true;

    const QStringList words = trimmed.simplified().split(QLatin1Char(' '));
    const QString& directive = words.first();
    if (directive == QLatin1String("wait")) {
        if (words.size() != 2 || !parseMilliseconds(words[1], &step->milliseconds))
            return fail(error, QStringLiteral("\"wait\" takes one number of milliseconds"));
        step->kind = Step::Kind::Wait;
        return true;
    }
    if (directive == QLatin1String("expect")) {
        const QString usage =
            QStringLiteral("\"expect\" takes a count of answers: expect <n> [answers] [within <ms>]");
        bool ok = false;
        if (words.size() < 2)
            return fail(error, usage);
        step->count = words[1].toInt(&ok);
        if (!ok || step->count < 1)
            return fail(error, usage);
        qsizetype next = 2;
        if (next < words.size() &&
            (words[next] == QLatin1String("answers") || words[next] == QLatin1String("answer")))
            ++next;
        step->milliseconds = kDefaultExpectMilliseconds;
        if (next < words.size()) {
            if (words[next] != QLatin1String("within") || next + 2 != words.size() ||
                !parseMilliseconds(words[next + 1], &step->milliseconds))
                return fail(error, usage);
            next += 2;
        }
        if (next != words.size())
            return fail(error, usage);
        step->kind = Step::Kind::Expect;
        return true;
    }
    if (directive == QLatin1String("spawn")) {
        step->command = QProcess::splitCommand(trimmed.mid(directive.size()));
        if (step->command.isEmpty())
            return fail(error, QStringLiteral("\"spawn\" needs a command"));
        step->text = trimmed.mid(directive.size()).trimmed();
        step->kind = Step::Kind::Spawn;
        return true;
    }
    if (directive == QLatin1String("gone")) {
        if (words.size() != 1)
            return fail(error, QStringLiteral("\"gone\" takes nothing"));
        step->kind = Step::Kind::Gone;
        return true;
    }
    if (directive == QLatin1String("report")) {
        // The line after the directive's one blank, as written.
        const qsizetype start = text.indexOf(directive) + directive.size() + 1;
        if (words.size() < 2 || start > text.size())
            return fail(error, QStringLiteral("\"report\" needs a line to report"));
        step->text = text.mid(start);
        step->kind = Step::Kind::Report;
        return true;
    }
    // Sent exactly as written: blanks out of place are part of what a test
    // may want the agent to see.
    step->kind = Step::Kind::Request;
    step->text = text;
    return true;
}

bool DaemonScript::parse(const QString& script, std::vector<Step>* steps, QString* error)
{
    steps->clear();
    bool pidKnown = false;
    const QStringList lines = script.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int number = int(i + 1);
        Step step;
        QString reason;
        if (!parseLine(lines[i], &step, &reason))
            return fail(error, QStringLiteral("%1: %2").arg(number).arg(reason));
        if (step.kind == Step::Kind::Nothing)
            continue;
        if (step.kind == Step::Kind::Spawn || step.kind == Step::Kind::Gone)
            pidKnown = true;
        if ((step.kind == Step::Kind::Request || step.kind == Step::Kind::Report) && usesPid(step.text) &&
            !pidKnown)
            return fail(
                error,
                QStringLiteral("%1: %2 before any \"spawn\" or \"gone\"").arg(number).arg(kPidPlaceholder));
        step.line = number;
        steps->push_back(step);
    }
    return true;
}

bool DaemonScript::usesPid(const QString& text)
{
    return text.contains(kPidPlaceholder);
}

QString DaemonScript::substitutePid(const QString& request, qint64 pid)
{
    QString text = request;
    return text.replace(kPidPlaceholder, QString::number(pid));
}
