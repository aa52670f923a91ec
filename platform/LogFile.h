#pragma once

#include <QString>

// The agent's diagnostics go to standard error, which is pointed at its log
// file.
class LogFile
{
public:
    // Reopens standard error (descriptor 2) in append mode onto `path`,
    // creating the file and its folder when missing. False, with standard
    // error left as it was, when the file cannot be opened.
    static bool reopenStandardError(const QString& path);
};
