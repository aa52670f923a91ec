#include "support/HostileInputs.h"

#include "platform/BinaryPlistWriter.h"
#include "platform/PropertyList.h"

#include <QVariantList>
#include <QVariantMap>

#include <sys/resource.h>
#include <vector>

namespace HostileInputs {

QByteArray binaryBomb(int width, int levels)
{
    BinaryPlistWriter plist;
    uint32_t level = plist.addAscii("x");
    for (int i = 0; i < levels; ++i)
        level = plist.addArray(std::vector<uint32_t>(static_cast<size_t>(width), level));
    return plist.finish(level);
}

QByteArray keyedArchiveBomb(int width, int levels)
{
    const auto uid = [](quint64 value) { return QVariant::fromValue(PlistUid{value}); };
    // UID 1 is the root; level i's record is UID i + 1 and refers `width`
    // times to the next; the last level's record holds one string.
    const quint64 classUid = static_cast<quint64>(levels) + 2;
    QVariantList objects{QStringLiteral("$null")};
    for (int i = 0; i < levels; ++i) {
        const quint64 next = static_cast<quint64>(i) + 2;
        const QVariantList refs(i + 1 < levels ? width : 1, uid(next));
        objects.append(
            QVariantMap{{QStringLiteral("NS.objects"), refs}, {QStringLiteral("$class"), uid(classUid)}});
    }
    objects.append(QStringLiteral("x"));
    objects.append(QVariantMap{
        {QStringLiteral("$classname"), QStringLiteral("NSArray")},
        {QStringLiteral("$classes"), QVariantList{QStringLiteral("NSArray"), QStringLiteral("NSObject")}}});
    const QVariantMap archive{
        {QStringLiteral("$archiver"), QStringLiteral("NSKeyedArchiver")},
        {QStringLiteral("$version"), 100000},
        {QStringLiteral("$top"), QVariantMap{{QStringLiteral("root"), uid(1)}}},
        {QStringLiteral("$objects"), objects},
    };
    return PropertyList::toData(archive, PropertyList::Format::Binary);
}

QByteArray nestedBinaryArrays(int depth)
{
    BinaryPlistWriter plist;
    uint32_t inner = plist.addArray({});
    for (int i = 1; i < depth; ++i)
        inner = plist.addArray({inner});
    return plist.finish(inner);
}

QByteArray nestedXmlArrays(int depth)
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">") +
           QByteArray("<array>").repeated(depth) + QByteArray("</array>").repeated(depth) +
           QByteArray("</plist>\n");
}

qint64 peakResidentBytes()
{
    struct rusage usage
    {
    };
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<qint64>(usage.ru_maxrss) * 1024;
}

} // namespace HostileInputs
