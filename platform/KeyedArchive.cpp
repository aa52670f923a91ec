#include "platform/KeyedArchive.h"

#include "platform/BinaryPlistWriter.h"
#include "platform/KeyedArchiveReader.h"
#include "platform/PropertyList.h"
#include "platform/ReadBounds.h"

#include <QHash>
#include <QVariantList>
#include <QVariantMap>

#include <bit>
#include <memory>
#include <utility>
#include <vector>

namespace {

// Reading and writing share the bound so that whatever we write reads back.
constexpr int kMaxDepth = ReadBounds::kMaxDepth;
constexpr uint64_t kArchiverVersion = 100000;
constexpr char kArchiverName[] = "NSKeyedArchiver";

// Lays out "$objects" in the order the original archiver visits a tree, so
// that files look the same whichever side wrote them.
class ArchiveWriter
{
public:
    ArchiveWriter();

    bool encode(const QVariant& value, int depth, uint64_t& uid);
    QByteArray finish(uint64_t rootUid);

private:
    enum class ClassKind { Array, Dictionary };

    uint64_t m_append(uint32_t object);
    uint32_t m_uid(uint64_t uid);
    uint32_t m_name(uint32_t& slot, const char* text);
    uint64_t m_string(const QString& text);
    uint64_t m_integer(const QVariant& value, bool isSigned);
    uint64_t m_real(double value);
    uint64_t m_classRecord(ClassKind kind);
    bool m_encodeList(const QVariantList& list, int depth, uint64_t& uid);
    bool m_encodeMap(const QVariantMap& map, int depth, uint64_t& uid);

    BinaryPlistWriter m_plist;
    uint32_t m_topObject = 0;
    // The plist object of each archived object, by UID.
    std::vector<uint32_t> m_entries;
    // The plist object of each UID reference, by UID (0 until first used).
    std::vector<uint32_t> m_uidObjects;
    // The original archiver stores an object once and refers to it by UID
    // wherever it recurs; equal strings and numbers are what recurs in a
    // configuration. Each plist type has its own table so that true never
    // stands in for 1, nor 1 for 1.0.
    QHash<QString, uint64_t> m_strings;
    QHash<uint64_t, uint64_t> m_signed;
    QHash<uint64_t, uint64_t> m_unsigned;
    QHash<uint64_t, uint64_t> m_reals;
    uint64_t m_booleans[2] = {0, 0};
    uint64_t m_arrayClass = 0;
    uint64_t m_dictionaryClass = 0;
    // Record keys, each written once and shared by every record.
    uint32_t m_classKey = 0;
    uint32_t m_keysKey = 0;
    uint32_t m_objectsKey = 0;
};

ArchiveWriter::ArchiveWriter()
{
    m_topObject = m_plist.reserve();
    m_append(m_plist.addAscii("$null"));
}

uint64_t ArchiveWriter::m_append(uint32_t object)
{
    m_entries.push_back(object);
    return m_entries.size() - 1;
}

uint32_t ArchiveWriter::m_uid(uint64_t uid)
{
    if (uid >= m_uidObjects.size())
        m_uidObjects.resize(uid + 1, 0);
    // Object 0 is the top dictionary, never a UID: 0 marks "not yet written".
    if (!m_uidObjects[uid])
        m_uidObjects[uid] = m_plist.addUid(uid);
    return m_uidObjects[uid];
}

uint32_t ArchiveWriter::m_name(uint32_t& slot, const char* text)
{
    if (!slot)
        slot = m_plist.addAscii(text);
    return slot;
}

uint64_t ArchiveWriter::m_string(const QString& text)
{
    auto it = m_strings.constFind(text);
    if (it != m_strings.constEnd())
        return it.value();
    const uint64_t uid = m_append(m_plist.addString(text));
    m_strings.insert(text, uid);
    return uid;
}

uint64_t ArchiveWriter::m_integer(const QVariant& value, bool isSigned)
{
    const uint64_t bits = isSigned ? static_cast<uint64_t>(value.toLongLong()) : value.toULongLong();
    QHash<uint64_t, uint64_t>& table = isSigned ? m_signed : m_unsigned;
    auto it = table.constFind(bits);
    if (it != table.constEnd())
        return it.value();
    const uint64_t uid =
        m_append(isSigned ? m_plist.addInteger(static_cast<int64_t>(bits)) : m_plist.addUnsigned(bits));
    table.insert(bits, uid);
    return uid;
}

uint64_t ArchiveWriter::m_real(double value)
{
    const uint64_t bits = std::bit_cast<uint64_t>(value);
    auto it = m_reals.constFind(bits);
    if (it != m_reals.constEnd())
        return it.value();
    const uint64_t uid = m_append(m_plist.addReal(value));
    m_reals.insert(bits, uid);
    return uid;
}

uint64_t ArchiveWriter::m_classRecord(ClassKind kind)
{
    uint64_t& slot = kind == ClassKind::Array ? m_arrayClass : m_dictionaryClass;
    if (slot)
        return slot;
    const char* name = kind == ClassKind::Array ? "NSArray" : "NSDictionary";
    const uint32_t record = m_plist.reserve();
    slot = m_append(record);
    const uint32_t className = m_plist.addAscii(name);
    const uint32_t classes = m_plist.addArray({m_plist.addAscii(name), m_plist.addAscii("NSObject")});
    m_plist.setDictionary(record, {m_plist.addAscii("$classname"), m_plist.addAscii("$classes")},
                          {className, classes});
    return slot;
}

bool ArchiveWriter::m_encodeList(const QVariantList& list, int depth, uint64_t& uid)
{
    // The record takes its UID before its elements, and learns its class
    // after them, as the original archiver fills it in.
    const uint32_t record = m_plist.reserve();
    uid = m_append(record);
    std::vector<uint32_t> refs;
    refs.reserve(static_cast<size_t>(list.size()));
    for (const QVariant& item : list) {
        uint64_t child = 0;
        if (!encode(item, depth + 1, child))
            return false;
        refs.push_back(m_uid(child));
    }
    const uint32_t objects = m_plist.addArray(refs);
    const uint32_t classUid = m_uid(m_classRecord(ClassKind::Array));
    m_plist.setDictionary(record, {m_name(m_objectsKey, "NS.objects"), m_name(m_classKey, "$class")},
                          {objects, classUid});
    return true;
}

bool ArchiveWriter::m_encodeMap(const QVariantMap& map, int depth, uint64_t& uid)
{
    const uint32_t record = m_plist.reserve();
    uid = m_append(record);
    std::vector<uint32_t> refs;
    refs.reserve(static_cast<size_t>(map.size()));
    // Every key first, then every value: the order a dictionary encodes itself in.
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        refs.push_back(m_uid(m_string(it.key())));
    const uint32_t keys = m_plist.addArray(refs);
    refs.clear();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        uint64_t child = 0;
        if (!encode(it.value(), depth + 1, child))
            return false;
        refs.push_back(m_uid(child));
    }
    const uint32_t objects = m_plist.addArray(refs);
    const uint32_t classUid = m_uid(m_classRecord(ClassKind::Dictionary));
    m_plist.setDictionary(
        record,
        {m_name(m_keysKey, "NS.keys"), m_name(m_objectsKey, "NS.objects"), m_name(m_classKey, "$class")},
        {keys, objects, classUid});
    return true;
}

bool ArchiveWriter::encode(const QVariant& value, int depth, uint64_t& uid)
{
    if (depth > kMaxDepth)
        return false;
    switch (PropertyList::kindOf(value)) {
    case PropertyList::Kind::Boolean: {
        uint64_t& slot = m_booleans[value.toBool() ? 1 : 0];
        if (!slot)
            slot = m_append(m_plist.addBoolean(value.toBool()));
        uid = slot;
        return true;
    }
    case PropertyList::Kind::Integer:
        uid = m_integer(value, true);
        return true;
    case PropertyList::Kind::UnsignedInteger:
        uid = m_integer(value, false);
        return true;
    case PropertyList::Kind::Real:
        uid = m_real(value.toDouble());
        return true;
    case PropertyList::Kind::String:
        uid = m_string(*static_cast<const QString*>(value.constData()));
        return true;
    case PropertyList::Kind::Data:
        uid = m_append(m_plist.addData(*static_cast<const QByteArray*>(value.constData())));
        return true;
    case PropertyList::Kind::Array:
        return m_encodeList(*static_cast<const QVariantList*>(value.constData()), depth, uid);
    case PropertyList::Kind::StringArray:
        return m_encodeList(value.toList(), depth, uid);
    case PropertyList::Kind::Dictionary:
        return m_encodeMap(*static_cast<const QVariantMap*>(value.constData()), depth, uid);
    default:
        // Dates and UIDs have no place among the archive's plain values.
        return false;
    }
}

QByteArray ArchiveWriter::finish(uint64_t rootUid)
{
    const uint32_t top = m_plist.reserve();
    m_plist.setDictionary(top, {m_plist.addAscii("root")}, {m_uid(rootUid)});
    const uint32_t objects = m_plist.addArray(m_entries);
    m_plist.setDictionary(
        m_topObject,
        {m_plist.addAscii("$version"), m_plist.addAscii("$archiver"), m_plist.addAscii("$top"),
         m_plist.addAscii("$objects")},
        {m_plist.addUnsigned(kArchiverVersion), m_plist.addAscii(kArchiverName), top, objects});
    return m_plist.finish(m_topObject);
}

// Resolves an archive's object graph into a QVariant tree. Each object is
// decoded once and shared wherever its UID recurs, which keeps a file that
// refers to one object many times (legitimately or not) linear to read.
class ArchiveReader
{
public:
    using Item = KeyedArchiveReader::Item;
    using Kind = KeyedArchiveReader::Kind;

    explicit ArchiveReader(KeyedArchiveReader& archive)
        : m_archive(archive)
        , m_values(archive.objectCount())
        , m_states(archive.objectCount(), State::New)
    {
    }
    bool decode(uint64_t uid, int depth, QVariant& out);

private:
    enum class State : uint8_t { New, Decoding, Done };

    bool m_decodeArray(const Item& array, uint64_t uid, int depth, QVariant& out);
    bool m_decodeDictionary(const Item& dictionary, uint64_t uid, int depth, QVariant& out);

    KeyedArchiveReader& m_archive;
    std::vector<QVariant> m_values;
    std::vector<State> m_states;
};

bool ArchiveReader::decode(uint64_t uid, int depth, QVariant& out)
{
    if (!m_archive.validUid(uid))
        return false;
    switch (m_states[uid]) {
    case State::Done:
        out = m_values[uid];
        return true;
    case State::Decoding:
        return m_archive.fail(QStringLiteral("object %1 contains itself").arg(uid));
    case State::New:
        break;
    }
    if (depth > kMaxDepth)
        return m_archive.fail(QStringLiteral("keyed archive is nested too deeply"));

    Item item;
    if (!m_archive.item(uid, item))
        return false;
    switch (item.kind) {
    case Kind::Boolean:
    case Kind::Integer:
    case Kind::Real:
    case Kind::String:
    case Kind::Data:
        out = KeyedArchiveReader::plainValue(item);
        break;
    case Kind::Array:
        m_states[uid] = State::Decoding;
        if (!m_decodeArray(item, uid, depth, out))
            return false;
        break;
    case Kind::Dictionary:
        m_states[uid] = State::Decoding;
        if (!m_decodeDictionary(item, uid, depth, out))
            return false;
        break;
    }
    m_values[uid] = out;
    m_states[uid] = State::Done;
    return true;
}

bool ArchiveReader::m_decodeArray(const Item& array, uint64_t uid, int depth, QVariant& out)
{
    QVariantList list;
    list.reserve(static_cast<qsizetype>(array.objects.count));
    for (uint64_t i = 0; i < array.objects.count; ++i) {
        uint64_t child = 0;
        if (!m_archive.uidAt(array.objects, i, child))
            return m_archive.fail(QStringLiteral("array %1 holds something that is not a UID").arg(uid));
        QVariant item;
        if (!decode(child, depth + 1, item))
            return false;
        list.append(std::move(item));
    }
    out = QVariant(std::move(list));
    return true;
}

bool ArchiveReader::m_decodeDictionary(const Item& dictionary, uint64_t uid, int depth, QVariant& out)
{
    QVariantMap map;
    for (uint64_t i = 0; i < dictionary.keys.count; ++i) {
        uint64_t keyUid = 0;
        uint64_t valueUid = 0;
        if (!m_archive.uidAt(dictionary.keys, i, keyUid) || !m_archive.uidAt(dictionary.objects, i, valueUid))
            return m_archive.fail(QStringLiteral("dictionary %1 holds something that is not a UID").arg(uid));
        QVariant key;
        if (!decode(keyUid, depth + 1, key))
            return false;
        if (key.typeId() != QMetaType::QString)
            return m_archive.fail(QStringLiteral("dictionary %1 has a key that is not a string").arg(uid));
        QVariant value;
        if (!decode(valueUid, depth + 1, value))
            return false;
        map.insert(*static_cast<const QString*>(key.constData()), std::move(value));
    }
    out = QVariant(std::move(map));
    return true;
}

} // namespace

QByteArray KeyedArchive::archive(const QVariant& root)
{
    ArchiveWriter writer;
    uint64_t rootUid = 0;
    if (!writer.encode(root, 0, rootUid))
        return {};
    return writer.finish(rootUid);
}

std::optional<QVariant> KeyedArchive::unarchive(const QByteArray& data, QString* error)
{
    KeyedArchiveReader archive;
    QVariant root;
    // The check bounds the tree the archive stands for, counting a shared
    // object wherever it recurs, before any of it is built.
    if (!archive.open(data) || !archive.check() ||
        !ArchiveReader(archive).decode(archive.rootUid(), 0, root)) {
        if (error)
            *error = archive.error();
        return std::nullopt;
    }
    return root;
}
