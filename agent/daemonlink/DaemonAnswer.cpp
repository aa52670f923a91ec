#include "daemonlink/DaemonAnswer.h"

QString DaemonAnswer::withState(const QString& request, qint64 state)
{
    return request + QLatin1Char(' ') + QString::number(state) + QStringLiteral(" # #");
}

QString DaemonAnswer::withMatch(const QString& request, bool port, bool block)
{
    return request + (port ? QStringLiteral(" 4 1 ") : QStringLiteral(" 4 0 ")) +
           (block ? QLatin1Char('1') : QLatin1Char('0'));
}
