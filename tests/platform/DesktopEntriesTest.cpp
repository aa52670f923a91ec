#include "platform/DesktopEntries.h"

#include "platform/Workspace.h"
#include "support/ScopedEnvironmentVariable.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A system root and a home with desktop entries laid out as a distribution
// installs them.
class DesktopEntriesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_rootVariable = std::make_unique<ScopedEnvironmentVariable>("PALISOR_ROOT", m_root.path().toUtf8());
        m_homeVariable = std::make_unique<ScopedEnvironmentVariable>("HOME", m_home.path().toUtf8());
        DesktopEntries::reset();
    }
    void TearDown() override { DesktopEntries::reset(); }

    void write(const QString& path, const QByteArray& text)
    {
        QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QString inRoot(const QString& path) const { return m_root.path() + path; }
    void systemEntry(const QString& name, const QByteArray& body)
    {
        write(inRoot(QStringLiteral("/usr/share/applications/") + name),
              "[Desktop Entry]\nType=Application\n" + body);
    }

    QTemporaryDir m_root;
    QTemporaryDir m_home;
    std::unique_ptr<ScopedEnvironmentVariable> m_rootVariable;
    std::unique_ptr<ScopedEnvironmentVariable> m_homeVariable;
    ScopedEnvironmentVariable m_dataHome{"XDG_DATA_HOME", QByteArray()};
    ScopedEnvironmentVariable m_dataDirs{"XDG_DATA_DIRS", QByteArray()};
    ScopedEnvironmentVariable m_path{"PATH", "/usr/bin:/bin"};
};

TEST_F(DesktopEntriesTest, AnExecutableIsNamedByTheEntryThatStartsIt)
{
    systemEntry("editor.desktop", "Exec=/opt/editor/bin/editor %F\nIcon=texteditor\n");
    write(inRoot("/usr/share/applications/kde/editor.desktop"),
          "[Desktop Entry]\nType=Application\nExec=/opt/kde/ed\nIcon=kde-ed\n");
    // A bare name is looked for on PATH, and the link found there followed.
    systemEntry("viewer.desktop", "Name=Viewer\nExec=viewer --new-window %U\nIcon=viewer-icon\n");
    write(inRoot("/usr/lib/viewer/viewer-bin"), "#!/bin/sh\n");
    QDir().mkpath(inRoot("/usr/bin"));
    ASSERT_TRUE(QFile::link(QStringLiteral("../lib/viewer/viewer-bin"), inRoot("/usr/bin/viewer")));
    systemEntry("quoted.desktop", "Exec=\"/opt/My Tools/tool\" --x\nIcon=/opt/icons/tool.svg\n");
    systemEntry("env.desktop", "Exec=env FOO=1 BAR=2 /opt/envprog/run %u\nIcon=envprog\n");
    systemEntry("tryexec.desktop", "TryExec=/opt/try/bin/trier\nExec=/opt/try/launch-trier\nIcon=trier\n");
    // A wrapper on no PATH: the program's name still names the real binary.
    systemEntry("wrapped.desktop", "Exec=browserish %U\nIcon=browserish\n");
    systemEntry("hidden.desktop", "Exec=/opt/hidden/h\nIcon=hidden\nHidden=true\n");
    systemEntry("noicon.desktop", "Exec=/opt/noicon/n\n");
    write(inRoot("/usr/share/applications/link.desktop"),
          "[Desktop Entry]\nType=Link\nExec=/opt/link/l\nIcon=link\n");
    systemEntry(
        "actions.desktop",
        "Exec=/opt/actions/main\nIcon=main\n\n[Desktop Action other]\nExec=/opt/actions/other\nIcon=other\n");
    // The user's own entry of the same id hides the system's.
    write(m_home.path() + "/.local/share/applications/editor.desktop",
          "[Desktop Entry]\nType=Application\nExec=/opt/editor/bin/editor\nIcon=my-editor\n");

    const struct
    {
        const char* path;
        const char* icon;
    } cases[] = {
        {"/opt/editor/bin/editor", "my-editor"},
        {"/opt/kde/ed", "kde-ed"},
        {"/usr/bin/viewer", "viewer-icon"},
        {"/usr/lib/viewer/viewer-bin", "viewer-icon"},
        {"/opt/My Tools/tool", "/opt/icons/tool.svg"},
        {"/opt/envprog/run", "envprog"},
        {"/opt/try/bin/trier", "trier"},
        {"/opt/try/launch-trier", "trier"},
        {"/usr/lib/browserish/browserish", "browserish"},
        {"/opt/hidden/h", ""},
        {"/opt/noicon/n", ""},
        {"/opt/link/l", ""},
        {"/opt/actions/main", "main"},
        {"/opt/actions/other", ""},
        {"/opt/unknown/program", ""},
        {"", ""},
    };
    for (const auto& test : cases)
        EXPECT_EQ(DesktopEntries::iconNameForExecutable(QString::fromUtf8(test.path)),
                  QString::fromUtf8(test.icon))
            << test.path;
}

TEST_F(DesktopEntriesTest, ExecQuotingAndEscapes)
{
    const struct
    {
        const char* exec;
        const char* program;
    } cases[] = {
        {"/usr/bin/a %f", "/usr/bin/a"},
        {"\"/opt/x y/z\" --flag", "/opt/x y/z"},
        {"\"/opt/q\\\"uote\" arg", "/opt/q\"uote"},
        {"env A=1 B=2 prog", "prog"},
        {"/usr/bin/env A=1 prog2 --x", "prog2"},
        {"env", ""},
        {"   ", ""},
        {"", ""},
    };
    for (const auto& test : cases)
        EXPECT_EQ(DesktopEntries::programOfExec(QString::fromUtf8(test.exec)),
                  QString::fromUtf8(test.program))
            << test.exec;
}

// The icon itself: from the theme installed under the root, or from the file
// the entry names; without an entry, the file's own icon.
TEST_F(DesktopEntriesTest, TheAppIconComesFromTheThemeOrTheEntrysFile)
{
    write(inRoot("/usr/share/icons/hicolor/index.theme"),
          "[Icon Theme]\nName=Hicolor\nDirectories=48x48/apps\n\n[48x48/apps]\nSize=48\nType=Fixed\n");
    QImage red(48, 48, QImage::Format_ARGB32);
    red.fill(Qt::red);
    QDir().mkpath(inRoot("/usr/share/icons/hicolor/48x48/apps"));
    ASSERT_TRUE(red.save(inRoot("/usr/share/icons/hicolor/48x48/apps/palisor-test-red.png")));
    QImage blue(32, 32, QImage::Format_ARGB32);
    blue.fill(Qt::blue);
    QDir().mkpath(inRoot("/opt/icons"));
    ASSERT_TRUE(blue.save(inRoot("/opt/icons/blue.png")));
    systemEntry("red.desktop", "Exec=/opt/red/red\nIcon=palisor-test-red\n");
    systemEntry("blue.desktop", "Exec=/opt/blue/blue\nIcon=/opt/icons/blue.png\n");
    systemEntry("missing.desktop", "Exec=/opt/missing/m\nIcon=palisor-test-no-such-icon\n");

    const auto centre = [](const QIcon& icon) { return icon.pixmap(32, 32).toImage().pixelColor(16, 16); };
    EXPECT_EQ(centre(Workspace::iconForApplication(QStringLiteral("/opt/red/red"))), QColor(Qt::red));
    EXPECT_EQ(centre(Workspace::iconForApplication(QStringLiteral("/opt/blue/blue"))), QColor(Qt::blue));
    for (const char* path : {"/opt/missing/m", "/opt/none/x"})
        EXPECT_EQ(Workspace::iconForApplication(QLatin1String(path)).pixmap(32, 32).toImage(),
                  Workspace::iconForFile(QLatin1String(path)).pixmap(32, 32).toImage())
            << path;
}

} // namespace
