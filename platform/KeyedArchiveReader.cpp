#include "platform/KeyedArchiveReader.h"

#include "platform/PropertyList.h"
#include "platform/ReadBounds.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <limits>

namespace {

using Type = BinaryPlistReader::Type;

constexpr char kArchiverName[] = "NSKeyedArchiver";
// The plist type of each plain kind.
constexpr Type kPlainTypes[] = {Type::Boolean, Type::Integer, Type::Real, Type::String, Type::Data};

bool isContainer(KeyedArchiveReader::Kind kind)
{
    return kind == KeyedArchiveReader::Kind::Array || kind == KeyedArchiveReader::Kind::Dictionary;
}

} // namespace

bool KeyedArchiveReader::fail(const QString& reason)
{
    if (m_error.isEmpty())
        m_error = reason;
    return false;
}

bool KeyedArchiveReader::m_malformed()
{
    return fail(QStringLiteral("keyed archive is not a well-formed property list"));
}

bool KeyedArchiveReader::m_lookUp(const Object& dictionary, QLatin1StringView key, Object& value) const
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
        return m_plist.reference(dictionary, dictionary.count + i, valueIndex) &&
               m_plist.object(valueIndex, value);
    }
    return false;
}

// Binary archives carry UIDs as their own type; XML ones as {"CF$UID": n}.
bool KeyedArchiveReader::m_uidOf(const Object& node, uint64_t& uid) const
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

bool KeyedArchiveReader::uidAt(const Object& refs, uint64_t n, uint64_t& uid) const
{
    uint64_t index = 0;
    Object node;
    return m_plist.reference(refs, n, index) && m_plist.object(index, node) && m_uidOf(node, uid);
}

bool KeyedArchiveReader::open(const QByteArray& data)
{
    if (data.isEmpty())
        return fail(QStringLiteral("keyed archive is empty"));
    if (data.size() > std::numeric_limits<int32_t>::max())
        return fail(QStringLiteral("keyed archive is too large"));
    // An XML archive (as the original platform may write one) is read as a
    // property list and read on in its binary form: one reader serves both.
    QByteArray binary = data;
    if (!BinaryPlistReader::isBinary(data)) {
        const std::optional<QVariant> plist = PropertyList::fromData(data);
        binary = plist ? PropertyList::toData(*plist, PropertyList::Format::Binary) : QByteArray();
        if (binary.isEmpty())
            return fail(QStringLiteral("keyed archive is not a property list"));
    }
    if (!m_plist.open(binary))
        return fail(QStringLiteral("keyed archive is not a property list"));
    m_binary = binary;
    m_inputSize = data.size();

    Object archive;
    if (!m_plist.object(m_plist.topObject(), archive))
        return m_malformed();
    if (archive.type != Type::Dictionary)
        return fail(QStringLiteral("not a keyed archive: the property list is not a dictionary"));
    Object archiver;
    if (!m_lookUp(archive, QLatin1StringView("$archiver"), archiver) ||
        !BinaryPlistReader::textEquals(archiver, QLatin1StringView(kArchiverName)))
        return fail(QStringLiteral("not a keyed archive: \"$archiver\" is missing or unknown"));
    Object top;
    if (!m_lookUp(archive, QLatin1StringView("$top"), top) || top.type != Type::Dictionary)
        return fail(QStringLiteral("keyed archive has no \"$top\""));
    Object root;
    if (!m_lookUp(top, QLatin1StringView("root"), root) || !m_uidOf(root, m_rootUid))
        return fail(QStringLiteral("keyed archive has no root object in \"$top\""));
    if (!m_lookUp(archive, QLatin1StringView("$objects"), m_objects) || m_objects.type != Type::Array)
        return fail(QStringLiteral("keyed archive has no \"$objects\""));
    if (m_rootUid == 0)
        return fail(QStringLiteral("keyed archive's root object is $null"));
    return true;
}

bool KeyedArchiveReader::validUid(uint64_t uid)
{
    if (uid == 0)
        return fail(QStringLiteral("malformed keyed archive: $null inside a container"));
    if (uid >= m_objects.count)
        return fail(
            QStringLiteral("UID %1 is outside the archive's %2 objects").arg(uid).arg(m_objects.count));
    return true;
}

bool KeyedArchiveReader::m_classOf(uint64_t uid, const Object& classRef, bool found, Kind& kind)
{
    uint64_t classUid = 0;
    if (!found || !m_uidOf(classRef, classUid))
        return fail(QStringLiteral("object %1 has no \"$class\"").arg(uid));
    for (const auto& [known, knownKind] : m_classes) {
        if (known == classUid) {
            kind = knownKind;
            return true;
        }
    }
    if (classUid == 0 || classUid >= m_objects.count)
        return fail(
            QStringLiteral("object %1 refers to class %2, outside the archive").arg(uid).arg(classUid));
    uint64_t classIndex = 0;
    Object classRecord;
    if (!m_plist.reference(m_objects, classUid, classIndex) || !m_plist.object(classIndex, classRecord))
        return m_malformed();
    Object name;
    if (!m_lookUp(classRecord, QLatin1StringView("$classname"), name) || name.type != Type::String)
        return fail(QStringLiteral("object %1 has a malformed class record").arg(uid));
    const auto is = [&name](const char* className) {
        return BinaryPlistReader::textEquals(name, QLatin1StringView(className));
    };
    if (is("NSArray") || is("NSMutableArray"))
        kind = Kind::Array;
    else if (is("NSDictionary") || is("NSMutableDictionary"))
        kind = Kind::Dictionary;
    else if (is("NSString") || is("NSMutableString"))
        kind = Kind::String;
    else if (is("NSData") || is("NSMutableData"))
        kind = Kind::Data;
    else
        return fail(QStringLiteral("class \"%1\" is not accepted in a keyed archive")
                        .arg(BinaryPlistReader::text(name)));
    m_classes.emplace_back(classUid, kind);
    return true;
}

// Archivers write each field name once and every record refers to it, so a
// few names stand for every key of every record.
int KeyedArchiveReader::m_fieldOf(uint64_t keyIndex, const QLatin1StringView* names, int count)
{
    for (const auto& [index, field] : m_fieldNames)
        if (index == keyIndex)
            return field;
    Object key;
    int field = -1;
    if (m_plist.object(keyIndex, key))
        for (int f = 0; f < count && field < 0; ++f)
            if (BinaryPlistReader::textEquals(key, names[f]))
                field = f;
    if (m_fieldNames.size() < kFieldNamesKept)
        m_fieldNames.emplace_back(keyIndex, field);
    return field;
}

bool KeyedArchiveReader::item(uint64_t uid, Item& out)
{
    if (uid < m_checkedCount && m_checked[uid].state == State::Done) {
        const Checked& checked = m_checked[uid];
        const uchar* base = reinterpret_cast<const uchar*>(m_binary.constData());
        out.kind = checked.kind;
        switch (checked.kind) {
        case Kind::Array:
        case Kind::Dictionary:
            out.keys.type = out.objects.type = Type::Array;
            out.keys.content = base + checked.content;
            out.objects.content = base + checked.objects;
            out.keys.count = out.objects.count = checked.count;
            return true;
        default:
            out.value.type = kPlainTypes[size_t(checked.kind)];
            out.value.content = base + checked.content;
            out.value.count = checked.count;
            out.value.wide = checked.wide;
            out.value.value = checked.bits;
            out.value.real = std::bit_cast<double>(checked.bits);
            return true;
        }
    }
    uint64_t index = 0;
    Object node;
    if (!m_plist.reference(m_objects, uid, index) || !m_plist.object(index, node))
        return m_malformed();
    out = Item();
    if (node.type != Type::Dictionary) {
        const auto plain = std::find(std::begin(kPlainTypes), std::end(kPlainTypes), node.type);
        if (plain == std::end(kPlainTypes))
            return fail(QStringLiteral("object %1 is not an archived object").arg(uid));
        out.kind = static_cast<Kind>(plain - std::begin(kPlainTypes));
        out.value = node;
        return true;
    }

    // A class record: its fields in one pass over its keys, the first of
    // duplicate keys counting.
    enum Field { Class, Keys, Objects, String, Data, FieldCount };
    static constexpr QLatin1StringView names[FieldCount] = {
        QLatin1StringView("$class"), QLatin1StringView("NS.keys"), QLatin1StringView("NS.objects"),
        QLatin1StringView("NS.string"), QLatin1StringView("NS.data")};
    Object fields[FieldCount];
    // Whether each key is there, and whether its value could be read.
    bool found[FieldCount] = {};
    bool readable[FieldCount] = {};
    for (uint64_t i = 0; i < node.count; ++i) {
        uint64_t keyIndex = 0;
        if (!m_plist.reference(node, i, keyIndex))
            continue;
        const int f = m_fieldOf(keyIndex, names, FieldCount);
        if (f < 0 || found[f])
            continue;
        uint64_t valueIndex = 0;
        found[f] = true;
        readable[f] =
            m_plist.reference(node, node.count + i, valueIndex) && m_plist.object(valueIndex, fields[f]);
    }
    const auto field = [&](Field f, Type type, Object& value) {
        if (!readable[f] || fields[f].type != type)
            return fail(QStringLiteral("object %1 has no valid \"%2\"").arg(uid).arg(names[f]));
        value = fields[f];
        return true;
    };
    if (!m_classOf(uid, fields[Class], readable[Class], out.kind))
        return false;
    switch (out.kind) {
    case Kind::Array:
        return field(Objects, Type::Array, out.objects);
    case Kind::Dictionary:
        if (!field(Keys, Type::Array, out.keys) || !field(Objects, Type::Array, out.objects))
            return false;
        if (out.objects.count != out.keys.count)
            return fail(QStringLiteral("dictionary %1 has %2 keys for %3 values")
                            .arg(uid)
                            .arg(out.keys.count)
                            .arg(out.objects.count));
        return true;
    case Kind::String:
        return field(String, Type::String, out.value);
    case Kind::Data:
        return field(Data, Type::Data, out.value);
    default:
        return false;
    }
}

QVariant KeyedArchiveReader::plainValue(const Item& item)
{
    switch (item.kind) {
    case Kind::Boolean:
        return QVariant(item.value.value != 0);
    case Kind::Integer:
        // Archived numbers are signed.
        return QVariant(static_cast<qlonglong>(item.value.value));
    case Kind::Real:
        return QVariant(item.value.real);
    case Kind::String:
        return QVariant(BinaryPlistReader::text(item.value));
    case Kind::Data:
        return QVariant(BinaryPlistReader::data(item.value));
    default:
        return {};
    }
}

bool KeyedArchiveReader::m_addValues(uint64_t& total, uint64_t more)
{
    total = more > m_maxValues - std::min(total, m_maxValues) ? m_maxValues + 1 : total + more;
    if (total > m_maxValues)
        return fail(QStringLiteral("keyed archive holds too many values"));
    return true;
}

bool KeyedArchiveReader::check()
{
    m_maxValues = ReadBounds::maxValues(m_inputSize);
    m_checkedCount = m_objects.count;
    m_checked.reset(static_cast<Checked*>(std::calloc(m_checkedCount, sizeof(Checked))));
    m_heights.reset(static_cast<uint16_t*>(std::calloc(m_checkedCount, sizeof(uint16_t))));
    if (m_checkedCount && (!m_checked || !m_heights))
        return fail(QStringLiteral("keyed archive is too large"));
    uint64_t values = 0;
    int height = 0;
    return m_check(m_rootUid, 0, values, height);
}

// The walk unarchive makes, in its order so that the same first fault is
// reported, building nothing.
bool KeyedArchiveReader::m_check(uint64_t uid, int depth, uint64_t& values, int& height)
{
    if (!validUid(uid))
        return false;
    switch (m_checked[uid].state) {
    case State::Done:
        values = isContainer(m_checked[uid].kind) ? m_checked[uid].bits : 1;
        height = m_heights[uid];
        if (depth + height > ReadBounds::kMaxDepth)
            return fail(QStringLiteral("keyed archive is nested too deeply"));
        return true;
    case State::Checking:
        return fail(QStringLiteral("object %1 contains itself").arg(uid));
    case State::New:
        break;
    }
    if (depth > ReadBounds::kMaxDepth)
        return fail(QStringLiteral("keyed archive is nested too deeply"));
    Item it;
    if (!item(uid, it))
        return false;
    m_checked[uid].state = State::Checking;
    uint64_t total = 1;
    int below = 0;
    int childHeight = 0;
    if (it.kind == Kind::Array) {
        for (uint64_t i = 0; i < it.objects.count; ++i) {
            uint64_t child = 0;
            uint64_t childValues = 0;
            if (!uidAt(it.objects, i, child))
                return fail(QStringLiteral("array %1 holds something that is not a UID").arg(uid));
            if (!m_check(child, depth + 1, childValues, childHeight) || !m_addValues(total, childValues))
                return false;
            below = std::max(below, childHeight + 1);
        }
    } else if (it.kind == Kind::Dictionary) {
        for (uint64_t i = 0; i < it.keys.count; ++i) {
            uint64_t keyUid = 0;
            uint64_t valueUid = 0;
            uint64_t keyValues = 0;
            uint64_t valueValues = 0;
            if (!uidAt(it.keys, i, keyUid) || !uidAt(it.objects, i, valueUid))
                return fail(QStringLiteral("dictionary %1 holds something that is not a UID").arg(uid));
            if (!m_check(keyUid, depth + 1, keyValues, childHeight))
                return false;
            if (m_checked[keyUid].kind != Kind::String)
                return fail(QStringLiteral("dictionary %1 has a key that is not a string").arg(uid));
            if (!m_check(valueUid, depth + 1, valueValues, childHeight) || !m_addValues(total, keyValues) ||
                !m_addValues(total, valueValues))
                return false;
            below = std::max(below, childHeight + 1);
        }
    }
    Checked& checked = m_checked[uid];
    const uchar* base = reinterpret_cast<const uchar*>(m_binary.constData());
    checked.kind = it.kind;
    if (isContainer(it.kind)) {
        checked.bits = total;
        checked.content = static_cast<uint32_t>(it.keys.content ? it.keys.content - base : 0);
        checked.objects = static_cast<uint32_t>(it.objects.content - base);
        checked.count = static_cast<uint32_t>(it.objects.count);
    } else {
        checked.content = static_cast<uint32_t>(it.value.content ? it.value.content - base : 0);
        checked.count = static_cast<uint32_t>(it.value.count);
        checked.wide = it.value.wide;
        checked.bits = it.kind == Kind::Real ? std::bit_cast<uint64_t>(it.value.real) : it.value.value;
    }
    checked.state = State::Done;
    // The first time an object is met it counts as much as every later time.
    values = isContainer(it.kind) ? total : 1;
    m_heights[uid] = static_cast<uint16_t>(below);
    height = below;
    return true;
}
