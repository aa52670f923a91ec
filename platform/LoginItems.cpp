#include "platform/LoginItems.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The unlocalised Name of the [Desktop Entry] group; "" when there is none.
QString entryName(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inEntry = false;
    // An autostart entry is a few lines; a huge file is not one.
    constexpr qint64 longestEntry = 64 * 1024;
    while (!file.atEnd() && file.pos() < longestEntry) {
        const QString line = QString::fromUtf8(file.readLine(4096)).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry)
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals > 0 && line.left(equals).trimmed() == QLatin1String("Name"))
            return line.mid(equals + 1).trimmed();
    }
    return {};
}

} // namespace

QString XdgAutostartLoginItems::autostartFolder()
{
    // A relative XDG_CONFIG_HOME means nothing to other desktop programs, so
    // the autostart folder falls back to ~/.config as they do.
    QString config = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    if (!QDir::isAbsolutePath(config))
        config = Paths::home() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart");
}

void XdgAutostartLoginItems::removeLoginItem(const QString& name)
{
    const QDir folder(autostartFolder());
    const QFileInfoList entries =
        folder.entryInfoList({QStringLiteral("*.desktop")}, QDir::Files | QDir::System | QDir::Hidden);
    for (const QFileInfo& entry : entries) {
        if (entryName(entry.filePath()) == name)
            QFile::remove(entry.filePath());
    }
}
