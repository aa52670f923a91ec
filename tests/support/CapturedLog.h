#pragma once

#include <QString>
#include <QStringList>

// Collects the messages logged while it lives (from any thread), still
// passing them on to the handler installed before it.
class CapturedLog
{
public:
    CapturedLog();
    ~CapturedLog();
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    QStringList messages() const;
    // How many messages contain `text`.
    int count(const QString& text) const;
};
