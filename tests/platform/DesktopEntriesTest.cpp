#include "platform/DesktopEntries.h"

#include "platform/Workspace.h"
#include "support/ScopedEnvironmentVariable.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>

namespace {

struct PathIcon
{
    const char* path;
    const char* icon;
};

// The icon name each executable path is shown with.
void expectIconNames(std::initializer_list<PathIcon> cases)
{
    for (const PathIcon& test : cases)
        EXPECT_EQ(DesktopEntries::iconNameForExecutable(QString::fromUtf8(test.path)),
                  QString::fromUtf8(test.icon))
            << test.path;
}

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
    // An interpreter handed a script or a command runs every other script
    // too: it is not the entry's program. Started for itself it is.
    systemEntry("script.desktop",
                "TryExec=python3\nExec=python3 /usr/share/script/script.py %F\nIcon=script\n");
    systemEntry("module.desktop", "Exec=env LANG=C python3.11 -O -m tool\nIcon=tool\n");
    systemEntry("shelled.desktop", "Exec=sh -c \"exec /opt/shelled/run --x\"\nIcon=shelled\n");
    systemEntry("perl.desktop", "Exec=/opt/perl/perl5.36 -w %f\nIcon=perl-own\n");
    // The user's own entry of the same id hides the system's.
    write(m_home.path() + "/.local/share/applications/editor.desktop",
          "[Desktop Entry]\nType=Application\nExec=/opt/editor/bin/editor\nIcon=my-editor\n");

    expectIconNames({
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
        {"/opt/py/python3", ""},
        {"/opt/py/python3.11", ""},
        {"/opt/shelled/run", "shelled"},
        {"/opt/sh/sh", ""},
        {"/opt/perl/perl5.36", "perl-own"},
        {"/opt/unknown/program", ""},
        {"", ""},
    });
}

// Entries as Debian's packages install them, beside the programs they start
// and the links that lead there: an entry hidden from menus, an icon given as
// a file, a bare name found through an alternatives link.
class DebianDesktopEntriesTest : public DesktopEntriesTest
{
protected:
    void SetUp() override
    {
        DesktopEntriesTest::SetUp();
        const QDir fixtures(QStringLiteral(PALISOR_TEST_SOURCE_DIR "/fixtures/desktop-entries"));
        const QStringList entries = fixtures.entryList({QStringLiteral("*.desktop")}, QDir::Files);
        ASSERT_EQ(entries.size(), 4);
        QDir().mkpath(inRoot("/usr/share/applications"));
        for (const QString& entry : entries)
            ASSERT_TRUE(QFile::copy(fixtures.filePath(entry), inRoot("/usr/share/applications/") + entry));
        for (const char* program : {"/usr/bin/python3.11", "/usr/bin/idle-python3.11", "/usr/bin/htop",
                                    "/usr/bin/vim.basic", "/usr/bin/perl"})
            write(inRoot(QLatin1String(program)), "\x7f"
                                                  "ELF");
        QDir().mkpath(inRoot("/etc/alternatives"));
        ASSERT_TRUE(QFile::link(QStringLiteral("python3.11"), inRoot("/usr/bin/python3")));
        ASSERT_TRUE(QFile::link(QStringLiteral("../../usr/bin/vim.basic"), inRoot("/etc/alternatives/vim")));
        ASSERT_TRUE(QFile::link(QStringLiteral("../../etc/alternatives/vim"), inRoot("/usr/bin/vim")));
    }

    static QString fixture(const char* name)
    {
        return QStringLiteral(PALISOR_TEST_SOURCE_DIR "/fixtures/desktop-entries/") + QLatin1String(name);
    }
};

TEST_F(DebianDesktopEntriesTest, EachProgramHasItsEntrysIcon)
{
    expectIconNames({
        // NoDisplay=true, and an icon file rather than a name.
        {"/usr/bin/python3.11", "/usr/share/pixmaps/python3.11.xpm"},
        // What "python3" starts: no entry names the link itself.
        {"/usr/bin/python3", "/usr/share/pixmaps/python3.11.xpm"},
        {"/usr/bin/idle-python3.11", "/usr/share/pixmaps/python3.11.xpm"},
        {"/usr/bin/htop", "htop"},
        // TryExec=vim and Exec=vim %F, through the alternatives link.
        {"/usr/bin/vim", "gvim"},
        {"/usr/bin/vim.basic", "gvim"},
        {"/usr/bin/perl", ""},
    });
}

// The pictures themselves: an XPM file the entry names, an SVG of the theme,
// an SVG file the entry names, and the theme's when its name has an extension.
TEST_F(DebianDesktopEntriesTest, TheirIconsAreDrawn)
{
    QDir().mkpath(inRoot("/usr/share/pixmaps"));
    ASSERT_TRUE(QFile::copy(fixture("python3.11.xpm"), inRoot("/usr/share/pixmaps/python3.11.xpm")));
    write(inRoot("/usr/share/icons/hicolor/index.theme"),
          "[Icon Theme]\nName=Hicolor\nDirectories=scalable/apps\n\n"
          "[scalable/apps]\nSize=48\nMinSize=16\nMaxSize=256\nType=Scalable\n");
    QDir().mkpath(inRoot("/usr/share/icons/hicolor/scalable/apps"));
    ASSERT_TRUE(QFile::copy(fixture("htop.svg"), inRoot("/usr/share/icons/hicolor/scalable/apps/htop.svg")));
    QDir().mkpath(inRoot("/opt/top"));
    ASSERT_TRUE(QFile::copy(fixture("htop.svg"), inRoot("/opt/top/top.svg")));
    systemEntry("top.desktop", "Exec=/opt/top/top\nIcon=/opt/top/top.svg\n");
    // A theme icon named with its file's extension.
    systemEntry("named.desktop", "Exec=/opt/named/named\nIcon=htop.svg\n");

    const struct
    {
        const char* path;
        const char* picture;
    } cases[] = {
        {"/usr/bin/python3", "python3.11.xpm"},
        {"/usr/bin/htop", "htop.svg"},
        {"/opt/top/top", "htop.svg"},
        {"/opt/named/named", "htop.svg"},
    };
    const auto image = [](const QIcon& icon) { return icon.pixmap(32, 32).toImage(); };
    for (const auto& test : cases) {
        const QIcon icon = Workspace::iconForApplication(QLatin1String(test.path));
        const QImage expected = image(QIcon(fixture(test.picture)));
        ASSERT_FALSE(expected.isNull()) << test.picture;
        EXPECT_EQ(image(icon).convertToFormat(QImage::Format_ARGB32),
                  expected.convertToFormat(QImage::Format_ARGB32))
            << test.path;
        EXPECT_NE(image(icon), image(Workspace::iconForFile(QLatin1String(test.path)))) << test.path;
    }
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
