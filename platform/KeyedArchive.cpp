#include "platform/KeyedArchive.h"

#include "platform/BinaryPlistWriter.h"
#include "platform/PlistNode.h"
#include "platform/PropertyList.h"

#include <QHash>
#include <QVariantList>
#include <QVariantMap>

#include <plist/plist.h>

#include <bit>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace {

// Configuration trees are a few levels deep; anything near this bound is a
// hostile or broken file, and the bound keeps the recursion off the end of
// the stack. Reading and writing share it so that whatever we write reads back.
constexpr int kMaxDepth = 256;
constexpr uint64_t kArchiverVersion = 100000;
constexpr char kArchiverName[] = "NSKeyedArchiver";

// Arrays at least this long get an element index before they are walked.
constexpr uint32_t kIndexedArraySize = 100;

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

// libplist 2.2 finds the n-th element of an array it read from a file by
// walking a list, which makes a pass over "$objects" quadratic; an array that
// grew by an append keeps an index of its elements instead. One append,
// taken back at once, gives a long array that index.
void indexArray(plist_t array)
{
    const uint32_t count = plist_array_get_size(array);
    if (count < kIndexedArraySize)
        return;
    plist_array_append_item(array, plist_new_bool(0));
    plist_array_remove_item(array, count);
}

// Resolves an archive's object graph into a QVariant tree. Each object is
// decoded once and shared wherever its UID recurs, which keeps a file that
// refers to one object many times (legitimately or not) linear to read.
class ArchiveReader
{
public:
    bool open(plist_t archive, uint64_t& rootUid);
    bool decode(uint64_t uid, int depth, QVariant& out);
    const QString& error() const { return m_error; }

private:
    enum class ClassKind { Array, Dictionary, String, Data };
    enum class State : uint8_t { New, Decoding, Done };

    bool m_fail(const QString& reason);
    static bool m_uidOf(plist_t node, uint64_t& uid);
    bool m_classOf(plist_t record, uint64_t uid, ClassKind& kind);
    bool m_decodeRecord(plist_t record, uint64_t uid, int depth, QVariant& out);
    bool m_decodeArray(plist_t record, uint64_t uid, int depth, QVariant& out);
    bool m_decodeDictionary(plist_t record, uint64_t uid, int depth, QVariant& out);
    plist_t m_field(plist_t record, uint64_t uid, const char* key, plist_type type);

    std::vector<plist_t> m_objects;
    std::vector<QVariant> m_values;
    std::vector<State> m_states;
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

// Binary archives carry UIDs as their own type; XML ones as {"CF$UID": n}.
bool ArchiveReader::m_uidOf(plist_t node, uint64_t& uid)
{
    if (!node)
        return false;
    switch (plist_get_node_type(node)) {
    case PLIST_UID:
        plist_get_uid_val(node, &uid);
        return true;
    case PLIST_DICT: {
        if (plist_dict_get_size(node) != 1)
            return false;
        plist_t value = plist_dict_get_item(node, "CF$UID");
        if (!value || plist_get_node_type(value) != PLIST_UINT)
            return false;
        plist_get_uint_val(value, &uid);
        return true;
    }
    default:
        return false;
    }
}

bool ArchiveReader::open(plist_t archive, uint64_t& rootUid)
{
    if (plist_get_node_type(archive) != PLIST_DICT)
        return m_fail(QStringLiteral("not a keyed archive: the property list is not a dictionary"));
    plist_t archiver = plist_dict_get_item(archive, "$archiver");
    if (!archiver || plist_get_node_type(archiver) != PLIST_STRING ||
        plist_string_val_compare(archiver, kArchiverName) != 0)
        return m_fail(QStringLiteral("not a keyed archive: \"$archiver\" is missing or unknown"));
    plist_t top = plist_dict_get_item(archive, "$top");
    if (!top || plist_get_node_type(top) != PLIST_DICT)
        return m_fail(QStringLiteral("keyed archive has no \"$top\""));
    if (!m_uidOf(plist_dict_get_item(top, "root"), rootUid))
        return m_fail(QStringLiteral("keyed archive has no root object in \"$top\""));
    plist_t objects = plist_dict_get_item(archive, "$objects");
    if (!objects || plist_get_node_type(objects) != PLIST_ARRAY)
        return m_fail(QStringLiteral("keyed archive has no \"$objects\""));
    if (rootUid == 0)
        return m_fail(QStringLiteral("keyed archive's root object is $null"));

    indexArray(objects);
    const uint32_t count = plist_array_get_size(objects);
    m_objects.resize(count);
    for (uint32_t i = 0; i < count; ++i)
        m_objects[i] = plist_array_get_item(objects, i);
    m_values.resize(count);
    m_states.assign(count, State::New);
    return true;
}

plist_t ArchiveReader::m_field(plist_t record, uint64_t uid, const char* key, plist_type type)
{
    plist_t value = plist_dict_get_item(record, key);
    if (!value || plist_get_node_type(value) != type) {
        m_fail(QStringLiteral("object %1 has no valid \"%2\"").arg(uid).arg(QLatin1String(key)));
        return nullptr;
    }
    return value;
}

bool ArchiveReader::m_classOf(plist_t record, uint64_t uid, ClassKind& kind)
{
    uint64_t classUid = 0;
    if (!m_uidOf(plist_dict_get_item(record, "$class"), classUid))
        return m_fail(QStringLiteral("object %1 has no \"$class\"").arg(uid));
    for (const auto& [known, knownKind] : m_classes) {
        if (known == classUid) {
            kind = knownKind;
            return true;
        }
    }
    if (classUid == 0 || classUid >= m_objects.size())
        return m_fail(
            QStringLiteral("object %1 refers to class %2, outside the archive").arg(uid).arg(classUid));
    plist_t classRecord = m_objects[classUid];
    plist_t name = plist_get_node_type(classRecord) == PLIST_DICT
                       ? plist_dict_get_item(classRecord, "$classname")
                       : nullptr;
    if (!name || plist_get_node_type(name) != PLIST_STRING)
        return m_fail(QStringLiteral("object %1 has a malformed class record").arg(uid));
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(name, &length);
    const QByteArray className(text, static_cast<qsizetype>(length));
    if (className == "NSArray" || className == "NSMutableArray")
        kind = ClassKind::Array;
    else if (className == "NSDictionary" || className == "NSMutableDictionary")
        kind = ClassKind::Dictionary;
    else if (className == "NSString" || className == "NSMutableString")
        kind = ClassKind::String;
    else if (className == "NSData" || className == "NSMutableData")
        kind = ClassKind::Data;
    else
        return m_fail(QStringLiteral("class \"%1\" is not accepted in a keyed archive")
                          .arg(QString::fromUtf8(className)));
    m_classes.emplace_back(classUid, kind);
    return true;
}

bool ArchiveReader::decode(uint64_t uid, int depth, QVariant& out)
{
    if (uid == 0)
        return m_fail(QStringLiteral("malformed keyed archive: $null inside a container"));
    if (uid >= m_objects.size())
        return m_fail(
            QStringLiteral("UID %1 is outside the archive's %2 objects").arg(uid).arg(m_objects.size()));
    switch (m_states[uid]) {
    case State::Done:
        out = m_values[uid];
        return true;
    case State::Decoding:
        return m_fail(QStringLiteral("object %1 contains itself").arg(uid));
    case State::New:
        break;
    }
    if (depth > kMaxDepth)
        return m_fail(QStringLiteral("keyed archive is nested too deeply"));

    plist_t node = m_objects[uid];
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        out = QVariant(value != 0);
        break;
    }
    case PLIST_UINT: {
        // libplist keeps integers as 64 unsigned bits; archived numbers are signed.
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        out = QVariant(static_cast<qlonglong>(value));
        break;
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        out = QVariant(value);
        break;
    }
    case PLIST_STRING: {
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        out = QVariant(QString::fromUtf8(text, static_cast<qsizetype>(length)));
        break;
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        out = QVariant(QByteArray(bytes, static_cast<qsizetype>(length)));
        break;
    }
    case PLIST_DICT:
        m_states[uid] = State::Decoding;
        if (!m_decodeRecord(node, uid, depth, out))
            return false;
        break;
    default:
        return m_fail(QStringLiteral("object %1 is not an archived object").arg(uid));
    }
    m_values[uid] = out;
    m_states[uid] = State::Done;
    return true;
}

bool ArchiveReader::m_decodeRecord(plist_t record, uint64_t uid, int depth, QVariant& out)
{
    ClassKind kind;
    if (!m_classOf(record, uid, kind))
        return false;
    switch (kind) {
    case ClassKind::Array:
        return m_decodeArray(record, uid, depth, out);
    case ClassKind::Dictionary:
        return m_decodeDictionary(record, uid, depth, out);
    case ClassKind::String: {
        plist_t text = m_field(record, uid, "NS.string", PLIST_STRING);
        if (!text)
            return false;
        uint64_t length = 0;
        const char* chars = plist_get_string_ptr(text, &length);
        out = QVariant(QString::fromUtf8(chars, static_cast<qsizetype>(length)));
        return true;
    }
    case ClassKind::Data: {
        plist_t data = m_field(record, uid, "NS.data", PLIST_DATA);
        if (!data)
            return false;
        uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(data, &length);
        out = QVariant(QByteArray(bytes, static_cast<qsizetype>(length)));
        return true;
    }
    }
    return false;
}

bool ArchiveReader::m_decodeArray(plist_t record, uint64_t uid, int depth, QVariant& out)
{
    plist_t refs = m_field(record, uid, "NS.objects", PLIST_ARRAY);
    if (!refs)
        return false;
    indexArray(refs);
    const uint32_t count = plist_array_get_size(refs);
    QVariantList list;
    list.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t child = 0;
        if (!m_uidOf(plist_array_get_item(refs, i), child))
            return m_fail(QStringLiteral("array %1 holds something that is not a UID").arg(uid));
        QVariant item;
        if (!decode(child, depth + 1, item))
            return false;
        list.append(std::move(item));
    }
    out = QVariant(std::move(list));
    return true;
}

bool ArchiveReader::m_decodeDictionary(plist_t record, uint64_t uid, int depth, QVariant& out)
{
    plist_t keys = m_field(record, uid, "NS.keys", PLIST_ARRAY);
    plist_t refs = keys ? m_field(record, uid, "NS.objects", PLIST_ARRAY) : nullptr;
    if (!refs)
        return false;
    indexArray(keys);
    indexArray(refs);
    const uint32_t count = plist_array_get_size(keys);
    if (plist_array_get_size(refs) != count)
        return m_fail(QStringLiteral("dictionary %1 has %2 keys for %3 values")
                          .arg(uid)
                          .arg(count)
                          .arg(plist_array_get_size(refs)));
    QVariantMap map;
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t keyUid = 0;
        uint64_t valueUid = 0;
        if (!m_uidOf(plist_array_get_item(keys, i), keyUid) ||
            !m_uidOf(plist_array_get_item(refs, i), valueUid))
            return m_fail(QStringLiteral("dictionary %1 holds something that is not a UID").arg(uid));
        QVariant key;
        if (!decode(keyUid, depth + 1, key))
            return false;
        if (key.typeId() != QMetaType::QString)
            return m_fail(QStringLiteral("dictionary %1 has a key that is not a string").arg(uid));
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
    auto fail = [error](const QString& reason) -> std::optional<QVariant> {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    if (data.isEmpty())
        return fail(QStringLiteral("keyed archive is empty"));
    if (data.size() > std::numeric_limits<int32_t>::max())
        return fail(QStringLiteral("keyed archive is too large"));
    plist_t raw = nullptr;
    plist_from_memory(data.constData(), static_cast<uint32_t>(data.size()), &raw);
    PlistPtr archive(raw);
    if (!archive)
        return fail(QStringLiteral("keyed archive is not a property list"));

    ArchiveReader reader;
    uint64_t rootUid = 0;
    QVariant root;
    if (!reader.open(archive.get(), rootUid) || !reader.decode(rootUid, 0, root))
        return fail(reader.error());
    return root;
}
