#include "platform/PropertyList.h"

#include <QDir>
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

    // The unit and the autostart entry name the installed helper and its
    // starter by their paths in the root.
    const QString unit =
        readText(path(QStringLiteral("/usr/lib/systemd/user/zz.tolvane.PalisorHelper.service")));
    const QString helper = unquoted(keyValue(unit, QStringLiteral("ExecStart")));
    EXPECT_EQ(helper, support + QStringLiteral("/Palisor-Helper.app/Contents/MacOS/Palisor-Helper"));
    EXPECT_EQ(keyValue(unit, QStringLiteral("KillMode")), QStringLiteral("process"));
    const QString entry =
        readText(path(QStringLiteral("/etc/xdg/autostart/zz.tolvane.Palisor-Helper.desktop")));
    EXPECT_EQ(keyValue(entry, QStringLiteral("Type")), QStringLiteral("Application"));
    // Not the name of the older login item that the helper removes.
    EXPECT_NE(keyValue(entry, QStringLiteral("Name")), QStringLiteral("Palisor"));
    const QString starter = unquoted(keyValue(entry, QStringLiteral("Exec")));
    EXPECT_TRUE(QFileInfo(path(starter)).isExecutable()) << starter.toStdString();

    const QString policy =
        readText(path(QStringLiteral("/usr/share/polkit-1/actions/zz.tolvane.palisor.policy")));
    EXPECT_TRUE(policy.contains(QLatin1String("<action id=\"zz.tolvane.palisor.unlock\">")));
}
