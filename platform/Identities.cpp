#include "platform/Identities.h"

#include "platform/Paths.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

// A passwd line longer than this is broken, not a user; stop growing there.
constexpr size_t maxPasswdBuffer = 1 << 20;

size_t initialPasswdBuffer()
{
    const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    return suggested > 0 ? static_cast<size_t>(suggested) : 16384;
}

struct UidRange
{
    uid_t min = 1000;
    uid_t max = 60000;
};

// The user database and its limits are the machine's own, not files of the
// agent, so they are read from the real /etc even under a PALISOR_ROOT.
UidRange realUserRange()
{
    UidRange range;
    QFile file(QStringLiteral("/etc/login.defs"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return range;
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    while (!file.atEnd()) {
        const QString line = QString::fromLocal8Bit(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(blanks, Qt::SkipEmptyParts);
        if (fields.size() < 2)
            continue;
        bool ok = false;
        const uint value = fields.at(1).toUInt(&ok, 0);
        if (!ok)
            continue;
        if (fields.at(0) == QLatin1String("UID_MIN"))
            range.min = value;
        else if (fields.at(0) == QLatin1String("UID_MAX"))
            range.max = value;
    }
    return range;
}

Identity identityFrom(const passwd& entry)
{
    Identity identity;
    identity.posixName = QString::fromLocal8Bit(entry.pw_name);
    identity.uid = entry.pw_uid;
    // The GECOS field is "full name,room,work phone,home phone,other".
    const QString gecos = QString::fromLocal8Bit(entry.pw_gecos ? entry.pw_gecos : "");
    identity.fullName = gecos.section(QLatin1Char(','), 0, 0);
    identity.imagePath = Identities::picturePath(identity.posixName, identity.uid);
    return identity;
}

} // namespace

QImage Identity::image() const
{
    return imagePath.isEmpty() ? QImage() : QImage(imagePath);
}

QString Identities::picturePath(const QString& posixName, uid_t uid)
{
    const QString accounts = Paths::system(QStringLiteral("/var/lib/AccountsService/icons/") + posixName);
    if (!posixName.isEmpty() && QFileInfo(accounts).isFile())
        return accounts;
    // Other users' homes are theirs to show or not; only our own is looked at.
    if (uid == getuid()) {
        const QString face = Paths::home(QStringLiteral("~/.face"));
        if (QFileInfo(face).isFile())
            return face;
    }
    return {};
}

std::optional<QString> Identities::userName(uid_t uid)
{
    std::vector<char> buffer(initialPasswdBuffer());
    for (;;) {
        passwd entry{};
        passwd* result = nullptr;
        const int error = getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &result);
        if (error == ERANGE && buffer.size() < maxPasswdBuffer) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || result == nullptr)
            return std::nullopt;
        return QString::fromLocal8Bit(result->pw_name);
    }
}

QList<Identity> Identities::localUsers()
{
    QList<Identity> users;
    // fgetpwent_r on our own stream rather than getpwent: no shared cursor to
    // guard, and only the local accounts, not whatever the name services add.
    FILE* stream = std::fopen("/etc/passwd", "re");
    if (stream == nullptr)
        return users;

    const UidRange range = realUserRange();
    std::vector<char> buffer(initialPasswdBuffer());
    for (;;) {
        passwd entry{};
        passwd* result = nullptr;
        const int error = fgetpwent_r(stream, &entry, buffer.data(), buffer.size(), &result);
        if (error == ERANGE && buffer.size() < maxPasswdBuffer) {
            // glibc puts the stream back to the start of the line it could
            // not hold, so the same entry is read again.
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || result == nullptr)
            break;
        if (result->pw_uid >= range.min && result->pw_uid <= range.max)
            users.append(identityFrom(*result));
    }
    std::fclose(stream);
    return users;
}
