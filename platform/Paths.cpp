#include "platform/Paths.h"

#include <QDir>

#include <cstdlib>

QString Paths::root()
{
    QString value = QString::fromLocal8Bit(qgetenv("PALISOR_ROOT"));
    while (value.size() > 1 && value.endsWith(QLatin1Char('/')))
        value.chop(1);
    return value == QLatin1String("/") ? QString() : value;
}

QString Paths::system(const QString& absolutePath)
{
    const QString prefix = root();
    if (prefix.isEmpty() || !absolutePath.startsWith(QLatin1Char('/')))
        return absolutePath;
    return prefix + absolutePath;
}

QString Paths::home()
{
    const QString value = QString::fromLocal8Bit(qgetenv("HOME"));
    return value.isEmpty() ? QDir::homePath() : value;
}

QString Paths::home(const QString& tildePath)
{
    if (tildePath == QLatin1String("~"))
        return home();
    if (tildePath.startsWith(QLatin1String("~/")))
        return home() + tildePath.mid(1);
    return tildePath;
}
