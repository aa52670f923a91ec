#include "PropertyList.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QVariantMap sampleTree()
{
    QVariantMap app;
    app[QStringLiteral("appName")] = QStringLiteral("Mail");
    app[QStringLiteral("appIsBundle")] = true;
    app[QStringLiteral("appIsBlockedOrAllowed")] = 4;
    app[QStringLiteral("appMatches")] = QVariantList{QStringLiteral("@10.0.0.0/8"), QStringLiteral("#_range1:80")};

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
    case QMetaType::QVariantList: {
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
    EXPECT_TRUE(PropertyList::toData(QVariant::fromValue(QDir())).isEmpty());
}

TEST(PropertyListTest, FailedWriteLeavesTheOldFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("palisor.conf"));
    ASSERT_TRUE(PropertyList::writeFile(path, QVariantList{QStringLiteral("old")}));

    // A value that cannot be written must not truncate what is there.
    QString error;
    EXPECT_FALSE(PropertyList::writeFile(path, QVariantList{QVariant::fromValue(QDir())}, PropertyList::Format::Xml,
                                         &error));
    EXPECT_FALSE(error.isEmpty());
    const auto read = PropertyList::readFile(path);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->toList(), QVariantList{QStringLiteral("old")});

    EXPECT_FALSE(PropertyList::writeFile(dir.filePath(QStringLiteral("missing/dir/x.plist")), QVariantList{1}));
    EXPECT_FALSE(PropertyList::readFile(dir.filePath(QStringLiteral("nothing.plist")), &error).has_value());
}

} // namespace
