#include "platform/KeyedArchive.h"

#include "platform/BinaryPlistReader.h"
#include "platform/BinaryPlistWriter.h"
#include "platform/PropertyList.h"
#include "platform/ReadBounds.h"

#include <QHash>
#include <QVariantList>
#include <QVariantMap>

#include <algorithm>
#include <bit>
#include <limits>
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

// Resolves an archive's object graph into a QVariant tree, reading the
// binary property list where it lies. Each object is decoded once and shared
// wherever its UID recurs, which keeps a file that refers to one object many
// times (legitimately or not) linear to read. Whoever walks the tree still
// meets a shared object once per reference, so each counts that often
// against the values the archive's size allows, and its depth below counts
// wherever it recurs.
class ArchiveReader
{
public:
    using Object = BinaryPlistReader::Object;
    using Type = BinaryPlistReader::Type;

    ArchiveReader(const BinaryPlistReader& plist, qint64 inputBytes)
        : m_plist(plist)
        , m_inputBytes(inputBytes)
        , m_maxValues(ReadBounds::maxValues(inputBytes))
    {
    }
    bool open(uint64_t& rootUid);
    bool decode(uint64_t uid, int depth, QVariant& out);
    const QString& error() const { return m_error; }

private:
    enum class ClassKind { Array, Dictionary, String, Data };
    enum class State : uint8_t { New, Decoding, Done };

    bool m_fail(const QString& reason);
    bool m_spend(uint64_t values);
    bool m_child(uint64_t uid, int depth, QVariant& out, int& height);
    bool m_malformed() { return m_fail(QStringLiteral("keyed archive is not a well-formed property list")); }
    // The value under `key` in a dictionary object; false when it has none.
    bool m_lookUp(const Object& dictionary, QLatin1StringView key, Object& value, uint64_t* index = nullptr);
    bool m_uidOf(const Object& node, uint64_t& uid);
    bool m_classOf(const Object& record, uint64_t uid, ClassKind& kind);
    bool m_decodeRecord(const Object& record, uint64_t uid, int depth, QVariant& out, int& height);
    bool m_decodeArray(const Object& record, uint64_t uid, int depth, QVariant& out, int& height);
    bool m_decodeDictionary(const Object& record, uint64_t uid, int depth, QVariant& out, int& height);
    bool m_field(const Object& record, uint64_t uid, const char* key, Type type, Object& value);
    // The UID at position n of an array of UIDs.
    bool m_uidAt(const Object& refs, uint64_t n, uint64_t& uid);

    const BinaryPlistReader& m_plist;
    const qint64 m_inputBytes;
    const uint64_t m_maxValues;
    uint64_t m_made = 0;
    // The plist object of each archived object, by UID.
    Object m_objects;
    std::vector<QVariant> m_values;
    std::vector<State> m_states;
    // Per object decoded: the values of the tree it stands for, and how many
    // levels lie below it.
    std::vector<uint64_t> m_sizes;
    std::vector<uint16_t> m_heights;
    // Few class records serve a whole archive: look each up once.
    std::vector<std::pair<uint64_t, ClassKind>> m_classes;
    QString m_error;
};

bool ArchiveReader::m_fail(const QString& reason)
{
    if (m_error.isEmpty())
        m_error = reason;
    return false;
}

bool ArchiveReader::m_spend(uint64_t values)
{
    if (values <= m_maxValues - m_made) {
        m_made += values;
        return true;
    }
    return m_fail(QStringLiteral("keyed archive of %1 bytes would make more than %2 values")
                      .arg(m_inputBytes)
                      .arg(m_maxValues));
}

bool ArchiveReader::m_child(uint64_t uid, int depth, QVariant& out, int& height)
{
    if (!decode(uid, depth + 1, out))
        return false;
    height = std::max(height, m_heights[uid] + 1);
    return true;
}

bool ArchiveReader::m_lookUp(const Object& dictionary, QLatin1StringView key, Object& value, uint64_t* index)
{
    if (dictionary.type != Type::Dictionary)
        return false;
    // Of duplicate keys the first counts, as libplist's look-up finds it.
    for (uint64_t i = 0; i < dictionary.count; ++i) {
        uint64_t keyIndex = 0;
        Object name;
        if (!m_plist.reference(dictionary, i, keyIndex) || !m_plist.object(keyIndex, name) ||
            !BinaryPlistReader::textEquals(name, key))
            continue;
        uint64_t valueIndex = 0;
        if (!m_plist.reference(dictionary, dictionary.count + i, valueIndex) ||
            !m_plist.object(valueIndex, value))
            return false;
        if (index)
            *index = valueIndex;
        return true;
    }
    return false;
}

// Binary archives carry UIDs as their own type; XML ones as {"CF$UID": n}.
bool ArchiveReader::m_uidOf(const Object& node, uint64_t& uid)
{
    switch (node.type) {
    case Type::Uid:
        uid = node.value;
        return true;
    case Type::Dictionary: {
        Object value;
        if (node.count != 1 || !m_lookUp(node, QLatin1StringView("CF$UID"), value) ||
            value.type != Type::Integer)
            return false;
        uid = value.value;
        return true;
    }
    default:
        return false;
    }
}

bool ArchiveReader::m_uidAt(const Object& refs, uint64_t n, uint64_t& uid)
{
    uint64_t index = 0;
    Object node;
    return m_plist.reference(refs, n, index) && m_plist.object(index, node) && m_uidOf(node, uid);
}

bool ArchiveReader::open(uint64_t& rootUid)
{
    Object archive;
    if (!m_plist.object(m_plist.topObject(), archive))
        return m_malformed();
    if (archive.type != Type::Dictionary)
        return m_fail(QStringLiteral("not a keyed archive: the property list is not a dictionary"));
    Object archiver;
    if (!m_lookUp(archive, QLatin1StringView("$archiver"), archiver) ||
        !BinaryPlistReader::textEquals(archiver, QLatin1StringView(kArchiverName)))
        return m_fail(QStringLiteral("not a keyed archive: \"$archiver\" is missing or unknown"));
    Object top;
    if (!m_lookUp(archive, QLatin1StringView("$top"), top) || top.type != Type::Dictionary)
        return m_fail(QStringLiteral("keyed archive has no \"$top\""));
    Object root;
    if (!m_lookUp(top, QLatin1StringView("root"), root) || !m_uidOf(root, rootUid))
        return m_fail(QStringLiteral("keyed archive has no root object in \"$top\""));
    if (!m_lookUp(archive, QLatin1StringView("$objects"), m_objects) || m_objects.type != Type::Array)
        return m_fail(QStringLiteral("keyed archive has no \"$objects\""));
    if (rootUid == 0)
        return m_fail(QStringLiteral("keyed archive's root object is $null"));

    m_values.resize(m_objects.count);
    m_states.assign(m_objects.count, State::New);
    m_sizes.assign(m_objects.count, 0);
    m_heights.assign(m_objects.count, 0);
    return true;
}

bool ArchiveReader::m_field(const Object& record, uint64_t uid, const char* key, Type type, Object& value)
{
    if (!m_lookUp(record, QLatin1StringView(key), value) || value.type != type)
        return m_fail(QStringLiteral("object %1 has no valid \"%2\"").arg(uid).arg(QLatin1String(key)));
    return true;
}

bool ArchiveReader::m_classOf(const Object& record, uint64_t uid, ClassKind& kind)
{
    uint64_t classUid = 0;
    Object classRef;
    if (!m_lookUp(record, QLatin1StringView("$class"), classRef) || !m_uidOf(classRef, classUid))
        return m_fail(QStringLiteral("object %1 has no \"$class\"").arg(uid));
    for (const auto& [known, knownKind] : m_classes) {
        if (known == classUid) {
            kind = knownKind;
            return true;
        }
    }
    if (classUid == 0 || classUid >= m_objects.count)
        return m_fail(
            QStringLiteral("object %1 refers to class %2, outside the archive").arg(uid).arg(classUid));
    uint64_t classIndex = 0;
    Object classRecord;
    if (!m_plist.reference(m_objects, classUid, classIndex) || !m_plist.object(classIndex, classRecord))
        return m_malformed();
    Object name;
    if (!m_lookUp(classRecord, QLatin1StringView("$classname"), name) || name.type != Type::String)
        return m_fail(QStringLiteral("object %1 has a malformed class record").arg(uid));
    const auto is = [&name](const char* className) {
        return BinaryPlistReader::textEquals(name, QLatin1StringView(className));
    };
    if (is("NSArray") || is("NSMutableArray"))
        kind = ClassKind::Array;
    else if (is("NSDictionary") || is("NSMutableDictionary"))
        kind = ClassKind::Dictionary;
    else if (is("NSString") || is("NSMutableString"))
        kind = ClassKind::String;
    else if (is("NSData") || is("NSMutableData"))
        kind = ClassKind::Data;
    else
        return m_fail(QStringLiteral("class \"%1\" is not accepted in a keyed archive")
                          .arg(BinaryPlistReader::text(name)));
    m_classes.emplace_back(classUid, kind);
    return true;
}

bool ArchiveReader::decode(uint64_t uid, int depth, QVariant& out)
{
    if (uid == 0)
        return m_fail(QStringLiteral("malformed keyed archive: $null inside a container"));
    if (uid >= m_objects.count)
        return m_fail(
            QStringLiteral("UID %1 is outside the archive's %2 objects").arg(uid).arg(m_objects.count));
    const auto tooDeep = [this] {
        return m_fail(QStringLiteral("keyed archive nested more than %1 levels deep").arg(kMaxDepth));
    };
    switch (m_states[uid]) {
    case State::Done:
        if (depth + m_heights[uid] > kMaxDepth)
            return tooDeep();
        if (!m_spend(m_sizes[uid]))
            return false;
        out = m_values[uid];
        return true;
    case State::Decoding:
        return m_fail(QStringLiteral("object %1 contains itself").arg(uid));
    case State::New:
        break;
    }
    if (depth > kMaxDepth)
        return tooDeep();
    if (!m_spend(1))
        return false;
    const uint64_t before = m_made;
    int height = 0;

    uint64_t index = 0;
    Object node;
    if (!m_plist.reference(m_objects, uid, index) || !m_plist.object(index, node))
        return m_malformed();
    switch (node.type) {
    case Type::Boolean:
        out = QVariant(node.value != 0);
        break;
    case Type::Integer:
        // Archived numbers are signed.
        out = QVariant(static_cast<qlonglong>(node.value));
        break;
    case Type::Real:
        out = QVariant(node.real);
        break;
    case Type::String:
        out = QVariant(BinaryPlistReader::text(node));
        break;
    case Type::Data:
        out = QVariant(BinaryPlistReader::data(node));
        break;
    case Type::Dictionary:
        m_states[uid] = State::Decoding;
        if (!m_decodeRecord(node, uid, depth, out, height))
            return false;
        break;
    default:
        return m_fail(QStringLiteral("object %1 is not an archived object").arg(uid));
    }
    m_values[uid] = out;
    m_sizes[uid] = m_made - before + 1;
    m_heights[uid] = static_cast<uint16_t>(height);
    m_states[uid] = State::Done;
    return true;
}

bool ArchiveReader::m_decodeRecord(const Object& record, uint64_t uid, int depth, QVariant& out, int& height)
{
    ClassKind kind;
    if (!m_classOf(record, uid, kind))
        return false;
    switch (kind) {
    case ClassKind::Array:
        return m_decodeArray(record, uid, depth, out, height);
    case ClassKind::Dictionary:
        return m_decodeDictionary(record, uid, depth, out, height);
    case ClassKind::String: {
        Object text;
        if (!m_field(record, uid, "NS.string", Type::String, text))
            return false;
        out = QVariant(BinaryPlistReader::text(text));
        return true;
    }
    case ClassKind::Data: {
        Object data;
        if (!m_field(record, uid, "NS.data", Type::Data, data))
            return false;
        out = QVariant(BinaryPlistReader::data(data));
        return true;
    }
    }
    return false;
}

bool ArchiveReader::m_decodeArray(const Object& record, uint64_t uid, int depth, QVariant& out, int& height)
{
    Object refs;
    if (!m_field(record, uid, "NS.objects", Type::Array, refs))
        return false;
    QVariantList list;
    list.reserve(static_cast<qsizetype>(refs.count));
    for (uint64_t i = 0; i < refs.count; ++i) {
        uint64_t child = 0;
        if (!m_uidAt(refs, i, child))
            return m_fail(QStringLiteral("array %1 holds something that is not a UID").arg(uid));
        QVariant item;
        if (!m_child(child, depth, item, height))
            return false;
        list.append(std::move(item));
    }
    out = QVariant(std::move(list));
    return true;
}

bool ArchiveReader::m_decodeDictionary(const Object& record, uint64_t uid, int depth, QVariant& out,
                                       int& height)
{
    Object keys;
    Object refs;
    if (!m_field(record, uid, "NS.keys", Type::Array, keys) ||
        !m_field(record, uid, "NS.objects", Type::Array, refs))
        return false;
    const uint64_t count = keys.count;
    if (refs.count != count)
        return m_fail(
            QStringLiteral("dictionary %1 has %2 keys for %3 values").arg(uid).arg(count).arg(refs.count));
    QVariantMap map;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t keyUid = 0;
        uint64_t valueUid = 0;
        if (!m_uidAt(keys, i, keyUid) || !m_uidAt(refs, i, valueUid))
            return m_fail(QStringLiteral("dictionary %1 holds something that is not a UID").arg(uid));
        QVariant key;
        if (!m_child(keyUid, depth, key, height))
            return false;
        if (key.typeId() != QMetaType::QString)
            return m_fail(QStringLiteral("dictionary %1 has a key that is not a string").arg(uid));
        QVariant value;
        if (!m_child(valueUid, depth, value, height))
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
    auto fail = [error](const QString& reason) -> std::optional<QVariant> {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    if (data.isEmpty())
        return fail(QStringLiteral("keyed archive is empty"));
    if (data.size() > std::numeric_limits<int32_t>::max())
        return fail(QStringLiteral("keyed archive is too large"));
    // An XML archive (as the original platform may write one) is read as a
    // property list and read on in its binary form: one reader serves both.
    QByteArray binary = data;
    QString reason;
    if (!BinaryPlistReader::isBinary(data)) {
        const std::optional<QVariant> plist = PropertyList::fromData(data, &reason);
        binary = plist ? PropertyList::toData(*plist, PropertyList::Format::Binary) : QByteArray();
        if (binary.isEmpty())
            return fail(QStringLiteral("keyed archive is not a property list (%1)").arg(reason));
    }
    BinaryPlistReader plist;
    if (!plist.open(binary, &reason))
        return fail(QStringLiteral("keyed archive is not a property list (%1)").arg(reason));

    ArchiveReader reader(plist, data.size());
    uint64_t rootUid = 0;
    QVariant root;
    if (!reader.open(rootUid) || !reader.decode(rootUid, 0, root))
        return fail(reader.error());
    return root;
}
