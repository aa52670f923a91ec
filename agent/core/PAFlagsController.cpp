#include "core/PAFlagsController.h"

#include "core/AgentLog.h"
#include "core/PACountryTable.h"
#include "platform/Paths.h"
#include "platform/Resources.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QUtf8StringView>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class ReadResult { Read, Unreadable, TooLarge };

// File names may hold line feeds and other control characters: a name must
// not be able to write lines of its own into the log.
QByteArray shown(const QString& path)
{
    QString text = path;
    for (QChar& character : text)
        if (!character.isPrint())
            character = QLatin1Char('?');
    return text.toUtf8();
}

// Reads a regular file of at most `limit` bytes. Opening never waits (a FIFO
// planted under a zone name would otherwise hold the launch forever), and a
// device or folder is no file.
ReadResult readRegularFile(const QString& path, qint64 limit, QByteArray& bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return ReadResult::Unreadable;
    ReadResult result = ReadResult::Read;
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        result = ReadResult::Unreadable;
    } else if (info.st_size > limit) {
        result = ReadResult::TooLarge;
    } else {
        // The size may change while we read: never past the limit.
        bytes.resize(qsizetype(info.st_size) + 1);
        qsizetype filled = 0;
        while (filled < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                result = ReadResult::Unreadable;
                break;
            }
            if (n == 0)
                break;
            filled += n;
            if (filled > limit) {
                result = ReadResult::TooLarge;
                break;
            }
            if (filled == bytes.size())
                bytes.resize(std::min<qsizetype>(limit + 1, bytes.size() * 2));
        }
        bytes.truncate(filled);
    }
    ::close(fd);
    return result;
}

class ZoneLoader
{
public:
    explicit ZoneLoader(const QString& folder)
        : m_folder(folder)
    {
    }

    QList<PACountryTable::ZoneText> load()
    {
        m_walk({}, 0);
        return m_zones;
    }

private:
    // Every entry below the folder, as a path relative to it, depth first
    // with each folder's names in sorted order, so that which of two files
    // of one code comes later does not depend on the file system. Linked
    // folders are not entered: a link back up would never end.
    void m_walk(const QString& relativeFolder, int depth)
    {
        if (m_stopped)
            return;
        if (depth > PAFlagsController::kMaxDepth) {
            qCWarning(lcAlert,
                      "Country zones: %s nests deeper than %d folders; its inner folders are skipped",
                      shown(m_full(relativeFolder)).constData(), PAFlagsController::kMaxDepth);
            return;
        }
        QStringList names =
            QDir(m_full(relativeFolder))
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                           QDir::NoSort);
        std::sort(names.begin(), names.end());
        for (const QString& name : std::as_const(names)) {
            if (++m_entries > PAFlagsController::kMaxEntries) {
                qCWarning(lcAlert, "Country zones: more than %d entries under %s; the rest are skipped",
                          PAFlagsController::kMaxEntries, shown(m_folder).constData());
                m_stopped = true;
                return;
            }
            const QString relative =
                relativeFolder.isEmpty() ? name : relativeFolder + QLatin1Char('/') + name;
            m_visit(relative);
            const QFileInfo info(m_full(relative));
            if (info.isDir() && !info.isSymLink())
                m_walk(relative, depth + 1);
            if (m_stopped)
                return;
        }
    }

    void m_visit(const QString& relative)
    {
        if (!relative.endsWith(QLatin1String(PAFlagsController::kZoneSuffix)))
            return;
        const QString full = m_full(relative);
        if (!QFileInfo::exists(full))
            return;
        const QString code = relative.section(QLatin1Char('-'), 0, 0);
        m_enter(code, m_text(full));
    }

    // The file's UTF-8 text, or the empty text (one empty line) of a file
    // that cannot be read as UTF-8 text within the bounds.
    QByteArray m_text(const QString& full)
    {
        QByteArray bytes;
        switch (readRegularFile(full, PAFlagsController::kMaxZoneFileBytes, bytes)) {
        case ReadResult::Unreadable:
            qCWarning(lcAlert, "Country zones: cannot read %s; its zone stays empty",
                      shown(full).constData());
            return {};
        case ReadResult::TooLarge:
            qCWarning(lcAlert, "Country zones: %s is larger than %lld bytes; its zone stays empty",
                      shown(full).constData(), PAFlagsController::kMaxZoneFileBytes);
            return {};
        case ReadResult::Read:
            break;
        }
        if (m_lineCount + lineCount(bytes) > PAFlagsController::kMaxZoneLines) {
            qCWarning(lcAlert,
                      "Country zones: %s would bring the zones past %lld lines; its zone stays empty",
                      shown(full).constData(), PAFlagsController::kMaxZoneLines);
            return {};
        }
        if (!QUtf8StringView(bytes).isValidUtf8()) {
            qCWarning(lcAlert, "Country zones: %s is not UTF-8 text; its zone stays empty",
                      shown(full).constData());
            return {};
        }
        return bytes;
    }

    static qint64 lineCount(const QByteArray& text)
    {
        return std::count(text.cbegin(), text.cend(), '\n') + 1;
    }

    // A later file of the same code replaces the earlier entry in its place.
    void m_enter(const QString& code, QByteArray text)
    {
        m_lineCount += lineCount(text);
        const auto known = m_index.constFind(code);
        if (known != m_index.constEnd()) {
            PACountryTable::ZoneText& zone = m_zones[known.value()];
            m_lineCount -= lineCount(zone.text);
            zone.text = std::move(text);
            return;
        }
        m_index.insert(code, m_zones.size());
        m_zones.append({code, std::move(text)});
    }

    QString m_full(const QString& relative) const
    {
        return relative.isEmpty() ? m_folder : m_folder + QLatin1Char('/') + relative;
    }

    QString m_folder;
    QList<PACountryTable::ZoneText> m_zones;
    QHash<QString, qsizetype> m_index; // code -> its place in m_zones
    qint64 m_lineCount = 0;
    int m_entries = 0;
    bool m_stopped = false;
};

} // namespace

PAFlagsController::PAFlagsController(QObject* parent)
    : QObject(parent)
    , m_thePath(Paths::system(QString::fromLatin1(kSiblingZonesFolder)))
{
}

void PAFlagsController::awakeFromNib()
{
    makeDict();
}

void PAFlagsController::makeDict()
{
    // An existing sibling folder is the one source even when it holds no
    // zones: ours stand in only where the sibling firewall is not installed.
    if (!QFileInfo::exists(Paths::system(QString::fromLatin1(kSiblingZonesFolder))))
        m_thePath = Resources::resourcesPath() + QLatin1Char('/') + QLatin1String(kResourceZonesFolder);
    PACountryTable::setCountryZoneTexts(ZoneLoader(m_thePath).load());
}
