#include "platform/LoginItems.h"

#include "support/ScopedEnvironmentVariable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void writeFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

} // namespace

// Only entries of the user's own autostart folder whose unlocalised entry
// name is exactly the one asked for go; anything else stays.
TEST(LoginItemsTest, RemovesOnlyTheEntriesShownUnderTheName)
{
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const QString folder = XdgAutostartLoginItems::autostartFolder();
    EXPECT_EQ(folder, config.filePath(QStringLiteral("autostart")));

    // No folder at all is nothing to remove.
    XdgAutostartLoginItems().removeLoginItem(QStringLiteral("Palisor"));

    ASSERT_TRUE(QDir().mkpath(folder));
    struct Entry
    {
        const char* file;
        QByteArray text;
        bool removed;
    };
    const QList<Entry> entries{
        {"old.desktop", "[Desktop Entry]\nType=Application\nName=Palisor\nExec=/x\n", true},
        {"spaced.desktop", "[Desktop Entry]\nName = Palisor \n", true},
        {"helper.desktop", "[Desktop Entry]\nName=Palisor Helper\n", false},
        {"localized.desktop", "[Desktop Entry]\nName[de]=Palisor\nName=Other\n", false},
        {"action.desktop", "[Desktop Entry]\nName=Other\n[Desktop Action x]\nName=Palisor\n", false},
        {"Palisor.txt", "[Desktop Entry]\nName=Palisor\n", false},
    };
    for (const Entry& entry : entries)
        writeFile(folder + QLatin1Char('/') + QLatin1String(entry.file), entry.text);
    XdgAutostartLoginItems().removeLoginItem(QStringLiteral("Palisor"));
    for (const Entry& entry : entries)
        EXPECT_EQ(QFileInfo::exists(folder + QLatin1Char('/') + QLatin1String(entry.file)), !entry.removed)
            << entry.file;
}
