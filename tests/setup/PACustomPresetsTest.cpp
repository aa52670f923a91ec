#include "platform/KeyedArchive.h"
#include "platform/PropertyList.h"
#include "setup/PACustomPresetsWindowController.h"
#include "support/ScopedEnvironmentVariable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

QVariantMap preferences(const QString& name, const QString& description, const QString& locationID,
                        const QString& locationName)
{
    return {{QStringLiteral("PalisorClassName"), QStringLiteral("PAPreferences")},
            {QStringLiteral("presetName"), name},
            {QStringLiteral("presetDescription"), description},
            {QStringLiteral("presetLocationID"), locationID},
            {QStringLiteral("presetLocationName"), locationName}};
}

QVariantMap wrapper(const QVariantList& records)
{
    return {{QStringLiteral("PalisorClassName"), QStringLiteral("PalisorConfiguration")},
            {QStringLiteral("PalisorConfiguration"), KeyedArchive::archive(records)},
            {QStringLiteral("PalisorVersion"), QStringLiteral("1.0")}};
}

class PACustomPresetsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        m_env = std::make_unique<ScopedEnvironmentVariable>("PALISOR_ROOT", m_root.path().toUtf8());
        m_folder = m_root.path() + QStringLiteral("/Users/Shared/Palisor/");
    }

    void write(const QString& relative, const QVariant& content)
    {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(m_folder + relative).path()));
        ASSERT_TRUE(PropertyList::writeFile(m_folder + relative, content));
    }

    void writeRaw(const QString& relative, const QByteArray& bytes)
    {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(m_folder + relative).path()));
        QFile file(m_folder + relative);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    std::shared_ptr<PACustomPreset> row(const PACustomPresetsWindowController& controller,
                                        const QString& path)
    {
        for (const auto& preset : controller.customPresetsLibrary) {
            if (preset->presetPath() == path)
                return preset;
        }
        return nullptr;
    }

    QTemporaryDir m_root{QStringLiteral("/tmp/palisor-presets-XXXXXX")};
    std::unique_ptr<ScopedEnvironmentVariable> m_env;
    QString m_folder;
};

TEST_F(PACustomPresetsTest, MissingFolderIsCreatedAndListsNothing)
{
    PACustomPresetsWindowController controller;
    EXPECT_EQ(controller.thePath(), m_folder);
    EXPECT_EQ(controller.getPathOfPresetWithLocationID(QStringLiteral("L1")), QString());
    EXPECT_FALSE(QFileInfo::exists(m_folder));

    controller.displayAllCustomPresets();
    EXPECT_TRUE(QFileInfo(m_folder).isDir());
    EXPECT_TRUE(controller.customPresetsLibrary.empty());
    EXPECT_EQ(controller.customPresetsLibraryController->arrangedCount(), 0);
    EXPECT_TRUE(controller.alreadyUsedLocationsIDs.isEmpty());
    EXPECT_TRUE(controller.window.isNull());
}

TEST_F(PACustomPresetsTest, ListsEncodedPlainAndUnreadableFiles)
{
    write(QStringLiteral("abc.plist"),
          QVariantList{
              wrapper({preferences(QStringLiteral("Office"), QStringLiteral("Work"), QStringLiteral("L1"),
                                   QStringLiteral("Office Wi-Fi")),
                       QVariantMap{{QStringLiteral("PalisorClassName"), QStringLiteral("PAExclusion")}}})});
    write(QStringLiteral("sub/home.plist"),
          QVariantList{preferences(QStringLiteral("Home"), QString(), QString(), QString())});
    // Two wrappers make the array a plain one, which holds no preferences record.
    const QVariantMap twice = wrapper({preferences(QStringLiteral("Twice"), {}, QStringLiteral("L9"), {})});
    write(QStringLiteral("twowrappers.plist"), QVariantList{twice, twice});
    writeRaw(QStringLiteral("broken.plist"), "not a property list");
    writeRaw(QStringLiteral("notes.txt"), "hello");
    write(QStringLiteral("old.plist.bak"), QVariantList{preferences(QStringLiteral("Old"), {}, {}, {})});
    write(QStringLiteral("nodotplist"),
          QVariantList{
              preferences(QStringLiteral("NoDot"), {}, QStringLiteral("L1"), QStringLiteral("Again"))});

    PACustomPresetsWindowController controller;
    controller.displayAllCustomPresets();
    ASSERT_EQ(controller.customPresetsLibrary.size(), 5u);
    EXPECT_EQ(controller.customPresetsLibraryController->arrangedCount(), 5);

    const auto office = row(controller, m_folder + QStringLiteral("abc.plist"));
    ASSERT_TRUE(office);
    EXPECT_EQ(office->presetName(), QStringLiteral("Office"));
    EXPECT_EQ(office->presetDescription(), QStringLiteral("Work"));
    EXPECT_EQ(office->presetLocationID(), QStringLiteral("L1"));
    EXPECT_EQ(office->presetLocationName(), QStringLiteral("Office Wi-Fi"));

    const auto home = row(controller, m_folder + QStringLiteral("sub/home.plist"));
    ASSERT_TRUE(home);
    EXPECT_EQ(home->presetName(), QStringLiteral("Home"));
    ASSERT_TRUE(row(controller, m_folder + QStringLiteral("nodotplist")));

    int emptyRows = 0;
    for (const auto& preset : controller.customPresetsLibrary) {
        if (preset->presetPath().isEmpty()) {
            ++emptyRows;
            EXPECT_TRUE(preset->presetName().isEmpty() && preset->presetDescription().isEmpty() &&
                        preset->presetLocationID().isEmpty() && preset->presetLocationName().isEmpty());
        }
    }
    EXPECT_EQ(emptyRows, 2); // broken.plist and twowrappers.plist
    EXPECT_EQ(controller.alreadyUsedLocationsIDs, QStringList({QStringLiteral("L1"), QStringLiteral("L1")}));

    EXPECT_EQ(controller.getNameOfPreset(m_folder + QStringLiteral("abc.plist")), QStringLiteral("Office"));
    EXPECT_EQ(controller.getLocationNameFromFile(m_folder + QStringLiteral("abc.plist")),
              QStringLiteral("Office Wi-Fi"));
    EXPECT_EQ(controller.getPresetNameFromFile(m_folder + QStringLiteral("broken.plist")), QString());
    EXPECT_EQ(controller.getPresetNameFromFile(m_folder + QStringLiteral("missing.plist")), QString());
    EXPECT_TRUE(controller.getPalisorConf(m_folder + QStringLiteral("broken.plist")).isEmpty());
    EXPECT_EQ(controller.getPalisorConf(m_folder + QStringLiteral("abc.plist")).size(), 2);

    // Two files share L1: the lookup takes the one enumerated first, as the listing shows it.
    QString firstL1;
    for (const auto& preset : controller.customPresetsLibrary) {
        if (preset->presetLocationID() == QStringLiteral("L1")) {
            firstL1 = preset->presetPath();
            break;
        }
    }
    EXPECT_EQ(controller.getPathOfPresetWithLocationID(QStringLiteral("L1")), firstL1);
    EXPECT_EQ(controller.getPathOfPresetWithLocationID(QStringLiteral("L9")), QString());
    EXPECT_EQ(controller.getPathOfPresetWithLocationID(QStringLiteral("nowhere")), QString());

    // A relisting starts afresh.
    ASSERT_TRUE(QFile::remove(m_folder + QStringLiteral("abc.plist")));
    ASSERT_TRUE(QFile::remove(m_folder + QStringLiteral("nodotplist")));
    controller.displayAllCustomPresets();
    EXPECT_EQ(controller.customPresetsLibrary.size(), 3u);
    EXPECT_TRUE(controller.alreadyUsedLocationsIDs.isEmpty());
}

TEST_F(PACustomPresetsTest, RandomNamesUseTheLowerCaseAlphabet)
{
    const QString alphabet = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789");
    EXPECT_EQ(PACustomPresetsWindowController::randomCharacterFunc(0), QString());
    const QString name = PACustomPresetsWindowController::randomCharacterFunc(16);
    ASSERT_EQ(name.size(), 16);
    for (QChar c : name)
        EXPECT_TRUE(alphabet.contains(c)) << qPrintable(name);
    EXPECT_NE(name, PACustomPresetsWindowController::randomCharacterFunc(16));
}

} // namespace
