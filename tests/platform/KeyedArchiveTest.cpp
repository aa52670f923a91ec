#include "platform/KeyedArchive.h"

#include "platform/KeyedArchiveReader.h"
#include "platform/PropertyList.h"
#include "platform/ReadBounds.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace {

QVariant uid(quint64 value)
{
    return QVariant::fromValue(PlistUid{value});
}

QVariantMap classRecord(const QStringList& chain)
{
    return {{QStringLiteral("$classname"), chain.first()}, {QStringLiteral("$classes"), chain}};
}

QVariantMap arrayRecord(const QVariantList& refs, quint64 classUid)
{
    return {{QStringLiteral("NS.objects"), refs}, {QStringLiteral("$class"), uid(classUid)}};
}

QVariantMap dictionaryRecord(const QVariantList& keys, const QVariantList& refs, quint64 classUid)
{
    return {{QStringLiteral("NS.keys"), keys},
            {QStringLiteral("NS.objects"), refs},
            {QStringLiteral("$class"), uid(classUid)}};
}

QVariantMap archiveOf(const QVariantList& objects, quint64 root = 1)
{
    return {{QStringLiteral("$archiver"), QStringLiteral("NSKeyedArchiver")},
            {QStringLiteral("$version"), 100000},
            {QStringLiteral("$top"), QVariantMap{{QStringLiteral("root"), uid(root)}}},
            {QStringLiteral("$objects"), objects}};
}

// Integers read back as qlonglong whatever width they were written with; any
// other value must come back with the very type it was written with, so that
// a boolean never turns into 1 or an integer into a real.
void expectSameTree(const QVariant& expected, const QVariant& actual)
{
    switch (expected.typeId()) {
    case QMetaType::QVariantMap: {
        ASSERT_EQ(actual.typeId(), QMetaType::QVariantMap);
        const QVariantMap a = expected.toMap();
        const QVariantMap b = actual.toMap();
        ASSERT_EQ(a.keys(), b.keys());
        for (auto it = a.cbegin(); it != a.cend(); ++it) {
            SCOPED_TRACE(it.key().toStdString());
            expectSameTree(it.value(), b.value(it.key()));
        }
        return;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        ASSERT_EQ(actual.typeId(), QMetaType::QVariantList);
        const QVariantList a = expected.toList();
        const QVariantList b = actual.toList();
        ASSERT_EQ(a.size(), b.size());
        for (qsizetype i = 0; i < a.size(); ++i) {
            SCOPED_TRACE(i);
            expectSameTree(a.at(i), b.at(i));
        }
        return;
    }
    case QMetaType::Int:
    case QMetaType::LongLong:
        EXPECT_EQ(actual.typeId(), QMetaType::LongLong);
        EXPECT_EQ(actual.toLongLong(), expected.toLongLong());
        return;
    default:
        ASSERT_EQ(actual.typeId(), expected.typeId()) << actual.typeName();
        EXPECT_EQ(actual, expected);
    }
}

QVariantList configuration()
{
    QVariantMap app;
    app[QStringLiteral("PalisorClassName")] = QStringLiteral("PAApplication");
    app[QStringLiteral("appName")] = QStringLiteral("Größe 日本 \U0001F512");
    app[QStringLiteral("appPath")] = QStringLiteral("/Applications/Größe.app");
    app[QStringLiteral("appBinaries")] =
        QStringList{QStringLiteral("/Applications/Größe.app/Contents/MacOS/G")};
    app[QStringLiteral("appIsBundle")] = true;
    app[QStringLiteral("appIsBlockedOrAllowed")] = 1;
    app[QStringLiteral("appMatches")] = QVariantList{
        QStringLiteral("@10.1.2.3"), QStringLiteral("#_range1000:2000"), QStringLiteral("@10.1.2.3")};
    app[QStringLiteral("appNotes")] = QVariantList();
    app[QStringLiteral("appExtra")] = QVariantMap();

    QVariantMap rule;
    rule[QStringLiteral("PalisorClassName")] = QStringLiteral("PAManagedRecords");
    rule[QStringLiteral("record")] = QStringLiteral("");
    rule[QStringLiteral("type")] = 0;
    rule[QStringLiteral("rule")] = -3;
    rule[QStringLiteral("ignored")] = false;

    QVariantMap preferences;
    preferences[QStringLiteral("PalisorClassName")] = QStringLiteral("PAPreferences");
    preferences[QStringLiteral("windowHeight")] = 412.5;
    preferences[QStringLiteral("wholeReal")] = 1.0;
    preferences[QStringLiteral("big")] = qlonglong(1) << 40;
    preferences[QStringLiteral("token")] = QByteArray("\x00\xff\x10", 3).repeated(7);
    return {app, rule, preferences};
}

TEST(KeyedArchiveTest, RoundTripKeepsEveryValueAndType)
{
    // Enough distinct records to need wider object references and offsets.
    for (const int copies : {1, 300, 3000}) {
        SCOPED_TRACE(copies);
        QVariantList records;
        for (int i = 0; i < copies; ++i) {
            for (QVariant record : configuration()) {
                QVariantMap map = record.toMap();
                map[QStringLiteral("copy")] = QStringLiteral("copy %1").arg(i);
                records.append(map);
            }
        }
        const QByteArray data = KeyedArchive::archive(records);
        ASSERT_TRUE(data.startsWith("bplist00"));
        QString error;
        const auto read = KeyedArchive::unarchive(data, &error);
        ASSERT_TRUE(read.has_value()) << error.toStdString();
        expectSameTree(records, *read);
    }
}

TEST(KeyedArchiveTest, WritesTheArchiverLayout)
{
    const QVariantList root{QVariantMap{{QStringLiteral("a"), QStringLiteral("x")},
                                        {QStringLiteral("b"), QStringLiteral("x")},
                                        {QStringLiteral("n"), 1},
                                        {QStringLiteral("r"), 1.0},
                                        {QStringLiteral("t"), true}}};
    const auto written = PropertyList::fromData(KeyedArchive::archive(root));
    ASSERT_TRUE(written.has_value());
    const QVariantMap archive = written->toMap();
    ASSERT_EQ(archive.keys(), (QStringList{"$archiver", "$objects", "$top", "$version"}));
    expectSameTree(QStringLiteral("NSKeyedArchiver"), archive.value(QStringLiteral("$archiver")));
    expectSameTree(qlonglong(100000), archive.value(QStringLiteral("$version")));
    expectSameTree(QVariantMap{{QStringLiteral("root"), uid(1)}}, archive.value(QStringLiteral("$top")));

    // Visiting order: a container takes its UID, then its keys, then its
    // values; its class follows once, shared by later containers. Equal
    // strings share a UID; true, 1 and 1.0 do not.
    const QVariantList expected{
        QStringLiteral("$null"),
        arrayRecord({uid(2)}, 13),
        dictionaryRecord({uid(3), uid(4), uid(5), uid(6), uid(7)}, {uid(8), uid(8), uid(9), uid(10), uid(11)},
                         12),
        QStringLiteral("a"),
        QStringLiteral("b"),
        QStringLiteral("n"),
        QStringLiteral("r"),
        QStringLiteral("t"),
        QStringLiteral("x"),
        qlonglong(1),
        1.0,
        true,
        classRecord({QStringLiteral("NSDictionary"), QStringLiteral("NSObject")}),
        classRecord({QStringLiteral("NSArray"), QStringLiteral("NSObject")}),
    };
    expectSameTree(expected, archive.value(QStringLiteral("$objects")));
}

TEST(KeyedArchiveTest, ReadsFoundationArchivesInBinaryAndXml)
{
    const QString name = QStringLiteral("Grüße.app");
    const QVariantList objects{
        QStringLiteral("$null"),
        arrayRecord({uid(2), uid(11)}, 14),
        dictionaryRecord({uid(3), uid(4), uid(5)}, {uid(6), uid(7), uid(9)}, 10),
        QStringLiteral("PalisorClassName"),
        QStringLiteral("appName"),
        QStringLiteral("appMatches"),
        QVariantMap{{QStringLiteral("NS.string"), QStringLiteral("PAApplication")},
                    {QStringLiteral("$class"), uid(8)}},
        name,
        classRecord(
            {QStringLiteral("NSMutableString"), QStringLiteral("NSString"), QStringLiteral("NSObject")}),
        arrayRecord({uid(7), uid(7)}, 13),
        classRecord({QStringLiteral("NSMutableDictionary"), QStringLiteral("NSDictionary"),
                     QStringLiteral("NSObject")}),
        dictionaryRecord({uid(3), uid(15)}, {uid(6), uid(16)}, 10),
        QVariantMap{{QStringLiteral("NS.data"), QByteArray("\x01\x02", 2)},
                    {QStringLiteral("$class"), uid(17)}},
        classRecord({QStringLiteral("NSArray"), QStringLiteral("NSObject")}),
        classRecord(
            {QStringLiteral("NSMutableArray"), QStringLiteral("NSArray"), QStringLiteral("NSObject")}),
        QStringLiteral("flags"),
        dictionaryRecord({uid(18), uid(19), uid(20), uid(21)}, {uid(22), uid(23), uid(12), uid(24)}, 25),
        classRecord({QStringLiteral("NSMutableData"), QStringLiteral("NSData"), QStringLiteral("NSObject")}),
        QStringLiteral("on"),
        QStringLiteral("count"),
        QStringLiteral("blob"),
        QStringLiteral("ratio"),
        true,
        qlonglong(7),
        0.5,
        classRecord({QStringLiteral("NSDictionary"), QStringLiteral("NSObject")}),
    };
    const QVariantList expected{
        QVariantMap{{QStringLiteral("PalisorClassName"), QStringLiteral("PAApplication")},
                    {QStringLiteral("appName"), name},
                    {QStringLiteral("appMatches"), QVariantList{name, name}}},
        QVariantMap{{QStringLiteral("PalisorClassName"), QStringLiteral("PAApplication")},
                    {QStringLiteral("flags"), QVariantMap{{QStringLiteral("on"), true},
                                                          {QStringLiteral("count"), qlonglong(7)},
                                                          {QStringLiteral("blob"), QByteArray("\x01\x02", 2)},
                                                          {QStringLiteral("ratio"), 0.5}}}},
    };
    for (const auto format : {PropertyList::Format::Binary, PropertyList::Format::Xml}) {
        SCOPED_TRACE(format == PropertyList::Format::Xml ? "xml" : "binary");
        const QByteArray data = PropertyList::toData(archiveOf(objects), format);
        if (format == PropertyList::Format::Xml) {
            ASSERT_TRUE(data.contains("<key>CF$UID</key>"));
        }
        QString error;
        const auto read = KeyedArchive::unarchive(data, &error);
        ASSERT_TRUE(read.has_value()) << error.toStdString();
        expectSameTree(expected, *read);
    }
}

TEST(KeyedArchiveTest, RefusesMalformedArchives)
{
    const QVariantMap arrayClass = classRecord({QStringLiteral("NSArray"), QStringLiteral("NSObject")});
    const QVariantMap dictionaryClass =
        classRecord({QStringLiteral("NSDictionary"), QStringLiteral("NSObject")});
    const QVariant null = QStringLiteral("$null");
    QVariantMap noTop = archiveOf({null, QStringLiteral("x")});
    noTop.remove(QStringLiteral("$top"));
    QVariantMap noRoot = archiveOf({null, QStringLiteral("x")});
    noRoot[QStringLiteral("$top")] = QVariantMap{{QStringLiteral("object"), uid(1)}};
    QVariantMap noArchiver = archiveOf({null, QStringLiteral("x")});
    noArchiver.remove(QStringLiteral("$archiver"));
    QVariantMap otherArchiver = archiveOf({null, QStringLiteral("x")});
    otherArchiver[QStringLiteral("$archiver")] = QStringLiteral("NSArchiver");
    QVariantMap noObjects = archiveOf({null, QStringLiteral("x")});
    noObjects[QStringLiteral("$objects")] = QStringLiteral("x");

    // A chain of arrays deeper than any configuration.
    QVariantList deep{null};
    for (quint64 i = 1; i <= 600; ++i)
        deep.append(arrayRecord(i < 600 ? QVariantList{uid(i + 1)} : QVariantList{}, 601));
    deep.append(arrayClass);

    const struct
    {
        const char* name;
        QVariant archive;
    } cases[] = {
        {"unknown class", archiveOf({null,
                                     QVariantMap{{QStringLiteral("NSRGB"), QByteArray("0 0 0")},
                                                 {QStringLiteral("$class"), uid(2)}},
                                     classRecord({QStringLiteral("NSColor"), QStringLiteral("NSObject")})})},
        {"custom class",
         archiveOf({null, arrayRecord({}, 2), classRecord({QStringLiteral("PAApplication")})})},
        {"element UID out of range", archiveOf({null, arrayRecord({uid(99)}, 2), arrayClass})},
        {"root UID out of range", archiveOf({null, arrayRecord({}, 2), arrayClass}, 3)},
        {"class UID out of range", archiveOf({null, arrayRecord({}, 7)})},
        {"class without name",
         archiveOf({null, arrayRecord({}, 2), QVariantMap{{"$classes", QVariantList{}}}})},
        {"dictionary containing itself",
         archiveOf({null, dictionaryRecord({uid(2)}, {uid(1)}, 3), QStringLiteral("self"), dictionaryClass})},
        {"cycle through an array",
         archiveOf({null, arrayRecord({uid(2)}, 3), arrayRecord({uid(1)}, 3), arrayClass})},
        {"too deep", archiveOf(deep)},
        {"$null in an array", archiveOf({null, arrayRecord({uid(0)}, 2), arrayClass})},
        {"$null as a dictionary value",
         archiveOf({null, dictionaryRecord({uid(2)}, {uid(0)}, 3), QStringLiteral("k"), dictionaryClass})},
        {"key count mismatch", archiveOf({null, dictionaryRecord({uid(2)}, {uid(2), uid(2)}, 3),
                                          QStringLiteral("k"), dictionaryClass})},
        {"non-string key",
         archiveOf({null, dictionaryRecord({uid(2)}, {uid(2)}, 3), qlonglong(5), dictionaryClass})},
        {"element that is no UID", archiveOf({null, arrayRecord({qlonglong(1)}, 2), arrayClass})},
        {"string record without text",
         archiveOf({null, QVariantMap{{QStringLiteral("$class"), uid(2)}},
                    classRecord({QStringLiteral("NSMutableString"), QStringLiteral("NSString")})})},
        {"inline array", archiveOf({null, QVariantList{QStringLiteral("x")}})},
        {"record without class",
         archiveOf({null, QVariantMap{{QStringLiteral("NS.objects"), QVariantList{}}}})},
        {"inline date", archiveOf({null, QDateTime::fromSecsSinceEpoch(0, Qt::UTC)})},
        {"root UID 0", archiveOf({null, QStringLiteral("x")}, 0)},
        {"missing $top", noTop},
        {"missing root", noRoot},
        {"missing $archiver", noArchiver},
        {"other $archiver", otherArchiver},
        {"$objects not an array", noObjects},
        {"not an archive", QVariantList{QStringLiteral("$null")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto format : {PropertyList::Format::Binary, PropertyList::Format::Xml}) {
            const QByteArray data = PropertyList::toData(c.archive, format);
            ASSERT_FALSE(data.isEmpty());
            QString error;
            EXPECT_FALSE(KeyedArchive::unarchive(data, &error).has_value());
            EXPECT_FALSE(error.isEmpty());
            // The loader's direct reading refuses the same, for the same reason.
            KeyedArchiveReader reader;
            EXPECT_FALSE(reader.open(data) && reader.check());
            EXPECT_EQ(reader.error(), error);
        }
    }

    QString error;
    EXPECT_FALSE(KeyedArchive::unarchive(QByteArray(), &error).has_value());
    EXPECT_FALSE(KeyedArchive::unarchive("certainly not a property list", &error).has_value());
    EXPECT_FALSE(error.isEmpty());
    const QByteArray whole = KeyedArchive::archive(configuration());
    for (qsizetype length = 0; length < whole.size(); ++length) {
        error.clear();
        EXPECT_FALSE(KeyedArchive::unarchive(whole.left(length), &error).has_value()) << length;
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(KeyedArchiveTest, SharedObjectsAreDecodedOnce)
{
    // Each level refers twice to the next: walked naively 200 levels are 2^200
    // visits, and the tree they stand for as large. A few levels read; the
    // whole chain is refused at once rather than stalling the agent.
    const auto chain = [](quint64 levels) {
        QVariantList objects{QStringLiteral("$null")};
        for (quint64 i = 1; i <= levels; ++i)
            objects.append(
                arrayRecord(i < levels ? QVariantList{uid(i + 1), uid(i + 1)} : QVariantList{}, levels + 1));
        objects.append(classRecord({QStringLiteral("NSArray"), QStringLiteral("NSObject")}));
        return PropertyList::toData(archiveOf(objects), PropertyList::Format::Binary);
    };
    const auto read = KeyedArchive::unarchive(chain(8));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->toList().size(), 2);
    EXPECT_EQ(read->toList().first().toList().size(), 2);
    QString error;
    EXPECT_FALSE(KeyedArchive::unarchive(chain(200), &error).has_value());
    EXPECT_TRUE(error.contains(QLatin1String("values"))) << error.toStdString();
}

TEST(KeyedArchiveTest, WritesOnlyWhatItCanRead)
{
    QVariant deep = QVariantList();
    for (int i = 0; i <= ReadBounds::kMaxDepth; ++i)
        deep = QVariantList{deep};
    const QVariant refused[] = {
        QVariant(),
        QDateTime::currentDateTimeUtc(),
        uid(1),
        QVariantList{QStringLiteral("ok"), QVariant::fromValue(QDateTime())},
        QVariantMap{{QStringLiteral("k"), QVariantHash()}},
        deep,
    };
    for (const QVariant& value : refused)
        EXPECT_TRUE(KeyedArchive::archive(value).isEmpty()) << value.typeName();

    // A lone string is an archive too.
    const auto read = KeyedArchive::unarchive(KeyedArchive::archive(QStringLiteral("solo")));
    ASSERT_TRUE(read.has_value());
    expectSameTree(QStringLiteral("solo"), *read);
}

} // namespace
