#include "platform/PropertyList.h"

#include "platform/BinaryPlistBuilder.h"
#include "platform/BinaryPlistReader.h"
#include "platform/PlistNode.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>

#include <plist/plist.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

// Deeper trees are refused rather than walked: a hostile file must not
// exhaust the stack.
constexpr int kMaxDepth = 512;

bool toVariant(plist_t node, QVariant& out, int depth)
{
    if (!node || depth > kMaxDepth)
        return false;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        out = QVariant(value != 0);
        return true;
    }
    case PLIST_UINT: {
        // libplist keeps every integer as 64 unsigned bits; the plist integers
        // the agent writes are signed.
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        out = QVariant(static_cast<qlonglong>(value));
        return true;
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        out = QVariant(value);
        return true;
    }
    case PLIST_STRING: {
        uint64_t length = 0;
        const char* value = plist_get_string_ptr(node, &length);
        out = QVariant(QString::fromUtf8(value ? value : "", static_cast<qsizetype>(length)));
        return true;
    }
    case PLIST_KEY: {
        char* value = nullptr;
        plist_get_key_val(node, &value);
        out = QVariant(QString::fromUtf8(value ? value : ""));
        free(value);
        return true;
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* value = plist_get_data_ptr(node, &length);
        out = QVariant(QByteArray(value, static_cast<qsizetype>(length)));
        return true;
    }
    case PLIST_DATE: {
        int32_t sec = 0;
        int32_t usec = 0;
        plist_get_date_val(node, &sec, &usec);
        const qint64 ms = plistDateMSecs(sec, usec);
        out = QVariant(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC));
        return true;
    }
    case PLIST_UID: {
        uint64_t value = 0;
        plist_get_uid_val(node, &value);
        out = QVariant::fromValue(PlistUid{value});
        return true;
    }
    case PLIST_ARRAY: {
        // libplist 2.2 finds the n-th element of an array it parsed by
        // walking from the first, so indexing would make a long array
        // quadratic; its iterator steps from one element to the next.
        QVariantList list;
        list.reserve(plist_array_get_size(node));
        plist_array_iter it = nullptr;
        plist_array_new_iter(node, &it);
        for (;;) {
            plist_t element = nullptr;
            plist_array_next_item(node, it, &element);
            if (!element)
                break;
            QVariant item;
            if (!toVariant(element, item, depth + 1)) {
                free(it);
                return false;
            }
            list.append(std::move(item));
        }
        free(it);
        out = QVariant(std::move(list));
        return true;
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &key, &value);
            if (!key)
                break;
            QVariant item;
            const bool ok = toVariant(value, item, depth + 1);
            const QString name = QString::fromUtf8(key);
            free(key);
            if (!ok) {
                free(it);
                return false;
            }
            map.insert(name, std::move(item));
        }
        free(it);
        out = QVariant(std::move(map));
        return true;
    }
    default:
        return false;
    }
}

// Reads a binary property list without libplist's tree. An object that is
// referred to more than once is read once and shared, so a file that refers
// to one object many times stays linear to read; a reference back into an
// object being read is a cycle and refused.
//
// A decoder that only checks walks the same objects in the same order and
// refuses exactly what a building one refuses, but makes no value: whether
// bytes would read can be known without the memory their tree would take.
class BinaryDecoder
{
public:
    enum class Mode { Build, CheckOnly };
    explicit BinaryDecoder(const BinaryPlistReader& reader, Mode mode = Mode::Build)
        : m_reader(reader)
        , m_build(mode == Mode::Build)
        , m_values(m_build ? reader.objectCount() : 0)
        , m_states(reader.objectCount(), State::New)
    {
    }
    bool decode(uint64_t index, int depth, QVariant& out);

private:
    enum class State : uint8_t { New, Decoding, Done };

    bool m_decodeObject(const BinaryPlistReader::Object& object, int depth, QVariant& out);

    const BinaryPlistReader& m_reader;
    const bool m_build;
    std::vector<QVariant> m_values;
    std::vector<State> m_states;
};

bool BinaryDecoder::decode(uint64_t index, int depth, QVariant& out)
{
    if (depth > kMaxDepth || index >= m_states.size())
        return false;
    switch (m_states[index]) {
    case State::Done:
        if (m_build)
            out = m_values[index];
        return true;
    case State::Decoding:
        return false;
    case State::New:
        break;
    }
    BinaryPlistReader::Object object;
    if (!m_reader.object(index, object))
        return false;
    m_states[index] = State::Decoding;
    if (!m_decodeObject(object, depth, out))
        return false;
    if (m_build)
        m_values[index] = out;
    m_states[index] = State::Done;
    return true;
}

bool BinaryDecoder::m_decodeObject(const BinaryPlistReader::Object& object, int depth, QVariant& out)
{
    using Type = BinaryPlistReader::Type;
    if (!m_build && object.type != Type::Array && object.type != Type::Dictionary)
        return true;
    switch (object.type) {
    case Type::Boolean:
        out = QVariant(object.value != 0);
        return true;
    case Type::Integer:
        // The plist integers the agent writes are signed.
        out = QVariant(static_cast<qlonglong>(object.value));
        return true;
    case Type::Real:
        out = QVariant(object.real);
        return true;
    case Type::Date:
        out = QVariant(QDateTime::fromMSecsSinceEpoch(BinaryPlistReader::dateMSecs(object), Qt::UTC));
        return true;
    case Type::Data:
        out = QVariant(BinaryPlistReader::data(object));
        return true;
    case Type::String:
        out = QVariant(BinaryPlistReader::text(object));
        return true;
    case Type::Uid:
        out = QVariant::fromValue(PlistUid{object.value});
        return true;
    case Type::Array: {
        QVariantList list;
        if (m_build)
            list.reserve(static_cast<qsizetype>(object.count));
        for (uint64_t i = 0; i < object.count; ++i) {
            uint64_t index = 0;
            QVariant item;
            if (!m_reader.reference(object, i, index) || !decode(index, depth + 1, item))
                return false;
            if (m_build)
                list.append(std::move(item));
        }
        if (m_build)
            out = QVariant(std::move(list));
        return true;
    }
    case Type::Dictionary: {
        QVariantMap map;
        for (uint64_t i = 0; i < object.count; ++i) {
            uint64_t keyIndex = 0;
            uint64_t valueIndex = 0;
            BinaryPlistReader::Object key;
            QVariant value;
            // Keys are strings, read where they lie: only the value nests.
            if (!m_reader.reference(object, i, keyIndex) || !m_reader.object(keyIndex, key) ||
                key.type != Type::String || !m_reader.reference(object, object.count + i, valueIndex) ||
                !decode(valueIndex, depth + 1, value))
                return false;
            if (m_build)
                map.insert(BinaryPlistReader::text(key), std::move(value));
        }
        if (m_build)
            out = QVariant(std::move(map));
        return true;
    }
    }
    return false;
}

plist_t fromVariant(const QVariant& value, int depth)
{
    if (depth > kMaxDepth)
        return nullptr;
    switch (PropertyList::kindOf(value)) {
    case PropertyList::Kind::Uid:
        return plist_new_uid(value.value<PlistUid>().value);
    case PropertyList::Kind::Boolean:
        return plist_new_bool(value.toBool() ? 1 : 0);
    case PropertyList::Kind::Integer:
        return plist_new_uint(static_cast<uint64_t>(value.toLongLong()));
    case PropertyList::Kind::UnsignedInteger:
        return plist_new_uint(value.toULongLong());
    case PropertyList::Kind::Real:
        return plist_new_real(value.toDouble());
    case PropertyList::Kind::String:
        return plist_new_string(value.toString().toUtf8().constData());
    case PropertyList::Kind::Data: {
        const QByteArray data = value.toByteArray();
        return plist_new_data(data.constData(), static_cast<uint64_t>(data.size()));
    }
    case PropertyList::Kind::Date: {
        const qint64 ms = value.toDateTime().toMSecsSinceEpoch() - kPlistEpochOffset * 1000;
        const qint64 sec = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
        const qint64 usec = (ms - sec * 1000) * 1000;
        return plist_new_date(static_cast<int32_t>(sec), static_cast<int32_t>(usec));
    }
    case PropertyList::Kind::Array:
    case PropertyList::Kind::StringArray: {
        plist_t array = plist_new_array();
        for (const QVariant& item : value.toList()) {
            plist_t node = fromVariant(item, depth + 1);
            if (!node) {
                plist_free(array);
                return nullptr;
            }
            plist_array_append_item(array, node);
        }
        return array;
    }
    case PropertyList::Kind::Dictionary: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            plist_t node = fromVariant(it.value(), depth + 1);
            if (!node) {
                plist_free(dict);
                return nullptr;
            }
            plist_dict_set_item(dict, it.key().toUtf8().constData(), node);
        }
        return dict;
    }
    case PropertyList::Kind::Unsupported:
        return nullptr;
    }
    return nullptr;
}

// Writes a QVariant tree straight into the binary form, without building a
// libplist tree first. Equal strings and numbers are written once and
// shared (BinaryPlistBuilder), as other writers of the format do: a rule set
// repeats the same few keys and answers in every record, and this keeps it
// small on the bus.
class BinaryEncoder
{
public:
    bool encode(const QVariant& value, int depth, uint32_t& object);
    QByteArray finish(uint32_t top) const { return m_plist.finish(top); }

private:
    bool m_encodeList(const QVariantList& list, int depth, uint32_t& object);
    bool m_encodeMap(const QVariantMap& map, int depth, uint32_t& object);

    BinaryPlistBuilder m_plist;
};

bool BinaryEncoder::m_encodeList(const QVariantList& list, int depth, uint32_t& object)
{
    std::vector<uint32_t> items;
    items.reserve(static_cast<size_t>(list.size()));
    for (const QVariant& item : list) {
        uint32_t child = 0;
        if (!encode(item, depth + 1, child))
            return false;
        items.push_back(child);
    }
    object = m_plist.array(items);
    return true;
}

bool BinaryEncoder::m_encodeMap(const QVariantMap& map, int depth, uint32_t& object)
{
    // The dictionary comes before its contents, so the top object is the first.
    object = m_plist.reserve();
    std::vector<uint32_t> keys;
    std::vector<uint32_t> values;
    keys.reserve(static_cast<size_t>(map.size()));
    values.reserve(static_cast<size_t>(map.size()));
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        uint32_t child = 0;
        if (!encode(it.value(), depth + 1, child))
            return false;
        keys.push_back(m_plist.string(it.key()));
        values.push_back(child);
    }
    m_plist.setDictionary(object, keys, values);
    return true;
}

bool BinaryEncoder::encode(const QVariant& value, int depth, uint32_t& object)
{
    if (depth > kMaxDepth)
        return false;
    switch (PropertyList::kindOf(value)) {
    case PropertyList::Kind::Uid:
        object = m_plist.writer().addUid(value.value<PlistUid>().value);
        return true;
    case PropertyList::Kind::Boolean:
        object = m_plist.boolean(value.toBool());
        return true;
    case PropertyList::Kind::Integer:
        object = m_plist.integer(value.toLongLong());
        return true;
    case PropertyList::Kind::UnsignedInteger:
        object = m_plist.unsignedInteger(value.toULongLong());
        return true;
    case PropertyList::Kind::Real:
        object = m_plist.real(value.toDouble());
        return true;
    case PropertyList::Kind::String:
        object = m_plist.string(*static_cast<const QString*>(value.constData()));
        return true;
    case PropertyList::Kind::Data:
        object = m_plist.writer().addData(*static_cast<const QByteArray*>(value.constData()));
        return true;
    case PropertyList::Kind::Date:
        object = m_plist.writer().addDate(*static_cast<const QDateTime*>(value.constData()));
        return true;
    case PropertyList::Kind::Array:
        return m_encodeList(*static_cast<const QVariantList*>(value.constData()), depth, object);
    case PropertyList::Kind::StringArray: {
        const QStringList& list = *static_cast<const QStringList*>(value.constData());
        // Its strings sit one level down, like any array's elements.
        if (!list.isEmpty() && depth + 1 > kMaxDepth)
            return false;
        object = m_plist.strings(list);
        return true;
    }
    case PropertyList::Kind::Dictionary:
        return m_encodeMap(*static_cast<const QVariantMap*>(value.constData()), depth, object);
    case PropertyList::Kind::Unsupported:
        return false;
    }
    return false;
}

} // namespace

PropertyList::Kind PropertyList::kindOf(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<PlistUid>())
        return Kind::Uid;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return Kind::Boolean;
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
        return Kind::Integer;
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return Kind::UnsignedInteger;
    case QMetaType::Double:
    case QMetaType::Float:
        return Kind::Real;
    case QMetaType::QString:
        return Kind::String;
    case QMetaType::QByteArray:
        return Kind::Data;
    case QMetaType::QDateTime:
        return Kind::Date;
    case QMetaType::QVariantList:
        return Kind::Array;
    case QMetaType::QStringList:
        return Kind::StringArray;
    case QMetaType::QVariantMap:
        return Kind::Dictionary;
    default:
        return Kind::Unsupported;
    }
}

std::optional<bool> PropertyList::holdsDictionary(const QByteArray& data, QString* error)
{
    if (!BinaryPlistReader::isBinary(data) || data.size() > std::numeric_limits<int32_t>::max()) {
        const std::optional<QVariant> value = fromData(data, error);
        if (!value)
            return std::nullopt;
        return value->typeId() == QMetaType::QVariantMap;
    }
    BinaryPlistReader reader;
    if (!reader.open(data)) {
        if (error)
            *error = QStringLiteral("not a property list");
        return std::nullopt;
    }
    QVariant unused;
    BinaryPlistReader::Object top;
    if (!BinaryDecoder(reader, BinaryDecoder::Mode::CheckOnly).decode(reader.topObject(), 0, unused) ||
        !reader.object(reader.topObject(), top)) {
        if (error)
            *error = QStringLiteral(
                "not a property list, or one that holds an unknown or too deeply nested value");
        return std::nullopt;
    }
    return top.type == BinaryPlistReader::Type::Dictionary;
}

std::optional<QVariant> PropertyList::fromData(const QByteArray& data, QString* error)
{
    auto fail = [error](const char* reason) -> std::optional<QVariant> {
        if (error)
            *error = QString::fromLatin1(reason);
        return std::nullopt;
    };
    if (data.isEmpty())
        return fail("empty property list");
    if (data.size() > std::numeric_limits<int32_t>::max())
        return fail("property list too large");
    if (BinaryPlistReader::isBinary(data)) {
        BinaryPlistReader reader;
        QVariant value;
        if (!reader.open(data))
            return fail("not a property list");
        if (!BinaryDecoder(reader).decode(reader.topObject(), 0, value))
            return fail("not a property list, or one that holds an unknown or too deeply nested value");
        return value;
    }
    plist_t raw = nullptr;
    plist_from_memory(data.constData(), static_cast<uint32_t>(data.size()), &raw);
    PlistPtr root(raw);
    if (!root)
        return fail("not a property list");
    QVariant value;
    if (!toVariant(root.get(), value, 0))
        return fail("property list holds an unknown or too deeply nested value");
    return value;
}

QByteArray PropertyList::toData(const QVariant& value, Format format)
{
    if (format == Format::Binary) {
        BinaryEncoder encoder;
        uint32_t top = 0;
        if (!encoder.encode(value, 0, top))
            return {};
        return encoder.finish(top);
    }
    PlistPtr root(fromVariant(value, 0));
    if (!root)
        return {};
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &bytes, &length);
    QByteArray result(bytes, static_cast<qsizetype>(length));
    plist_to_xml_free(bytes);
    return result;
}

std::optional<QVariant> PropertyList::readFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    return fromData(file.readAll(), error);
}

bool PropertyList::writeFile(const QString& path, const QVariant& value, Format format, QString* error)
{
    const QByteArray data = toData(value, format);
    if (data.isEmpty()) {
        if (error)
            *error = QStringLiteral("value cannot be written as a property list");
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
