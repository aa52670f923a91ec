#include "platform/PropertyList.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <limits>
#include <random>
#include <utility>

namespace {

QVariantMap sampleTree()
{
    QVariantMap app;
    app[QStringLiteral("appName")] = QStringLiteral("Mail");
    app[QStringLiteral("appIsBundle")] = true;
    app[QStringLiteral("appIsBlockedOrAllowed")] = 4;
    app[QStringLiteral("appMatches")] =
        QVariantList{QStringLiteral("@10.0.0.0/8"), QStringLiteral("#_range1:80")};

    QVariantMap root;
    root[QStringLiteral("apps")] = QVariantList{app};
    root[QStringLiteral("negative")] = -42;
    root[QStringLiteral("big")] = qlonglong(1) << 40;
    root[QStringLiteral("real")] = 175.0;
    root[QStringLiteral("off")] = false;
    root[QStringLiteral("text")] = QStringLiteral("Grüße \"<&>\"");
    root[QStringLiteral("bytes")] = QByteArray("\x00\xff\x10", 3);
    root[QStringLiteral("when")] = QDateTime::fromString(QStringLiteral("2026-12-10T13:29:14Z"), Qt::ISODate);
    root[QStringLiteral("empty")] = QVariantMap();
    return root;
}

// A value must come back as the same plist type: an integer written must not
// read back as a real or a boolean, or the daemon and older files disagree.
void expectSameTypes(const QVariant& written, const QVariant& read)
{
    switch (written.typeId()) {
    case QMetaType::QVariantMap: {
        ASSERT_EQ(read.typeId(), QMetaType::QVariantMap);
        const QVariantMap a = written.toMap();
        const QVariantMap b = read.toMap();
        ASSERT_EQ(a.keys(), b.keys());
        for (const QString& key : a.keys()) {
            SCOPED_TRACE(key.toStdString());
            expectSameTypes(a.value(key), b.value(key));
        }
        return;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        ASSERT_EQ(read.typeId(), QMetaType::QVariantList);
        const QVariantList a = written.toList();
        const QVariantList b = read.toList();
        ASSERT_EQ(a.size(), b.size());
        for (qsizetype i = 0; i < a.size(); ++i)
            expectSameTypes(a.at(i), b.at(i));
        return;
    }
    case QMetaType::Int:
    case QMetaType::LongLong:
        EXPECT_EQ(read.typeId(), QMetaType::LongLong);
        EXPECT_EQ(read.toLongLong(), written.toLongLong());
        return;
    default:
        EXPECT_EQ(read.typeId(), written.typeId());
        EXPECT_EQ(read, written);
    }
}

TEST(PropertyListTest, XmlAndBinaryRoundTripsKeepValuesAndTypes)
{
    for (const auto format : {PropertyList::Format::Xml, PropertyList::Format::Binary}) {
        SCOPED_TRACE(format == PropertyList::Format::Xml ? "xml" : "binary");
        const QByteArray data = PropertyList::toData(sampleTree(), format);
        ASSERT_FALSE(data.isEmpty());
        EXPECT_EQ(data.startsWith("bplist00"), format == PropertyList::Format::Binary);
        const auto read = PropertyList::fromData(data);
        ASSERT_TRUE(read.has_value());
        expectSameTypes(sampleTree(), *read);
    }
}

TEST(PropertyListTest, BinaryKeepsArchiveUids)
{
    const QVariantMap top{{QStringLiteral("root"), QVariant::fromValue(PlistUid{1})}};
    const auto read = PropertyList::fromData(PropertyList::toData(top, PropertyList::Format::Binary));
    ASSERT_TRUE(read.has_value());
    const QVariant uid = read->toMap().value(QStringLiteral("root"));
    ASSERT_EQ(uid.metaType(), QMetaType::fromType<PlistUid>());
    EXPECT_EQ(uid.value<PlistUid>().value, 1u);
}

// The trailer's widths of an offset and of an object reference.
std::pair<int, int> binaryWidths(const QByteArray& data)
{
    return {data.at(data.size() - 26), data.at(data.size() - 25)};
}

TEST(PropertyListTest, BinaryRoundTripsTreesOfEverySize)
{
    // Enough records for two-byte references and offsets past 64 KiB, the
    // rule set's shape; then more objects than two bytes can name.
    QVariantList records;
    for (int i = 0; i < 3000; ++i)
        records.append(QVariantMap{
            {QStringLiteral("appBinaries"), QStringList{QStringLiteral("/Applications/App %1.app").arg(i)}},
            {QStringLiteral("appIsBlockedOrAllowed"), qlonglong(i % 5)},
            {QStringLiteral("appMatches"), QVariantList{QStringLiteral("@10.0.%1.0/24").arg(i % 256), true}},
        });
    QVariantList numbers;
    for (qlonglong i = 0; i < 70000; ++i)
        numbers.append(i * 3);

    const struct
    {
        const char* name;
        QVariant tree;
        // What the tree must need at least, so that it tests what it means to.
        std::pair<int, int> widths;
    } cases[] = {
        {"small", sampleTree(), {1, 1}},
        {"rule set", QVariantMap{{QStringLiteral("AppList"), records}}, {3, 2}},
        {"many objects", numbers, {3, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray data = PropertyList::toData(c.tree, PropertyList::Format::Binary);
        ASSERT_GT(data.size(), 32);
        const auto [offsetWidth, refWidth] = binaryWidths(data);
        EXPECT_GE(offsetWidth, c.widths.first);
        EXPECT_GE(refWidth, c.widths.second);
        const auto read = PropertyList::fromData(data);
        ASSERT_TRUE(read.has_value());
        expectSameTypes(c.tree, *read);
    }
}

TEST(PropertyListTest, BinaryKeepsEdgeValues)
{
    const QString smile = QString::fromUtf8("\xf0\x9f\x98\x80");
    const QDateTime withMs =
        QDateTime::fromString(QStringLiteral("2026-12-10T13:29:14.010Z"), Qt::ISODateWithMs);
    const QDateTime before2001 =
        QDateTime::fromString(QStringLiteral("1999-12-31T23:59:58.750Z"), Qt::ISODateWithMs);
    const QDateTime epoch = QDateTime::fromString(QStringLiteral("2001-01-01T00:00:00Z"), Qt::ISODate);
    const QVariantMap tree{
        // Equal values of different types stay apart when objects are shared.
        {QStringLiteral("ones"), QVariantList{1, true, 1.0, QStringLiteral("1"), 1u, qlonglong(1)}},
        {QStringLiteral("integers"),
         QVariantList{0, -1, 255, 256, 65535, 65536, qlonglong(1) << 32,
                      std::numeric_limits<qlonglong>::min(), std::numeric_limits<qlonglong>::max()}},
        {QStringLiteral("reals"), QVariantList{0.5, -1e300, 3.25f}},
        {QStringLiteral("dates"), QVariantList{withMs, before2001, epoch}},
        {QStringLiteral("empty"),
         QVariantList{QVariantMap(), QVariantList(), QStringList(), QString(), QByteArray()}},
        {QStringLiteral("Grüße"),
         QStringList{QStringLiteral("Grüße"), smile, QString::fromUtf8("中文"),
                     QStringLiteral("A").repeated(20), QStringLiteral("é").repeated(20)}},
    };
    const QByteArray data = PropertyList::toData(tree, PropertyList::Format::Binary);
    // Anything outside ASCII is stored as big-endian UTF-16.
    EXPECT_TRUE(data.contains(QByteArray::fromHex("0047007200fc00df0065")));
    EXPECT_TRUE(data.contains(QByteArray::fromHex("d83dde00")));
    const auto read = PropertyList::fromData(data);
    ASSERT_TRUE(read.has_value());
    const QVariantMap map = read->toMap();

    const QVariantList ones = map.value(QStringLiteral("ones")).toList();
    ASSERT_EQ(ones.size(), 6);
    const int types[] = {QMetaType::LongLong, QMetaType::Bool,     QMetaType::Double,
                         QMetaType::QString,  QMetaType::LongLong, QMetaType::LongLong};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(ones.at(i).typeId(), types[i]) << i;
        EXPECT_EQ(ones.at(i).toLongLong(), 1) << i;
    }
    expectSameTypes(tree.value(QStringLiteral("integers")), map.value(QStringLiteral("integers")));
    EXPECT_EQ(map.value(QStringLiteral("reals")), (QVariantList{0.5, -1e300, 3.25}));
    EXPECT_EQ(map.value(QStringLiteral("dates")).toList(), (QVariantList{withMs, before2001, epoch}));
    expectSameTypes(tree.value(QStringLiteral("empty")), map.value(QStringLiteral("empty")));
    EXPECT_EQ(map.value(QStringLiteral("empty")),
              (QVariantList{QVariantMap(), QVariantList(), QVariantList(), QString(), QByteArray()}));
    EXPECT_EQ(map.value(QStringLiteral("Grüße")).toStringList(),
              tree.value(QStringLiteral("Grüße")).toStringList());

    // Past the signed range an integer takes the sixteen-byte form, so that
    // other readers see it unsigned; ours reads back the same 64 bits.
    for (const quint64 value : {quint64(1) << 63, std::numeric_limits<quint64>::max()}) {
        const QByteArray big = PropertyList::toData(QVariantList{value}, PropertyList::Format::Binary);
        const QByteArray bits = QByteArray::number(value, 16).rightJustified(16, '0');
        EXPECT_TRUE(big.contains(QByteArray::fromHex("140000000000000000" + bits)));
        const auto read = PropertyList::fromData(big);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(static_cast<quint64>(read->toList().value(0).toLongLong()), value);
    }
}

TEST(PropertyListTest, RefusesWhatIsNoPropertyList)
{
    // Well formed but nested deeper than any configuration: refused, not walked.
    const QByteArray deepXml = "<?xml version=\"1.0\"?><plist version=\"1.0\">" +
                               QByteArray("<array>").repeated(600) + QByteArray("</array>").repeated(600) +
                               "</plist>";

    const QByteArray cases[] = {
        QByteArray(),
        QByteArray("not a plist at all"),
        QByteArray("bplist00\x01\x02\x03"),
        QByteArray("<?xml version=\"1.0\"?><plist><dict><key>a</key></plist>"),
        PropertyList::toData(QVariantList{1, 2}, PropertyList::Format::Binary).left(20),
        deepXml,
    };
    for (const QByteArray& data : cases) {
        QString error;
        EXPECT_FALSE(PropertyList::fromData(data, &error).has_value()) << data.left(60).toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    // Nor is anything written that could not be read back.
    QVariant deep = QVariantList{QStringLiteral("bottom")};
    for (int i = 0; i < 600; ++i)
        deep = QVariantList{deep};
    for (const auto format : {PropertyList::Format::Xml, PropertyList::Format::Binary}) {
        EXPECT_TRUE(PropertyList::toData(QVariant::fromValue(QDir()), format).isEmpty());
        EXPECT_TRUE(
            PropertyList::toData(
                QVariantMap{{QStringLiteral("a"), QVariantList{1, QVariant::fromValue(QDir())}}}, format)
                .isEmpty());
        EXPECT_TRUE(PropertyList::toData(deep, format).isEmpty());
    }
}

TEST(PropertyListTest, FailedWriteLeavesTheOldFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("palisor.conf"));
    ASSERT_TRUE(PropertyList::writeFile(path, QVariantList{QStringLiteral("old")}));

    // A value that cannot be written must not truncate what is there.
    QString error;
    EXPECT_FALSE(PropertyList::writeFile(path, QVariantList{QVariant::fromValue(QDir())},
                                         PropertyList::Format::Xml, &error));
    EXPECT_FALSE(error.isEmpty());
    const auto read = PropertyList::readFile(path);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->toList(), QVariantList{QStringLiteral("old")});

    EXPECT_FALSE(
        PropertyList::writeFile(dir.filePath(QStringLiteral("missing/dir/x.plist")), QVariantList{1}));
    EXPECT_FALSE(PropertyList::readFile(dir.filePath(QStringLiteral("nothing.plist")), &error).has_value());
}

// libplist's reading of the same bytes, through its XML form (which carries
// neither dates to the millisecond nor UIDs, so the documents below hold none).
std::optional<QVariant> readByLibplist(const QByteArray& data)
{
    plist_t raw = nullptr;
    plist_from_memory(data.constData(), static_cast<uint32_t>(data.size()), &raw);
    if (!raw)
        return std::nullopt;
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(raw, &xml, &length);
    plist_free(raw);
    const QByteArray text(xml, static_cast<qsizetype>(length));
    plist_to_xml_free(xml);
    return PropertyList::fromData(text);
}

// A hand-laid binary plist: the objects' bytes one after another, the top
// object first, with one-byte offsets and references.
QByteArray binaryOf(const QList<QByteArray>& objects)
{
    QByteArray data("bplist00");
    QByteArray offsets;
    for (const QByteArray& object : objects) {
        offsets.append(static_cast<char>(data.size()));
        data.append(object);
    }
    const qsizetype table = data.size();
    data.append(offsets);
    QByteArray trailer(32, '\0');
    trailer[6] = 1;
    trailer[7] = 1;
    trailer[15] = static_cast<char>(objects.size());
    trailer[31] = static_cast<char>(table);
    return data + trailer;
}

TEST(PropertyListTest, BinaryReadsAsLibplistReads)
{
    QVariantMap sample = sampleTree();
    sample.remove(QStringLiteral("when"));
    QVariantList wide;
    for (int i = 0; i < 400; ++i)
        wide.append(QVariantMap{{QStringLiteral("name %1").arg(i), QStringLiteral("Grüße %1").arg(i)},
                                {QStringLiteral("shared"), QStringLiteral("x").repeated(i % 40)}});
    const struct
    {
        const char* name;
        QByteArray data;
    } cases[] = {
        {"sample", PropertyList::toData(sample, PropertyList::Format::Binary)},
        {"wider references and long strings", PropertyList::toData(wide, PropertyList::Format::Binary)},
        {"four-byte real, set, sixteen-byte integer",
         binaryOf({QByteArray::fromHex("a3010203"), QByteArray::fromHex("22404c0000"),
                   QByteArray::fromHex("c20404"), QByteArray::fromHex("1400000000000000010000000000000005"),
                   QByteArray::fromHex("5161")})},
        {"duplicate keys", binaryOf({QByteArray::fromHex("d201010203"), QByteArray::fromHex("516b"),
                                     QByteArray::fromHex("1001"), QByteArray::fromHex("1002")})},
        {"ASCII text ends at its first NUL, UTF-16 text does not",
         binaryOf({QByteArray::fromHex("a20102"), QByteArray::fromHex("5361006200"),
                   QByteArray::fromHex("6200610000")})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto expected = readByLibplist(c.data);
        ASSERT_TRUE(expected.has_value());
        const auto read = PropertyList::fromData(c.data);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(*read, *expected);
    }
}

TEST(PropertyListTest, DamagedBinaryIsRefused)
{
    const struct
    {
        const char* name;
        QByteArray data;
    } cases[] = {
        {"reference past the objects", binaryOf({QByteArray::fromHex("a105")})},
        {"array containing itself", binaryOf({QByteArray::fromHex("a101"), QByteArray::fromHex("a100")})},
        {"key that is no string", binaryOf({QByteArray::fromHex("d10101"), QByteArray::fromHex("1001")})},
        {"count past the offset table", binaryOf({QByteArray::fromHex("5f1010616263")})},
        {"unknown marker", binaryOf({QByteArray::fromHex("70")})},
        {"null", binaryOf({QByteArray::fromHex("00")})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        EXPECT_FALSE(PropertyList::fromData(c.data, &error).has_value());
        EXPECT_FALSE(error.isEmpty());
    }

    // Every cut is refused, and bytes changed anywhere are refused or read
    // within the file (the sanitizer build sees any read past it).
    const QByteArray whole = PropertyList::toData(sampleTree(), PropertyList::Format::Binary);
    for (qsizetype length = 0; length < whole.size(); ++length)
        EXPECT_FALSE(PropertyList::fromData(whole.left(length)).has_value()) << length;
    std::mt19937 random(7);
    for (int round = 0; round < 5000; ++round) {
        QByteArray damaged = whole;
        damaged[static_cast<qsizetype>(random() % damaged.size())] = static_cast<char>(random() % 256);
        const QByteArray exact(damaged.constData(), damaged.size());
        PropertyList::fromData(exact);
    }
}

// Whether a post no one observes could be read is told without reading it:
// the answer, and the reason for a refusal, must be fromData()'s.
TEST(PropertyListTest, HoldsDictionaryAnswersAsFromDataReads)
{
    plist_t deepest = plist_new_array();
    for (int i = 0; i < 600; ++i) {
        plist_t outer = plist_new_array();
        plist_array_append_item(outer, deepest);
        deepest = outer;
    }
    char* deepBytes = nullptr;
    uint32_t deepLength = 0;
    plist_to_bin(deepest, &deepBytes, &deepLength);
    const QByteArray deepBinary(deepBytes, deepLength);
    free(deepBytes);
    plist_free(deepest);

    const QByteArray sample = PropertyList::toData(sampleTree(), PropertyList::Format::Binary);
    const struct
    {
        const char* name;
        QByteArray data;
    } cases[] = {
        {"binary dictionary", sample},
        {"binary array",
         PropertyList::toData(QVariantList{1, QStringLiteral("a")}, PropertyList::Format::Binary)},
        {"binary string", PropertyList::toData(QStringLiteral("text"), PropertyList::Format::Binary)},
        {"XML dictionary", PropertyList::toData(sampleTree(), PropertyList::Format::Xml)},
        {"XML array", PropertyList::toData(QVariantList{1}, PropertyList::Format::Xml)},
        {"empty", QByteArray()},
        {"no plist", QByteArray("not a plist at all")},
        {"cut binary", sample.left(sample.size() / 2)},
        {"nested too deeply", deepBinary},
        {"array containing itself", binaryOf({QByteArray::fromHex("a101"), QByteArray::fromHex("a100")})},
        {"key that is no string", binaryOf({QByteArray::fromHex("d10101"), QByteArray::fromHex("1001")})},
        {"unknown marker", binaryOf({QByteArray::fromHex("70")})},
    };
    auto expectAgreement = [](const QByteArray& data) {
        QString readError;
        QString checkError;
        const std::optional<QVariant> read = PropertyList::fromData(data, &readError);
        const std::optional<bool> dictionary = PropertyList::holdsDictionary(data, &checkError);
        ASSERT_EQ(read.has_value(), dictionary.has_value());
        if (read)
            EXPECT_EQ(read->typeId() == QMetaType::QVariantMap, *dictionary);
        else
            EXPECT_EQ(readError, checkError);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectAgreement(c.data);
    }
    std::mt19937 random(11);
    for (int round = 0; round < 3000; ++round) {
        QByteArray damaged = sample;
        damaged[static_cast<qsizetype>(random() % damaged.size())] = static_cast<char>(random() % 256);
        SCOPED_TRACE(round);
        expectAgreement(damaged);
    }
}

} // namespace
