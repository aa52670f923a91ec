#include "platform/UserDefaults.h"

#include "platform/PropertyList.h"
#include "support/ScopedEnvironmentVariable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>
#include <thread>
#include <vector>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

class UserDefaultsTest : public ::testing::Test
{
protected:
    QString path(const QString& folder = QStringLiteral("config")) const
    {
        return m_dir.path() + QLatin1Char('/') + folder + QStringLiteral("/zz.tolvane.PalisorAgent.plist");
    }

    QTemporaryDir m_dir;
};

TEST_F(UserDefaultsTest, StandardPathFollowsXdgConfigHome)
{
    ScopedEnvironmentVariable home("HOME", "/home/someone");
    struct Case
    {
        QByteArray xdg;
        QString expected;
    } cases[] = {
        {"/tmp/xdg", "/tmp/xdg/zz.tolvane.PalisorAgent.plist"},
        {"", "/home/someone/.config/zz.tolvane.PalisorAgent.plist"},
        {QByteArray(), "/home/someone/.config/zz.tolvane.PalisorAgent.plist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xdg.isNull() ? "unset" : c.xdg.constData());
        ScopedEnvironmentVariable xdg("XDG_CONFIG_HOME", c.xdg);
        EXPECT_EQ(UserDefaults::standardPath(), c.expected);
    }
}

TEST_F(UserDefaultsTest, ValuesKeepTheirTypesInMemoryAndThroughTheFile)
{
    UserDefaults writer(path());
    EXPECT_FALSE(writer.contains(QStringLiteral("anything")));
    EXPECT_FALSE(QFile::exists(path())) << "a missing file is not created by reading";

    writer.setBool(true, QStringLiteral("bool"));
    writer.setBool(false, QStringLiteral("boolFalse"));
    writer.setInteger(1, QStringLiteral("integerOne"));
    writer.setInteger(-5'000'000'000, QStringLiteral("integerBig"));
    writer.setObject(7, QStringLiteral("int32"));
    writer.setDouble(2.0, QStringLiteral("wholeDouble"));
    writer.setDouble(0.25, QStringLiteral("double"));
    writer.setString(QStringLiteral("héllo"), QStringLiteral("string"));
    writer.setObject(QByteArray("\x00\x01\xff", 3), QStringLiteral("data"));
    writer.setObject(QVariantList{1, QStringLiteral("two"), QVariantMap{{QStringLiteral("k"), true}}},
                     QStringLiteral("array"));
    writer.setObject(QStringList{QStringLiteral("x"), QStringLiteral("y")}, QStringLiteral("strings"));
    writer.setObject(QVariantMap{{QStringLiteral("n"), 3.5}, {QStringLiteral("on"), false}},
                     QStringLiteral("dict"));
    writer.setInteger(9, QStringLiteral("removed"));
    writer.removeObjectForKey(QStringLiteral("removed"));
    writer.setInteger(9, QStringLiteral("clearedByNil"));
    writer.setObject(QVariant(), QStringLiteral("clearedByNil"));

    EXPECT_TRUE(readAll(path()).startsWith("<?xml"));

    struct Case
    {
        const char* key;
        QMetaType::Type type;
        QVariant value;
    } cases[] = {
        {"bool", QMetaType::Bool, true},
        {"boolFalse", QMetaType::Bool, false},
        {"integerOne", QMetaType::LongLong, 1LL},
        {"integerBig", QMetaType::LongLong, -5'000'000'000LL},
        {"int32", QMetaType::LongLong, 7LL},
        {"wholeDouble", QMetaType::Double, 2.0},
        {"double", QMetaType::Double, 0.25},
        {"string", QMetaType::QString, QStringLiteral("héllo")},
        {"data", QMetaType::QByteArray, QByteArray("\x00\x01\xff", 3)},
        {"array", QMetaType::QVariantList,
         QVariantList{1LL, QStringLiteral("two"), QVariantMap{{QStringLiteral("k"), true}}}},
        {"strings", QMetaType::QVariantList, QVariantList{QStringLiteral("x"), QStringLiteral("y")}},
        {"dict", QMetaType::QVariantMap,
         QVariantMap{{QStringLiteral("n"), 3.5}, {QStringLiteral("on"), false}}},
    };
    UserDefaults reader(path());
    for (UserDefaults* defaults : {&writer, &reader}) {
        SCOPED_TRACE(defaults == &writer ? "writer" : "fresh reader");
        for (const Case& c : cases) {
            SCOPED_TRACE(c.key);
            const QVariant value = defaults->objectForKey(QLatin1String(c.key));
            EXPECT_EQ(value.typeId(), c.type);
            EXPECT_EQ(value, c.value);
        }
        const QVariantList array = defaults->arrayForKey(QStringLiteral("array"));
        ASSERT_EQ(array.size(), 3);
        EXPECT_EQ(array[0].typeId(), QMetaType::LongLong);
        EXPECT_EQ(array[2].toMap().value(QStringLiteral("k")).typeId(), QMetaType::Bool);
        EXPECT_EQ(defaults->dictionaryForKey(QStringLiteral("dict")).value(QStringLiteral("on")).typeId(),
                  QMetaType::Bool);
        EXPECT_FALSE(defaults->contains(QStringLiteral("removed")));
        EXPECT_FALSE(defaults->contains(QStringLiteral("clearedByNil")));
    }
}

TEST_F(UserDefaultsTest, TypedGettersCoerceLikeTheDesktopDefaults)
{
    UserDefaults defaults(path());
    struct Case
    {
        const char* key;
        QVariant stored;
        bool asBool;
        qint64 asInteger;
        double asDouble;
        QString asString;
    } cases[] = {
        {"absent", QVariant(), false, 0, 0.0, ""},
        {"true", true, true, 1, 1.0, "1"},
        {"false", false, false, 0, 0.0, "0"},
        {"zero", 0LL, false, 0, 0.0, "0"},
        {"seven", 7LL, true, 7, 7.0, "7"},
        {"positiveReal", 3.9, true, 3, 3.9, "3.9"},
        {"negativeReal", -3.9, true, -3, -3.9, "-3.9"},
        {"fraction", 0.5, true, 0, 0.5, "0.5"},
        {"hugeReal", 1e300, true, std::numeric_limits<qint64>::max(), 1e300, "1e+300"},
        {"YES", "YES", true, 0, 0.0, "YES"},
        {"yes", "yes", true, 0, 0.0, "yes"},
        {"True", "True", true, 0, 0.0, "True"},
        {"one", "1", true, 1, 1.0, "1"},
        {"NO", "NO", false, 0, 0.0, "NO"},
        {"zeroText", "0", false, 0, 0.0, "0"},
        {"paddedNumber", " 42 ", true, 42, 42.0, " 42 "},
        {"decimalText", "2.5", true, 2, 2.5, "2.5"},
        {"junk", "junk", false, 0, 0.0, "junk"},
        {"data", QByteArray("1"), false, 0, 0.0, ""},
        {"array", QVariantList{1}, false, 0, 0.0, ""},
        {"dict", QVariantMap{{"a", 1}}, false, 0, 0.0, ""},
    };
    for (const Case& c : cases)
        defaults.setObject(c.stored, QLatin1String(c.key));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const QString key = QLatin1String(c.key);
        EXPECT_EQ(defaults.boolForKey(key), c.asBool);
        EXPECT_EQ(defaults.integerForKey(key), c.asInteger);
        EXPECT_DOUBLE_EQ(defaults.doubleForKey(key), c.asDouble);
        EXPECT_EQ(defaults.stringForKey(key), c.asString);
    }
    // Containers and data are never made up from another type.
    for (const char* key : {"absent", "seven", "junk", "dict"}) {
        SCOPED_TRACE(key);
        EXPECT_TRUE(defaults.dataForKey(QLatin1String(key)).isEmpty());
        EXPECT_TRUE(defaults.arrayForKey(QLatin1String(key)).isEmpty());
    }
    EXPECT_TRUE(defaults.dictionaryForKey(QStringLiteral("array")).isEmpty());
    EXPECT_FALSE(defaults.objectForKey(QStringLiteral("absent")).isValid());
}

TEST_F(UserDefaultsTest, ReloadSeesAnotherWriter)
{
    UserDefaults first(path());
    first.setInteger(1, QStringLiteral("shared"));
    UserDefaults second(path());
    second.setInteger(2, QStringLiteral("shared"));
    EXPECT_EQ(first.integerForKey(QStringLiteral("shared")), 1);
    first.reload();
    EXPECT_EQ(first.integerForKey(QStringLiteral("shared")), 2);
}

// Each change is on disk at once; inside a batch the changes wait and go out
// in one write at the end of the outermost batch, and only when there are any.
TEST_F(UserDefaultsTest, ABatchWritesItsChangesOnceAtItsEnd)
{
    UserDefaults defaults(path());
    const auto onDisk = [this](const QString& key) { return UserDefaults(path()).objectForKey(key); };

    defaults.setInteger(1, QStringLiteral("alone"));
    EXPECT_EQ(defaults.writeCount(), 1u);
    EXPECT_EQ(onDisk(QStringLiteral("alone")).toLongLong(), 1);

    {
        const UserDefaults::Batch outer(defaults);
        defaults.setInteger(2, QStringLiteral("first"));
        {
            const UserDefaults::Batch inner(defaults);
            defaults.setString(QStringLiteral("x"), QStringLiteral("second"));
            defaults.removeObjectForKey(QStringLiteral("alone"));
        }
        defaults.setDouble(3.5, QStringLiteral("third"));
        EXPECT_EQ(defaults.writeCount(), 1u) << "nothing is written while a batch holds";
        EXPECT_FALSE(onDisk(QStringLiteral("first")).isValid());
        EXPECT_EQ(defaults.integerForKey(QStringLiteral("first")), 2) << "reads see the held changes";
    }
    EXPECT_EQ(defaults.writeCount(), 2u);
    EXPECT_EQ(onDisk(QStringLiteral("first")).toLongLong(), 2);
    EXPECT_EQ(onDisk(QStringLiteral("second")).toString(), "x");
    EXPECT_EQ(onDisk(QStringLiteral("third")).toDouble(), 3.5);
    EXPECT_FALSE(onDisk(QStringLiteral("alone")).isValid());

    {
        const UserDefaults::Batch unchanged(defaults);
        defaults.removeObjectForKey(QStringLiteral("absent"));
    }
    EXPECT_EQ(defaults.writeCount(), 2u) << "a batch without changes writes nothing";

    {
        // An explicit write inside a batch goes out at once and leaves the
        // batch nothing more to write.
        const UserDefaults::Batch synchronized(defaults);
        defaults.setInteger(4, QStringLiteral("fourth"));
        EXPECT_TRUE(defaults.synchronize());
        EXPECT_EQ(defaults.writeCount(), 3u);
        EXPECT_EQ(onDisk(QStringLiteral("fourth")).toLongLong(), 4);
    }
    EXPECT_EQ(defaults.writeCount(), 3u);

    defaults.setInteger(5, QStringLiteral("after"));
    EXPECT_EQ(defaults.writeCount(), 4u) << "past the batch, changes are written through again";
}

TEST_F(UserDefaultsTest, UnreadableFileIsKeptAsideAndPreferencesStartEmpty)
{
    const QByteArray xml = PropertyList::toData(QVariantMap{{QStringLiteral("a"), 1}});
    struct Case
    {
        const char* folder;
        QByteArray bytes;
    } cases[] = {
        {"garbage", QByteArray("not a property list\x01\x02", 22)},
        {"truncated", xml.left(xml.size() / 2)},
        {"emptyFile", QByteArray("")},
        {"arrayAtTop", PropertyList::toData(QVariantList{1, 2})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        const QString file = path(QLatin1String(c.folder));
        const QString aside = file + QStringLiteral(".corrupt");
        writeAll(file, c.bytes);

        testing::internal::CaptureStderr();
        UserDefaults defaults(file);
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
        EXPECT_NE(log.find(aside.toStdString()), std::string::npos) << log;

        EXPECT_FALSE(defaults.contains(QStringLiteral("a")));
        EXPECT_EQ(readAll(aside), c.bytes);
        defaults.setBool(true, QStringLiteral("fresh"));
        EXPECT_TRUE(UserDefaults(file).boolForKey(QStringLiteral("fresh")));
        EXPECT_EQ(readAll(aside), c.bytes) << "the kept file is never overwritten";

        // A second unreadable file does not replace the first one kept.
        writeAll(file, "second garbage");
        testing::internal::CaptureStderr();
        defaults.reload();
        testing::internal::GetCapturedStderr();
        EXPECT_FALSE(defaults.contains(QStringLiteral("fresh")));
        EXPECT_EQ(readAll(aside), c.bytes);
        EXPECT_EQ(readAll(aside + QStringLiteral(".1")), "second garbage");
    }
}

TEST_F(UserDefaultsTest, ConcurrentWritersLoseNothing)
{
    UserDefaults defaults(path());
    constexpr int kThreads = 4;
    constexpr int kKeysPerThread = 10;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&defaults, t] {
            for (int k = 0; k < kKeysPerThread; ++k) {
                const QString key = QStringLiteral("t%1k%2").arg(t).arg(k);
                defaults.setInteger(t * 100 + k, key);
                (void)defaults.integerForKey(key);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    UserDefaults reader(path());
    for (int t = 0; t < kThreads; ++t) {
        for (int k = 0; k < kKeysPerThread; ++k)
            EXPECT_EQ(reader.integerForKey(QStringLiteral("t%1k%2").arg(t).arg(k)), t * 100 + k);
    }
}

} // namespace
