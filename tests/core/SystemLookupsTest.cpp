#include "core/GetuserFromUID.h"
#include "core/PASystemUsers.h"
#include "core/XPCpid.h"
#include "platform/Identities.h"
#include "support/ScopedEnvironmentVariable.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <pwd.h>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

// The range as login.defs states it, read independently of the code under test.
std::pair<uid_t, uid_t> loginDefsRange()
{
    uid_t min = 1000;
    uid_t max = 60000;
    std::ifstream defs("/etc/login.defs");
    std::string line;
    while (std::getline(defs, line)) {
        std::istringstream fields(line);
        std::string key;
        unsigned long value = 0;
        if (!(fields >> key >> value))
            continue;
        if (key == "UID_MIN")
            min = value;
        else if (key == "UID_MAX")
            max = value;
    }
    return {min, max};
}

uid_t unusedUid()
{
    uid_t uid = 4242;
    while (getpwuid(uid) != nullptr)
        ++uid;
    return uid;
}

// A PALISOR_ROOT of the test's own, restored and removed afterwards.
class TemporaryRoot
{
public:
    TemporaryRoot()
        : m_hadRoot(qEnvironmentVariableIsSet("PALISOR_ROOT"))
        , m_oldRoot(qgetenv("PALISOR_ROOT"))
    {
        char pattern[] = "/tmp/palisor-lookups-XXXXXX";
        if (mkdtemp(pattern) != nullptr)
            m_path = QString::fromLocal8Bit(pattern);
        qputenv("PALISOR_ROOT", m_path.toLocal8Bit());
    }
    ~TemporaryRoot()
    {
        if (m_hadRoot)
            qputenv("PALISOR_ROOT", m_oldRoot);
        else
            qunsetenv("PALISOR_ROOT");
        if (!m_path.isEmpty())
            QDir(m_path).removeRecursively();
    }
    const QString& path() const { return m_path; }

private:
    bool m_hadRoot;
    QByteArray m_oldRoot;
    QString m_path;
};

} // namespace

TEST(GetuserFromUID, NamesAccountsAndNumbersTheRest)
{
    const GetuserFromUID lookup;
    EXPECT_EQ(lookup.getuser(0), QStringLiteral("root"));
    const uid_t unused = unusedUid();
    EXPECT_EQ(lookup.getuser(static_cast<qint32>(unused)), QString::number(unused));
    EXPECT_EQ(Identities::userName(unused), std::nullopt);
}

TEST(PASystemUsers, ListsExactlyThePasswdAccountsInTheLoginDefsRange)
{
    const auto [min, max] = loginDefsRange();
    QList<uid_t> expected;
    std::ifstream passwdFile("/etc/passwd");
    std::string line;
    while (std::getline(passwdFile, line)) {
        std::istringstream fields(line);
        std::string name, password, uidText;
        if (!std::getline(fields, name, ':') || !std::getline(fields, password, ':') ||
            !std::getline(fields, uidText, ':'))
            continue;
        unsigned long uid = 0;
        const auto [end, error] = std::from_chars(uidText.data(), uidText.data() + uidText.size(), uid);
        if (error != std::errc() || end != uidText.data() + uidText.size())
            continue;
        if (uid >= min && uid <= max)
            expected.append(static_cast<uid_t>(uid));
    }

    QList<uid_t> listed;
    for (const Identity& identity : PASystemUsers().systemUsers()) {
        EXPECT_GE(identity.uid, min) << identity.posixName.toStdString();
        EXPECT_LE(identity.uid, max) << identity.posixName.toStdString();
        EXPECT_EQ(Identities::userName(identity.uid), identity.posixName);
        listed.append(identity.uid);
    }
    EXPECT_EQ(listed, expected);
}

TEST(Identities, FindsTheAccountsServicePictureUnderTheRoot)
{
    TemporaryRoot root;
    ASSERT_FALSE(root.path().isEmpty());
    const QList<Identity> before = Identities::localUsers();
    if (before.isEmpty())
        GTEST_SKIP() << "no real user account on this machine";
    const Identity& user = before.first();
    EXPECT_TRUE(user.imagePath.isEmpty());
    EXPECT_TRUE(user.image().isNull());

    const QString icons = root.path() + QStringLiteral("/var/lib/AccountsService/icons");
    ASSERT_TRUE(QDir().mkpath(icons));
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(icons + QLatin1Char('/') + user.posixName, "PNG"));

    const Identity after = Identities::localUsers().first();
    EXPECT_EQ(after.imagePath, icons + QLatin1Char('/') + user.posixName);
    const QImage loaded = after.image();
    ASSERT_FALSE(loaded.isNull());
    EXPECT_EQ(loaded.size(), QSize(8, 8));
    EXPECT_EQ(loaded.pixelColor(0, 0), QColor(Qt::red));
}

TEST(Identities, OurOwnFacePictureStandsInForAMissingAccountsServiceIcon)
{
    TemporaryRoot root;
    ASSERT_FALSE(root.path().isEmpty());
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    ScopedEnvironmentVariable homeVariable("HOME", home.path().toLocal8Bit());
    const QString name = QStringLiteral("palisor-test-user");
    const QString face = home.path() + QStringLiteral("/.face");
    EXPECT_EQ(Identities::picturePath(name, getuid()), QString());

    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(face, "PNG"));
    EXPECT_EQ(Identities::picturePath(name, getuid()), face);
    EXPECT_EQ(Identities::picturePath(name, getuid() + 1), QString()) << "another user's home is not ours";

    const QString icons = root.path() + QStringLiteral("/var/lib/AccountsService/icons");
    ASSERT_TRUE(QDir().mkpath(icons));
    ASSERT_TRUE(picture.save(icons + QLatin1Char('/') + name, "PNG"));
    EXPECT_EQ(Identities::picturePath(name, getuid()), icons + QLatin1Char('/') + name);
}

TEST(XPCpid, HasNoHostOnLinux)
{
    EXPECT_EQ(XPCpid().xpcpid(1), QString());
}
