#pragma once

#include <QString>

#include <sys/types.h>

// QProcess may report a child as started before its exec is through, and
// the kernel shows the new exe link a moment before the new program's
// arguments and environment. Waits until the child runs executablePath and
// /proc shows its arguments (and so its environment).
bool waitForExec(pid_t pid, const QString& executablePath, int timeoutMilliseconds = 5000);
