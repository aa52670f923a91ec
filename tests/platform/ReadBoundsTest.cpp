#include "platform/ReadBounds.h"

#include "platform/BinaryPlistWriter.h"
#include "platform/KeyedArchive.h"
#include "platform/PropertyList.h"
#include "support/HostileInputs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int depthOf(const QVariant& value)
{
    int depth = 0;
    QVariant at = value;
    while (at.typeId() == QMetaType::QVariantList && !at.toList().isEmpty()) {
        at = at.toList().first();
        ++depth;
    }
    return depth;
}

TEST(ReadBoundsTest, BombsAndDeepNestingAreRefusedWithoutBuildingThem)
{
    const struct
    {
        const char* name;
        QByteArray data;
        const char* reason;
    } cases[] = {
        {"binary bomb", HostileInputs::binaryBomb(), "values"},
        {"100,000 nested binary arrays", HostileInputs::nestedBinaryArrays(100000), "levels deep"},
        {"1,000,000 nested XML arrays", HostileInputs::nestedXmlArrays(1000000), "levels deep"},
        // XML cannot share, but past the ceiling its values are refused unparsed all the same.
        {"XML past the ceiling",
         "<plist><array>" + QByteArray("<true/>").repeated(ReadBounds::kValuesCeiling) + "</array></plist>",
         "values"},
    };
    const QByteArray archiveBomb = HostileInputs::keyedArchiveBomb();
    ASSERT_LT(HostileInputs::binaryBomb().size(), 300);
    // The archive bomb is a sound property list: only unarchiving expands it.
    ASSERT_TRUE(PropertyList::fromData(archiveBomb).has_value());

    const qint64 before = HostileInputs::peakResidentBytes();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        EXPECT_FALSE(PropertyList::fromData(c.data, &error).has_value());
        EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << error.toStdString();
        QString checkError;
        EXPECT_FALSE(PropertyList::holdsDictionary(c.data, &checkError).has_value());
        EXPECT_EQ(checkError, error);
        EXPECT_FALSE(KeyedArchive::unarchive(c.data, &error).has_value());
    }
    QString error;
    EXPECT_FALSE(KeyedArchive::unarchive(archiveBomb, &error).has_value());
    EXPECT_TRUE(error.contains(QLatin1String("values"))) << error.toStdString();
    EXPECT_LT(HostileInputs::peakResidentBytes() - before, HostileInputs::kMemoryAllowance);
}

// Sharing is honest in small measure, and the bound counts the tree a file
// stands for, not its bytes: the same shape reads while it stays small.
TEST(ReadBoundsTest, ModestSharingStillReads)
{
    const auto binary = PropertyList::fromData(HostileInputs::binaryBomb(9, 3));
    ASSERT_TRUE(binary.has_value());
    EXPECT_EQ(binary->toList().size(), 9);
    EXPECT_EQ(binary->toList().first().toList().first().toList().size(), 9);
    const auto archive = KeyedArchive::unarchive(HostileInputs::keyedArchiveBomb(9, 3));
    ASSERT_TRUE(archive.has_value());
    EXPECT_EQ(archive->toList().first().toList().size(), 9);
}

// Containers nest down to depth kMaxDepth (the top is at 0) in every form;
// one level more is refused, also when the depth is reached through an
// object that was first read higher up and is shared.
TEST(ReadBoundsTest, DepthBoundHoldsInEveryFormAndThroughSharing)
{
    constexpr int kDeepest = ReadBounds::kMaxDepth + 1;
    for (const int levels : {kDeepest, kDeepest + 1}) {
        SCOPED_TRACE(levels);
        const bool fits = levels == kDeepest;
        QVariant nested = QVariantList();
        for (int i = 1; i < levels; ++i)
            nested = QVariantList{nested};
        const QByteArray forms[] = {HostileInputs::nestedBinaryArrays(levels),
                                    HostileInputs::nestedXmlArrays(levels),
                                    PropertyList::toData(nested, PropertyList::Format::Xml)};
        for (const QByteArray& data : forms) {
            const auto read = PropertyList::fromData(data);
            EXPECT_EQ(read.has_value(), fits) << data.left(60).toStdString();
            EXPECT_EQ(PropertyList::holdsDictionary(data).has_value(), fits);
            if (read)
                EXPECT_EQ(depthOf(*read), levels - 1);
        }
        const QByteArray archived = KeyedArchive::archive(nested);
        EXPECT_EQ(archived.isEmpty(), !fits);
        if (fits) {
            const auto read = KeyedArchive::unarchive(archived);
            ASSERT_TRUE(read.has_value());
            EXPECT_EQ(depthOf(*read), levels - 1);
        }
    }

    // A chain of 300 arrays is read first near the top, then met again at
    // the bottom of another chain of 300.
    BinaryPlistWriter plist;
    uint32_t shared = plist.addArray({});
    for (int i = 1; i < 300; ++i)
        shared = plist.addArray({shared});
    uint32_t chain = plist.addArray({shared});
    for (int i = 1; i < 300; ++i)
        chain = plist.addArray({chain});
    const QByteArray data = plist.finish(plist.addArray({shared, chain}));
    QString error;
    EXPECT_FALSE(PropertyList::fromData(data, &error).has_value());
    EXPECT_TRUE(error.contains(QLatin1String("levels deep"))) << error.toStdString();
    EXPECT_FALSE(PropertyList::holdsDictionary(data).has_value());

    // The same in a keyed archive: record 1 holds the two chains of records.
    const auto uid = [](quint64 value) { return QVariant::fromValue(PlistUid{value}); };
    const auto record = [&](const QVariantList& refs) {
        return QVariantMap{{QStringLiteral("NS.objects"), refs}, {QStringLiteral("$class"), uid(602)}};
    };
    QVariantList objects{QStringLiteral("$null"), record({uid(2), uid(302)})};
    for (quint64 i = 2; i <= 301; ++i)
        objects.append(record(i < 301 ? QVariantList{uid(i + 1)} : QVariantList{}));
    for (quint64 i = 302; i <= 601; ++i)
        objects.append(record({uid(i < 601 ? i + 1 : 2)}));
    objects.append(QVariantMap{{QStringLiteral("$classname"), QStringLiteral("NSArray")}});
    const QByteArray archive = PropertyList::toData(
        QVariantMap{{QStringLiteral("$archiver"), QStringLiteral("NSKeyedArchiver")},
                    {QStringLiteral("$top"), QVariantMap{{QStringLiteral("root"), uid(1)}}},
                    {QStringLiteral("$objects"), objects}},
        PropertyList::Format::Binary);
    EXPECT_FALSE(KeyedArchive::unarchive(archive, &error).has_value());
    EXPECT_TRUE(error.contains(QLatin1String("nested too deeply"))) << error.toStdString();
}

// Comments, CDATA, quoted values and text do not nest in XML, and cannot
// hide nesting from the check either: were the closes below counted, the
// parser would build the whole depth and crash freeing it.
TEST(ReadBoundsTest, XmlNestingIsMeasuredAsTheParserReadsIt)
{
    const int hidden = 200000;
    const int deep = ReadBounds::kMaxDepth + 2;
    const QByteArray head = "<?xml version=\"1.0\"?><!DOCTYPE plist PUBLIC \"-//x//DTD PLIST 1.0//EN\" "
                            "\"http://x/PropertyList-1.0.dtd\"><plist version=\"1.0\">";
    const struct
    {
        const char* name;
        QByteArray data;
        bool reads;
    } cases[] = {
        {"closes hidden in comments",
         head + QByteArray("<array><!-- </array> -->").repeated(hidden) +
             QByteArray("</array>").repeated(hidden) + "</plist>",
         false},
        {"closes hidden in text",
         head + QByteArray("<array><string><![CDATA[</array>]]></string>").repeated(hidden) +
             QByteArray("</array>").repeated(hidden) + "</plist>",
         false},
        {"opens hidden in comments, CDATA and quotes",
         head + "<array><!-- " + QByteArray("<array>").repeated(deep) + " --><string><![CDATA[" +
             QByteArray("<array>").repeated(deep) + "]]></string><dict a=\"" +
             QByteArray("<array>").repeated(deep) + "\"></dict></array></plist>",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PropertyList::fromData(c.data).has_value(), c.reads);
    }
}

} // namespace
