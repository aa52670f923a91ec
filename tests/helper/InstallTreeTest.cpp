#include "platform/Installation.h"
#include "platform/PropertyList.h"
#include "support/ScopedEnvironmentVariable.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Text) ? QString::fromUtf8(file.readAll()) : QString();
}

// The value of `key=` in an INI-like file (unit, desktop entry); "" when absent.
QString keyValue(const QString& text, const QString& key)
{
    for (const QString& line : text.split(QLatin1Char('\n')))
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    return {};
}

QString unquoted(QString text)
{
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
        text = text.mid(1, text.size() - 2);
    return text;
}

} // namespace

// What `cmake --install` lays out under a prefix: a system root in which the
// helper, its unit and its autostart entry find each other and the agent.
TEST(InstallTreeTest, InstallLaysOutBothBundlesAndTheSessionFiles)
{
    QTemporaryDir prefix(QStringLiteral("/tmp/palisor-install.XXXXXX"));
    ASSERT_TRUE(prefix.isValid());
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(PALISOR_CMAKE_COMMAND),
                  {QStringLiteral("--install"), QStringLiteral(PALISOR_TEST_BINARY_DIR),
                   QStringLiteral("--prefix"), prefix.path()});
    ASSERT_TRUE(install.waitForFinished(120000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();
    const auto path = [&](const QString& absolute) { return prefix.path() + absolute; };

    struct Bundle
    {
        QString folder;
        QString identifier;
        QString executable;
        QStringList resources;
    };
    const QString support = QStringLiteral("/Library/Application Support/Palisor");
    for (const Bundle& bundle : {Bundle{support + QStringLiteral("/Agent/Palisor.app"),
                                        QStringLiteral("zz.tolvane.PalisorAgent"),
                                        QStringLiteral("PalisorAgent"),
                                        {QStringLiteral("preset0.plist"), QStringLiteral("palisor.svg"),
                                         QStringLiteral("sounds/Basso.wav")}},
                                 Bundle{support + QStringLiteral("/Palisor-Helper.app"),
                                        QStringLiteral("zz.tolvane.Palisor-Helper"),
                                        QStringLiteral("Palisor-Helper"),
                                        {QStringLiteral("NSCaution.svg")}}}) {
        SCOPED_TRACE(bundle.folder.toStdString());
        const std::optional<QVariant> info =
            PropertyList::readFile(path(bundle.folder + "/Contents/Info.plist"));
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->toMap().value("CFBundleIdentifier").toString(), bundle.identifier);
        EXPECT_EQ(info->toMap().value("CFBundleExecutable").toString(), bundle.executable);
        const QFileInfo executable(path(bundle.folder + "/Contents/MacOS/" + bundle.executable));
        EXPECT_TRUE(executable.isFile() && executable.isExecutable());
        for (const QString& resource : bundle.resources)
            EXPECT_TRUE(QFileInfo(path(bundle.folder + "/Contents/Resources/" + resource)).isFile())
                << resource.toStdString();
        EXPECT_FALSE(QFileInfo::exists(path(bundle.folder + "/Contents/Resources/Info.plist.in")));
    }
    EXPECT_TRUE(
        QFileInfo(path(support + "/Agent/Palisor.app/Contents/Resources/palisoruninstaller")).isExecutable());
    // The country zones the build made (none without the country database)
    // are installed with the rest of the agent's resources.
    const QStringList zoneNames{QStringLiteral("*-aggregated.zone")};
    const QStringList builtZones =
        QDir(QStringLiteral(PALISOR_TEST_BUNDLE_DIR "/Contents/Resources/aggregated"))
            .entryList(zoneNames, QDir::Files, QDir::Name);
    EXPECT_EQ(QDir(path(support + "/Agent/Palisor.app/Contents/Resources/aggregated"))
                  .entryList(zoneNames, QDir::Files, QDir::Name),
              builtZones);

    // The unit and the autostart entry name the installed helper and its
    // starter by their paths in the root.
    const QString unit =
        readText(path(QStringLiteral("/usr/lib/systemd/user/zz.tolvane.PalisorHelper.service")));
    const QString helper = unquoted(keyValue(unit, QStringLiteral("ExecStart")));
    EXPECT_EQ(helper, support + QStringLiteral("/Palisor-Helper.app/Contents/MacOS/Palisor-Helper"));
    EXPECT_EQ(keyValue(unit, QStringLiteral("KillMode")), QStringLiteral("process"));
    // Only where the root daemon is installed: the plist the agent's
    // readiness check looks for, in the system's own root.
    {
        ScopedEnvironmentVariable systemRoot("PALISOR_ROOT", QByteArray());
        EXPECT_EQ(keyValue(unit, QStringLiteral("ConditionPathExists")),
                  Installation::daemonLaunchPlistPath());
    }
    const QString entry =
        readText(path(QStringLiteral("/etc/xdg/autostart/zz.tolvane.Palisor-Helper.desktop")));
    EXPECT_EQ(keyValue(entry, QStringLiteral("Type")), QStringLiteral("Application"));
    // Not the name of the older login item that the helper removes.
    EXPECT_NE(keyValue(entry, QStringLiteral("Name")), QStringLiteral("Palisor"));
    const QString starter = unquoted(keyValue(entry, QStringLiteral("Exec")));
    EXPECT_TRUE(QFileInfo(path(starter)).isExecutable()) << starter.toStdString();
    // The entry is a conffile and outlives the package's removal: the
    // desktop skips it once the starter it tries is gone.
    EXPECT_EQ(keyValue(entry, QStringLiteral("TryExec")), starter);

    const QString policy =
        readText(path(QStringLiteral("/usr/share/polkit-1/actions/zz.tolvane.palisor.policy")));
    EXPECT_TRUE(policy.contains(QLatin1String("<action id=\"zz.tolvane.palisor.unlock\">")));

    // The zone files are GeoLite data, whose licence asks for its notice to
    // travel with them; the copyright file names every licence installed.
    const QString copyright = readText(path(QStringLiteral("/usr/share/doc/palisor/copyright")));
    EXPECT_TRUE(copyright.startsWith(
        QLatin1String("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n")));
    EXPECT_TRUE(copyright.contains(QLatin1String("This product includes GeoLite data created by MaxMind")));
    for (const QString& license : {QStringLiteral("Tolvane"), QStringLiteral("OpenDataLicense")})
        EXPECT_TRUE(copyright.contains(QLatin1String("\nLicense: ") + license + QLatin1Char('\n')))
            << license.toStdString();
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("/usr/share/doc/palisor/changelog.gz"))).isFile());

    // The agent's uninstaller takes away every file the install put there.
    QProcess uninstall;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PALISOR_ROOT"), prefix.path());
    uninstall.setProcessEnvironment(environment);
    uninstall.setProcessChannelMode(QProcess::MergedChannels);
    uninstall.start(
        path(support + QStringLiteral("/Agent/Palisor.app/Contents/Resources/palisoruninstaller")), {});
    ASSERT_TRUE(uninstall.waitForFinished(30000));
    EXPECT_EQ(uninstall.exitCode(), 0) << uninstall.readAll().toStdString();
    QStringList left;
    QDirIterator it(prefix.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        left << it.next();
    EXPECT_EQ(left, QStringList());
}

// The autostart entry's starter hands over to the user unit where a systemd
// user manager answers, and runs the helper of its own bundle elsewhere;
// where the root daemon is not installed it starts neither.
TEST(InstallTreeTest, StarterUsesTheUserUnitOnlyWhereTheUserManagerAnswers)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString bundle = dir.filePath(QStringLiteral("Palisor-Helper.app/Contents"));
    const QString bin = dir.filePath(QStringLiteral("bin"));
    const QString journal = dir.filePath(QStringLiteral("journal"));
    for (const QString& folder : {bundle + "/MacOS", bundle + "/Resources", bin})
        ASSERT_TRUE(QDir().mkpath(folder));
    const QString starter = bundle + QStringLiteral("/Resources/start-at-login");
    ASSERT_TRUE(
        QFile::copy(QStringLiteral(PALISOR_TEST_SOURCE_DIR "/../helper/resources/start-at-login"), starter));
    ASSERT_TRUE(QFile::link(QStringLiteral("/usr/bin/dirname"), bin + QStringLiteral("/dirname")));
    const auto writeScript = [](const QString& path, const QByteArray& text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + text);
        file.close();
        ASSERT_TRUE(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    };
    writeScript(bundle + QStringLiteral("/MacOS/Palisor-Helper"), "echo helper >>\"$JOURNAL\"\n");

    // The system root in which the daemon is installed or not.
    const QString root = dir.filePath(QStringLiteral("root"));
    const QString daemonPlist = root + QStringLiteral("/Library/LaunchDaemons/zz.tolvane.palisorafd.plist");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(daemonPlist).absolutePath()));

    struct Case
    {
        const char* name;
        bool daemonInstalled;
        bool hasSystemctl;
        bool managerAnswers;
        QStringList journal;
    };
    for (const Case& c :
         {Case{"no systemctl", true, false, false, {"helper"}},
          Case{"no user manager", true, true, false, {"systemctl --user show-environment", "helper"}},
          Case{"user manager",
               true,
               true,
               true,
               {"systemctl --user show-environment",
                "systemctl --user import-environment DISPLAY WAYLAND_DISPLAY XAUTHORITY",
                "systemctl --user start zz.tolvane.PalisorHelper.service"}},
          Case{"no daemon, user manager", false, true, true, {}},
          Case{"no daemon, no systemctl", false, false, false, {}}}) {
        SCOPED_TRACE(c.name);
        QFile::remove(daemonPlist);
        if (c.daemonInstalled) {
            QFile plist(daemonPlist);
            ASSERT_TRUE(plist.open(QIODevice::WriteOnly));
        }
        QFile::remove(journal);
        QFile::remove(bin + QStringLiteral("/systemctl"));
        if (c.hasSystemctl)
            writeScript(bin + QStringLiteral("/systemctl"),
                        QByteArray("echo systemctl \"$@\" >>\"$JOURNAL\"\nexit ") +
                            (c.managerAnswers ? "0" : "1") + "\n");

        QProcess run;
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("PATH"), bin);
        environment.insert(QStringLiteral("JOURNAL"), journal);
        environment.insert(QStringLiteral("PALISOR_ROOT"), root);
        run.setProcessEnvironment(environment);
        run.start(QStringLiteral("/bin/sh"), {starter});
        ASSERT_TRUE(run.waitForFinished(10000));
        EXPECT_EQ(run.exitCode(), 0);
        EXPECT_EQ(readText(journal).split(QLatin1Char('\n'), Qt::SkipEmptyParts), c.journal);
    }
}
