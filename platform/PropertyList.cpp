#include "platform/PropertyList.h"

#include "platform/BinaryPlistBuilder.h"
#include "platform/BinaryPlistReader.h"
#include "platform/PlistNode.h"
#include "platform/ReadBounds.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>

#include <plist/plist.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr int kMaxDepth = ReadBounds::kMaxDepth;

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
// Sharing keeps the reading cheap, not what comes after it: whoever walks the
// result (the loader, a writer) meets a shared object once for every place it
// is referred from. So each value counts as often as it appears in the tree
// it stands for, and a file whose tree would be larger than its size allows,
// or deeper than the bound, is refused.
//
// A decoder that only checks walks the same objects in the same order and
// refuses exactly what a building one refuses, but makes no value: whether
// bytes would read can be known without the memory their tree would take.
class BinaryDecoder
{
public:
    enum class Mode { Build, CheckOnly };
    BinaryDecoder(const BinaryPlistReader& reader, qint64 inputBytes, Mode mode = Mode::Build)
        : m_reader(reader)
        , m_build(mode == Mode::Build)
        , m_inputBytes(inputBytes)
        , m_maxValues(ReadBounds::maxValues(inputBytes))
        , m_values(m_build ? reader.objectCount() : 0)
        , m_states(reader.objectCount(), State::New)
        , m_sizes(reader.objectCount(), 0)
        , m_heights(reader.objectCount(), 0)
    {
    }
    bool decode(uint64_t index, int depth, QVariant& out);
    // Why decode() refused, when it was a bound rather than damage.
    const QString& boundError() const { return m_boundError; }

private:
    enum class State : uint8_t { New, Decoding, Done };

    bool m_decodeObject(const BinaryPlistReader::Object& object, int depth, QVariant& out, int& height);
    bool m_child(uint64_t index, int depth, QVariant& out, int& height);
    bool m_spend(uint64_t values);
    bool m_tooDeep();

    const BinaryPlistReader& m_reader;
    const bool m_build;
    const qint64 m_inputBytes;
    const uint64_t m_maxValues;
    uint64_t m_made = 0;
    std::vector<QVariant> m_values;
    std::vector<State> m_states;
    // Per object read: the values of the tree it stands for, and how many
    // levels lie below it.
    std::vector<uint64_t> m_sizes;
    std::vector<uint16_t> m_heights;
    QString m_boundError;
};

bool BinaryDecoder::m_spend(uint64_t values)
{
    if (values <= m_maxValues - m_made) {
        m_made += values;
        return true;
    }
    if (m_boundError.isEmpty())
        m_boundError = QStringLiteral("binary property list of %1 bytes would make more than %2 values")
                           .arg(m_inputBytes)
                           .arg(m_maxValues);
    return false;
}

bool BinaryDecoder::m_tooDeep()
{
    if (m_boundError.isEmpty())
        m_boundError = QStringLiteral("binary property list nested more than %1 levels deep").arg(kMaxDepth);
    return false;
}

bool BinaryDecoder::decode(uint64_t index, int depth, QVariant& out)
{
    if (depth > kMaxDepth)
        return m_tooDeep();
    if (index >= m_states.size())
        return false;
    switch (m_states[index]) {
    case State::Done:
        if (depth + m_heights[index] > kMaxDepth)
            return m_tooDeep();
        if (!m_spend(m_sizes[index]))
            return false;
        if (m_build)
            out = m_values[index];
        return true;
    case State::Decoding:
        return false;
    case State::New:
        break;
    }
    BinaryPlistReader::Object object;
    if (!m_reader.object(index, object) || !m_spend(1))
        return false;
    const uint64_t before = m_made;
    int height = 0;
    m_states[index] = State::Decoding;
    if (!m_decodeObject(object, depth, out, height))
        return false;
    if (m_build)
        m_values[index] = out;
    m_sizes[index] = m_made - before + 1;
    m_heights[index] = static_cast<uint16_t>(height);
    m_states[index] = State::Done;
    return true;
}

bool BinaryDecoder::m_child(uint64_t index, int depth, QVariant& out, int& height)
{
    if (!decode(index, depth + 1, out))
        return false;
    height = std::max(height, m_heights[index] + 1);
    return true;
}

bool BinaryDecoder::m_decodeObject(const BinaryPlistReader::Object& object, int depth, QVariant& out,
                                   int& height)
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
            if (!m_reader.reference(object, i, index) || !m_child(index, depth, item, height))
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
                !m_child(valueIndex, depth, value, height))
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

// libplist reads XML without recursion, but builds the whole tree before we
// see it and frees a tree recursively: a million nested arrays cost a tree of
// a million nodes and then the stack. So the nesting and the number of values
// are measured on the bytes first, token by token as libplist takes them
// (comments, CDATA, processing instructions, the DOCTYPE, quoted attribute
// values and element text hold no values). Where this scan and libplist
// could part, libplist refuses the bytes anyway, so the scan need only be
// exact up to where libplist stops.
class XmlShapeScan
{
public:
    explicit XmlShapeScan(const QByteArray& data)
        : m_pos(data.constData())
        , m_end(data.constData() + data.size())
    {
    }
    enum class Verdict { Fits, TooDeep, TooMany };
    // Whether arrays and dictionaries nest at most maxOpen deep, and the
    // elements (keys among them) number at most maxValues.
    Verdict measure(int maxOpen, uint64_t maxValues);

private:
    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    bool at(const char* text) const
    {
        const size_t length = std::strlen(text);
        return static_cast<size_t>(m_end - m_pos) >= length && std::memcmp(m_pos, text, length) == 0;
    }
    void skipSpace()
    {
        while (m_pos < m_end && isSpace(*m_pos))
            ++m_pos;
    }
    // Past the double quote that closes the one at m_pos.
    void skipQuoted()
    {
        const void* close = std::memchr(m_pos + 1, '"', static_cast<size_t>(m_end - m_pos - 1));
        m_pos = close ? static_cast<const char*>(close) + 1 : m_end;
    }
    // To the first of `stops` (outside double quotes when `quotes`), or the end.
    void findAny(const char* stops, bool quotes)
    {
        while (m_pos < m_end && !std::strchr(stops, *m_pos)) {
            if (quotes && *m_pos == '"')
                skipQuoted();
            else
                ++m_pos;
        }
    }
    // Past `text` (outside double quotes when `quotes`), or to the end.
    void skipPast(const char* text, bool quotes)
    {
        while (m_pos < m_end && !at(text)) {
            if (quotes && *m_pos == '"')
                skipQuoted();
            else
                ++m_pos;
        }
        m_pos = std::min(m_end, m_pos + std::strlen(text));
    }
    void skipDoctype();
    void skipText();

    const char* m_pos;
    const char* const m_end;
};

void XmlShapeScan::skipDoctype()
{
    while (m_pos < m_end) {
        findAny(" \t\r\n[>", true);
        if (m_pos == m_end)
            return;
        if (*m_pos == '[') {
            skipPast("]>", true);
            return;
        }
        if (*m_pos == '>') {
            ++m_pos;
            return;
        }
        skipSpace();
    }
}

// An element's text runs to the next end tag; comments and CDATA inside it
// are text too.
void XmlShapeScan::skipText()
{
    while (m_pos < m_end) {
        findAny("<", false);
        if (m_pos == m_end)
            return;
        if (at("<!--")) {
            m_pos += 4;
            skipPast("-->", false);
        } else if (at("<![CDATA[")) {
            m_pos += 9;
            skipPast("]]>", false);
        } else if (at("</")) {
            findAny(">", false);
            m_pos = std::min(m_end, m_pos + 1);
            return;
        } else {
            // libplist refuses any other tag inside text.
            ++m_pos;
            return;
        }
    }
}

XmlShapeScan::Verdict XmlShapeScan::measure(int maxOpen, uint64_t maxValues)
{
    static constexpr const char* kTextElements[] = {"key",  "string", "integer", "real",
                                                    "true", "false",  "data",    "date"};
    int open = 0;
    uint64_t values = 0;
    while (m_pos < m_end) {
        skipSpace();
        if (m_pos == m_end)
            break;
        if (*m_pos != '<') {
            ++m_pos;
            continue;
        }
        ++m_pos;
        if (at("?")) {
            skipPast("?>", true);
            continue;
        }
        if (at("!--")) {
            m_pos += 3;
            skipPast("-->", false);
            continue;
        }
        if (at("!DOCTYPE")) {
            m_pos += 8;
            skipDoctype();
            continue;
        }
        const char* name = m_pos;
        findAny(" \r\n\t<>", false);
        qsizetype nameLength = m_pos - name;
        if (m_pos < m_end && *m_pos != '>')
            findAny("<>", true);
        if (m_pos == m_end)
            break;
        if (*m_pos != '>')
            continue;
        const bool empty = m_pos[-1] == '/';
        if (empty && name + nameLength == m_pos)
            --nameLength;
        ++m_pos;
        const QLatin1StringView tag(name, nameLength);
        if (tag == QLatin1StringView("array") || tag == QLatin1StringView("dict")) {
            if (++values > maxValues)
                return Verdict::TooMany;
            if (!empty && ++open > maxOpen)
                return Verdict::TooDeep;
        } else if (tag == QLatin1StringView("/array") || tag == QLatin1StringView("/dict")) {
            if (open > 0)
                --open;
        } else {
            for (const char* element : kTextElements) {
                if (tag == QLatin1StringView(element)) {
                    if (++values > maxValues)
                        return Verdict::TooMany;
                    if (!empty)
                        skipText();
                    break;
                }
            }
        }
    }
    return Verdict::Fits;
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

// One reason for each refusal: what the reader or the decoder found.
bool readBinary(BinaryPlistReader& reader, const QByteArray& data, BinaryDecoder::Mode mode, QVariant& out,
                QString* error)
{
    QString reason;
    if (!reader.open(data, &reason)) {
        if (error)
            *error = reason;
        return false;
    }
    BinaryDecoder decoder(reader, data.size(), mode);
    if (decoder.decode(reader.topObject(), 0, out))
        return true;
    if (error)
        *error = decoder.boundError().isEmpty()
                     ? QStringLiteral(
                           "not a property list, or one that holds an unknown or too deeply nested value")
                     : decoder.boundError();
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
    QVariant unused;
    BinaryPlistReader::Object top;
    if (!readBinary(reader, data, BinaryDecoder::Mode::CheckOnly, unused, error) ||
        !reader.object(reader.topObject(), top))
        return std::nullopt;
    return top.type == BinaryPlistReader::Type::Dictionary;
}

std::optional<QVariant> PropertyList::fromData(const QByteArray& data, QString* error)
{
    auto fail = [error](const QString& reason) -> std::optional<QVariant> {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    if (data.isEmpty())
        return fail(QStringLiteral("empty property list"));
    if (data.size() > std::numeric_limits<int32_t>::max())
        return fail(QStringLiteral("property list too large"));
    if (BinaryPlistReader::isBinary(data)) {
        BinaryPlistReader reader;
        QVariant value;
        if (!readBinary(reader, data, BinaryDecoder::Mode::Build, value, error))
            return std::nullopt;
        return value;
    }
    const uint64_t maxValues = ReadBounds::maxValues(data.size());
    switch (XmlShapeScan(data).measure(kMaxDepth + 1, maxValues)) {
    case XmlShapeScan::Verdict::Fits:
        break;
    case XmlShapeScan::Verdict::TooDeep:
        return fail(QStringLiteral("property list nested more than %1 levels deep").arg(kMaxDepth));
    case XmlShapeScan::Verdict::TooMany:
        return fail(QStringLiteral("property list of %1 bytes would make more than %2 values")
                        .arg(data.size())
                        .arg(maxValues));
    }
    plist_t raw = nullptr;
    plist_from_memory(data.constData(), static_cast<uint32_t>(data.size()), &raw);
    PlistPtr root(raw);
    if (!root)
        return fail(QStringLiteral("not a property list"));
    QVariant value;
    if (!toVariant(root.get(), value, 0))
        return fail(QStringLiteral("property list holds an unknown or too deeply nested value"));
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
