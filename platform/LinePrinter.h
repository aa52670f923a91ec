#pragma once

#include <QString>

// Diagnostic lines of a windowless program, one line each.
class LinePrinter
{
public:
    virtual ~LinePrinter() = default;
    virtual void printLine(const QString& line) = 0;
};

// Standard output, flushed after every line so that a journal or a pipe
// shows each line as it happens.
class StandardOutputPrinter : public LinePrinter
{
public:
    void printLine(const QString& line) override;
};
