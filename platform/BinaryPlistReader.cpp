#include "platform/BinaryPlistReader.h"

#include "platform/PlistNode.h"
#include "platform/ReadBounds.h"

#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr qsizetype kHeaderSize = 8;
constexpr qsizetype kTrailerSize = 32;

bool fail(QString* error, const char* reason)
{
    if (error)
        *error = QString::fromLatin1(reason);
    return false;
}

uint64_t bigEndian(const uchar* at, int width)
{
    // Offsets and references, read for every object, are one to four bytes.
    switch (width) {
    case 1:
        return at[0];
    case 2:
        return qFromBigEndian<quint16>(at);
    case 4:
        return qFromBigEndian<quint32>(at);
    case 8:
        return qFromBigEndian<quint64>(at);
    default:
        break;
    }
    uint64_t value = 0;
    for (int i = 0; i < width; ++i)
        value = (value << 8) | at[i];
    return value;
}

} // namespace

bool BinaryPlistReader::open(const QByteArray& data, QString* error)
{
    if (!isBinary(data) || data.size() < kHeaderSize + kTrailerSize)
        return fail(error, "not a binary property list");
    m_data = data;
    m_begin = reinterpret_cast<const uchar*>(m_data.constData());
    const uchar* trailer = m_begin + m_data.size() - kTrailerSize;
    m_offsetSize = trailer[6];
    m_referenceSize = trailer[7];
    m_objectCount = bigEndian(trailer + 8, 8);
    m_topObject = bigEndian(trailer + 16, 8);
    const uint64_t tableOffset = bigEndian(trailer + 24, 8);
    const uint64_t room = static_cast<uint64_t>(m_data.size() - kTrailerSize);
    if (m_offsetSize < 1 || m_offsetSize > 8 || m_referenceSize < 1 || m_referenceSize > 8)
        return fail(error, "binary property list with an unknown offset or reference size");
    if (m_objectCount == 0 || m_topObject >= m_objectCount)
        return fail(error, "binary property list without its top object");
    if (tableOffset < static_cast<uint64_t>(kHeaderSize) || tableOffset > room ||
        m_objectCount > (room - tableOffset) / static_cast<uint64_t>(m_offsetSize))
        return fail(error, "binary property list whose offset table lies outside it");
    m_offsets = m_begin + tableOffset;
    m_objectsEnd = m_offsets;
    switch (m_checkGraph()) {
    case Graph::Sound:
        return true;
    case Graph::Damaged:
        return fail(error, "binary property list with a damaged object, or one that contains itself");
    case Graph::TooDeep:
        if (error)
            *error = QStringLiteral("binary property list nested more than %1 levels deep")
                         .arg(ReadBounds::kMaxDepth);
        return false;
    }
    return false;
}

// Walks every object the top object reaches, once each, without recursion.
// A chain of containers longer than any reader may descend is refused here,
// before anything is built from it.
BinaryPlistReader::Graph BinaryPlistReader::m_checkGraph() const
{
    enum class State : uint8_t { New, Open, Done };
    std::vector<State> states(m_objectCount, State::New);
    struct Step
    {
        Object container;
        uint64_t index;
        uint64_t next;
    };
    std::vector<Step> path;
    const auto enter = [&](uint64_t index) {
        Object object;
        if (!this->object(index, object))
            return false;
        if (object.type != Type::Array && object.type != Type::Dictionary) {
            states[index] = State::Done;
            return true;
        }
        states[index] = State::Open;
        path.push_back({object, index, 0});
        return true;
    };
    if (!enter(m_topObject))
        return Graph::Damaged;
    while (!path.empty()) {
        Step& step = path.back();
        const uint64_t references =
            step.container.type == Type::Dictionary ? 2 * step.container.count : step.container.count;
        if (step.next == references) {
            states[step.index] = State::Done;
            path.pop_back();
            continue;
        }
        const uint64_t n = step.next++;
        uint64_t child = 0;
        if (!reference(step.container, n, child))
            return Graph::Damaged;
        if (step.container.type == Type::Dictionary && n < step.container.count) {
            // Keys are strings.
            Object key;
            if (!object(child, key) || key.type != Type::String)
                return Graph::Damaged;
        }
        switch (states[child]) {
        case State::Done:
            break;
        case State::Open:
            return Graph::Damaged;
        case State::New:
            if (!enter(child))
                return Graph::Damaged;
            // The top container is at depth 0.
            if (path.size() > static_cast<size_t>(ReadBounds::kMaxDepth) + 1)
                return Graph::TooDeep;
            break;
        }
    }
    return Graph::Sound;
}

bool BinaryPlistReader::m_integer(const uchar* at, int width, uint64_t& value) const
{
    if (at < m_begin + kHeaderSize || width > m_objectsEnd - at)
        return false;
    // Integers wider than 64 bits keep their low 64 bits.
    value = width > 8 ? bigEndian(at + width - 8, 8) : bigEndian(at, width);
    return true;
}

// A marker's count: in its low nibble, or as an integer object after it.
bool BinaryPlistReader::m_sized(const uchar* at, uint8_t marker, uint64_t& count, const uchar*& content) const
{
    const uint8_t low = marker & 0x0f;
    if (low != 0x0f) {
        count = low;
        content = at + 1;
        return true;
    }
    if (m_objectsEnd - at < 2 || (at[1] & 0xf0) != 0x10)
        return false;
    const int width = 1 << (at[1] & 0x0f);
    if (width > 8 || !m_integer(at + 2, width, count))
        return false;
    content = at + 2 + width;
    return true;
}

bool BinaryPlistReader::object(uint64_t index, Object& out) const
{
    if (index >= m_objectCount)
        return false;
    const uint64_t offset = bigEndian(m_offsets + index * static_cast<uint64_t>(m_offsetSize), m_offsetSize);
    if (offset < static_cast<uint64_t>(kHeaderSize) ||
        offset >= static_cast<uint64_t>(m_objectsEnd - m_begin))
        return false;
    const uchar* at = m_begin + offset;
    const uint8_t marker = at[0];
    const uint64_t room = static_cast<uint64_t>(m_objectsEnd - at);
    out = Object();
    switch (marker >> 4) {
    case 0x0:
        if (marker != 0x08 && marker != 0x09)
            return false;
        out.type = Type::Boolean;
        out.value = marker == 0x09 ? 1 : 0;
        return true;
    case 0x1: {
        const int width = 1 << (marker & 0x0f);
        if (width > 16)
            return false;
        out.type = Type::Integer;
        return m_integer(at + 1, width, out.value);
    }
    case 0x2:
    case 0x3: {
        const int width = 1 << (marker & 0x0f);
        if ((marker >> 4 == 0x2 && width != 4 && width != 8) || (marker >> 4 == 0x3 && width != 8) ||
            static_cast<uint64_t>(width) >= room)
            return false;
        const uint64_t bits = bigEndian(at + 1, width);
        out.type = marker >> 4 == 0x2 ? Type::Real : Type::Date;
        out.real = width == 4 ? static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(bits)))
                              : std::bit_cast<double>(bits);
        return true;
    }
    case 0x4:
    case 0x5:
    case 0x6: {
        if (!m_sized(at, marker, out.count, out.content))
            return false;
        out.type = marker >> 4 == 0x4 ? Type::Data : Type::String;
        out.wide = marker >> 4 == 0x6;
        const uint64_t unit = out.wide ? 2 : 1;
        return out.count <= static_cast<uint64_t>(m_objectsEnd - out.content) / unit;
    }
    case 0x8: {
        const int width = (marker & 0x0f) + 1;
        if (width > 8)
            return false;
        out.type = Type::Uid;
        return m_integer(at + 1, width, out.value);
    }
    // Sets are read as arrays, as libplist reads them.
    case 0xa:
    case 0xc:
    case 0xd: {
        if (!m_sized(at, marker, out.count, out.content))
            return false;
        out.type = marker >> 4 == 0xd ? Type::Dictionary : Type::Array;
        const uint64_t references = out.type == Type::Dictionary ? 2 : 1;
        const uint64_t available = static_cast<uint64_t>(m_objectsEnd - out.content) /
                                   static_cast<uint64_t>(m_referenceSize) / references;
        return out.count <= available;
    }
    default:
        return false;
    }
}

bool BinaryPlistReader::reference(const Object& container, uint64_t n, uint64_t& index) const
{
    index = bigEndian(container.content + n * static_cast<uint64_t>(m_referenceSize), m_referenceSize);
    return index < m_objectCount;
}

// libplist copies an ASCII-marked string as a C string, so it ends at its
// first NUL; a UTF-16 one it converts whole.
QString BinaryPlistReader::text(const Object& string)
{
    const uint64_t length = m_textLength(string);
    if (!string.wide)
        return QString::fromUtf8(reinterpret_cast<const char*>(string.content),
                                 static_cast<qsizetype>(length));
    QString result(static_cast<qsizetype>(length), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(result.data());
    for (uint64_t i = 0; i < length; ++i)
        out[i] = static_cast<char16_t>((string.content[2 * i] << 8) | string.content[2 * i + 1]);
    return result;
}

uint64_t BinaryPlistReader::m_textLength(const Object& string)
{
    if (string.wide)
        return string.count;
    const void* end = std::memchr(string.content, 0, string.count);
    return end ? static_cast<uint64_t>(static_cast<const uchar*>(end) - string.content) : string.count;
}

bool BinaryPlistReader::textEquals(const Object& string, QLatin1StringView expected)
{
    if (string.type != Type::String || m_textLength(string) != static_cast<uint64_t>(expected.size()))
        return false;
    if (!string.wide)
        return std::memcmp(string.content, expected.data(), expected.size()) == 0;
    for (qsizetype i = 0; i < expected.size(); ++i)
        if (string.content[2 * i] != 0 ||
            string.content[2 * i + 1] != static_cast<uchar>(expected[i].unicode()))
            return false;
    return true;
}

QByteArray BinaryPlistReader::data(const Object& data)
{
    return QByteArray(reinterpret_cast<const char*>(data.content), static_cast<qsizetype>(data.count));
}

qint64 BinaryPlistReader::dateMSecs(const Object& date)
{
    // Out of range, libplist's own conversion is undefined; here such a date
    // stays finite.
    const double seconds = std::isfinite(date.real) ? std::clamp(date.real, -9.0e18, 9.0e18) : 0.0;
    const double whole = std::trunc(seconds);
    const qint64 sec = static_cast<int32_t>(static_cast<int64_t>(whole));
    const qint64 usec = static_cast<int32_t>(std::fabs(seconds - whole) * 1000000.0);
    return plistDateMSecs(sec, usec);
}
