#include "platform/SoundPlayer.h"

#include "platform/Resources.h"
#include "support/RecordingSoundPlayer.h"
#include "support/ScopedEnvironmentVariable.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSet>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

const char* const alertSounds[] = {"Basso", "Blow", "Bottle", "Frog", "Funk",   "Glass",     "Hero",
                                   "Morse", "Ping", "Pop",    "Purr", "Sosumi", "Submarine", "Tink"};

QString soundsFolder()
{
    return Resources::resourcesPath() + QStringLiteral("/sounds/");
}

} // namespace

TEST(SoundPlayerTest, NamesResolveToOurFilesOnly)
{
    struct Case
    {
        const char* name;
        const char* file; // nullptr: no sound
    };
    const Case cases[] = {
        {"Bottle.aiff", "Bottle.wav"},
        {"Tink", "Tink.wav"},
        {"Submarine.wav", "Submarine.wav"},
        {"Nonexistent.aiff", nullptr},
        {"", nullptr},
        {".aiff", nullptr},
        {"..", nullptr},
        {"../sounds/Bottle.aiff", nullptr},
        {"..Bottle.aiff", nullptr},
        {"sounds/Bottle", nullptr},
        {"/usr/share/sounds/Bottle.aiff", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SoundPlayer::soundFilePath(QString::fromUtf8(c.name)),
                  c.file ? soundsFolder() + QString::fromUtf8(c.file) : QString());
    }
}

TEST(SoundPlayerTest, EveryAlertSoundIsAShortDistinctWave)
{
    QSet<QByteArray> digests;
    for (const char* name : alertSounds) {
        SCOPED_TRACE(name);
        QFile file(soundsFolder() + QString::fromLatin1(name) + QStringLiteral(".wav"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray data = file.readAll();
        // The canonical 44-byte header: PCM format chunk, then the data.
        ASSERT_GE(data.size(), 44);
        const auto u16 = [&](int at) { return qFromLittleEndian<quint16>(data.constData() + at); };
        const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(data.constData() + at); };
        EXPECT_EQ(data.left(4), "RIFF");
        EXPECT_EQ(data.mid(8, 8), "WAVEfmt ");
        EXPECT_EQ(u16(20), 1u) << "PCM";
        EXPECT_EQ(u16(22), 1u) << "mono";
        EXPECT_EQ(u32(24), 22050u);
        EXPECT_EQ(u16(34), 16u);
        EXPECT_EQ(data.mid(36, 4), "data");
        const quint32 bytes = u32(40);
        EXPECT_EQ(bytes, quint32(data.size() - 44));
        EXPECT_GT(bytes, 0u);
        // 22050 samples a second of two bytes each: half a second is 22050 bytes.
        EXPECT_LT(bytes, 22050u) << "under half a second";
        digests.insert(QCryptographicHash::hash(data.mid(44), QCryptographicHash::Sha256));
    }
    EXPECT_EQ(digests.size(), qsizetype(std::size(alertSounds)));
}

TEST(SoundPlayerTest, RealPlayerNeverFails)
{
    // A driver that does not exist stands for a machine without sound.
    ScopedEnvironmentVariable driver("CANBERRA_DRIVER", "palisor-none");
    CanberraSoundPlayer player;
    for (const char* name : {"Bottle.aiff", "Bottle.aiff", "Nonexistent.aiff", "../Bottle.aiff"})
        EXPECT_FALSE(player.playSystemSound(QString::fromUtf8(name))) << name;
}

TEST(SoundPlayerTest, RecordingPlayerStandsInWhileItLives)
{
    SoundPlayer* real = &SoundPlayer::shared();
    {
        RecordingSoundPlayer recorder;
        EXPECT_EQ(&SoundPlayer::shared(), &recorder);
        EXPECT_TRUE(SoundPlayer::shared().playSystemSound(QStringLiteral("Glass.aiff")));
        EXPECT_FALSE(SoundPlayer::shared().playSystemSound(QStringLiteral("Nonexistent.aiff")));
        EXPECT_EQ(recorder.played(), (QStringList{"Glass.aiff", "Nonexistent.aiff"}));
    }
    EXPECT_EQ(&SoundPlayer::shared(), real);
}
