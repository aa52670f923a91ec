#include "platform/BinaryPlistWriter.h"

#include "platform/PlistNode.h"

#include <QtGlobal>

#include <bit>
#include <cstring>
#include <limits>

namespace {

int byteWidth(uint64_t value)
{
    if (value <= 0xff)
        return 1;
    if (value <= 0xffff)
        return 2;
    if (value <= 0xffffffff)
        return 4;
    return 8;
}

} // namespace

void BinaryPlistWriter::m_appendBigEndian(QByteArray& out, uint64_t value, int width)
{
    char bytes[8] = {};
    for (int i = 0; i < width; ++i)
        bytes[i] = static_cast<char>((value >> ((width - 1 - i) * 8)) & 0xff);
    out.append(bytes, width);
}

// A type nibble with the count in the low nibble, or 0xF and the count as an
// integer object after it.
void BinaryPlistWriter::m_appendMarker(QByteArray& out, uint8_t type, uint64_t count)
{
    if (count < 15) {
        out.append(static_cast<char>(type | count));
        return;
    }
    out.append(static_cast<char>(type | 0x0f));
    const int width = byteWidth(count);
    out.append(static_cast<char>(0x10 | std::countr_zero(static_cast<unsigned>(width))));
    m_appendBigEndian(out, count, width);
}

uint32_t BinaryPlistWriter::reserve()
{
    m_slots.push_back({Kind::Reserved, 0, 0});
    return static_cast<uint32_t>(m_slots.size() - 1);
}

uint32_t BinaryPlistWriter::m_encoded(size_t begin)
{
    m_slots.push_back({Kind::Encoded, begin, static_cast<size_t>(m_bytes.size()) - begin});
    return static_cast<uint32_t>(m_slots.size() - 1);
}

uint32_t BinaryPlistWriter::addAscii(const char* text)
{
    const size_t begin = m_bytes.size();
    const size_t length = std::strlen(text);
    m_appendMarker(m_bytes, 0x50, length);
    m_bytes.append(text, static_cast<qsizetype>(length));
    return m_encoded(begin);
}

uint32_t BinaryPlistWriter::addString(const QString& text)
{
    const size_t begin = m_bytes.size();
    const QChar* chars = text.constData();
    const qsizetype length = text.size();
    bool ascii = true;
    for (qsizetype i = 0; i < length && ascii; ++i)
        ascii = chars[i].unicode() < 0x80;
    if (ascii) {
        m_appendMarker(m_bytes, 0x50, static_cast<uint64_t>(length));
        const qsizetype at = m_bytes.size();
        m_bytes.resize(at + length);
        char* out = m_bytes.data() + at;
        for (qsizetype i = 0; i < length; ++i)
            out[i] = static_cast<char>(chars[i].unicode());
    } else {
        // Anything else is stored as UTF-16, big-endian, counted in code units.
        m_appendMarker(m_bytes, 0x60, static_cast<uint64_t>(length));
        const qsizetype at = m_bytes.size();
        m_bytes.resize(at + 2 * length);
        char* out = m_bytes.data() + at;
        for (qsizetype i = 0; i < length; ++i) {
            out[2 * i] = static_cast<char>(chars[i].unicode() >> 8);
            out[2 * i + 1] = static_cast<char>(chars[i].unicode() & 0xff);
        }
    }
    return m_encoded(begin);
}

uint32_t BinaryPlistWriter::addInteger(int64_t value)
{
    if (value >= 0)
        return addUnsigned(static_cast<uint64_t>(value));
    // Negative integers always take the full eight bytes.
    const size_t begin = m_bytes.size();
    m_bytes.append(static_cast<char>(0x13));
    m_appendBigEndian(m_bytes, static_cast<uint64_t>(value), 8);
    return m_encoded(begin);
}

uint32_t BinaryPlistWriter::addUnsigned(uint64_t value)
{
    const size_t begin = m_bytes.size();
    if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        // Eight bytes read as signed; larger unsigned values take sixteen.
        m_bytes.append(static_cast<char>(0x14));
        m_appendBigEndian(m_bytes, 0, 8);
        m_appendBigEndian(m_bytes, value, 8);
    } else {
        const int width = byteWidth(value);
        m_bytes.append(static_cast<char>(0x10 | std::countr_zero(static_cast<unsigned>(width))));
        m_appendBigEndian(m_bytes, value, width);
    }
    return m_encoded(begin);
}

uint32_t BinaryPlistWriter::addReal(double value)
{
    const size_t begin = m_bytes.size();
    m_bytes.append(static_cast<char>(0x23));
    m_appendBigEndian(m_bytes, std::bit_cast<uint64_t>(value), 8);
    return m_encoded(begin);
}

uint32_t BinaryPlistWriter::addBoolean(bool value)
{
    const size_t begin = m_bytes.size();
    m_bytes.append(static_cast<char>(value ? 0x09 : 0x08));
    return m_encoded(begin);
}

uint32_t BinaryPlistWriter::addDate(const QDateTime& date)
{
    const size_t begin = m_bytes.size();
    const qint64 ms = date.toMSecsSinceEpoch() - kPlistEpochOffset * 1000;
    m_bytes.append(static_cast<char>(0x33));
    m_appendBigEndian(m_bytes, std::bit_cast<uint64_t>(static_cast<double>(ms) / 1000.0), 8);
    return m_encoded(begin);
}

uint32_t BinaryPlistWriter::addData(const QByteArray& data)
{
    const size_t begin = m_bytes.size();
    m_appendMarker(m_bytes, 0x40, static_cast<uint64_t>(data.size()));
    m_bytes.append(data);
    return m_encoded(begin);
}

uint32_t BinaryPlistWriter::addUid(uint64_t value)
{
    const size_t begin = m_bytes.size();
    const int width = byteWidth(value);
    m_bytes.append(static_cast<char>(0x80 | (width - 1)));
    m_appendBigEndian(m_bytes, value, width);
    return m_encoded(begin);
}

uint32_t BinaryPlistWriter::addArray(const std::vector<uint32_t>& items)
{
    m_slots.push_back({Kind::Array, m_refs.size(), items.size()});
    m_refs.insert(m_refs.end(), items.begin(), items.end());
    return static_cast<uint32_t>(m_slots.size() - 1);
}

void BinaryPlistWriter::setDictionary(uint32_t object, const std::vector<uint32_t>& keys,
                                      const std::vector<uint32_t>& values)
{
    Q_ASSERT(keys.size() == values.size());
    m_slots[object] = {Kind::Dictionary, m_refs.size(), keys.size()};
    m_refs.insert(m_refs.end(), keys.begin(), keys.end());
    m_refs.insert(m_refs.end(), values.begin(), values.end());
}

QByteArray BinaryPlistWriter::finish(uint32_t top) const
{
    const size_t count = m_slots.size();
    const int refWidth = byteWidth(count);
    QByteArray out;
    out.reserve(static_cast<qsizetype>(m_bytes.size() + m_refs.size() * refWidth + count * 13 + 64));
    out.append("bplist00", 8);
    std::vector<uint64_t> offsets(count);
    for (size_t i = 0; i < count; ++i) {
        const Slot& slot = m_slots[i];
        offsets[i] = static_cast<uint64_t>(out.size());
        switch (slot.kind) {
        case Kind::Reserved:
            return {};
        case Kind::Encoded:
            out.append(m_bytes.constData() + slot.begin, static_cast<qsizetype>(slot.count));
            break;
        case Kind::Array:
        case Kind::Dictionary: {
            const bool array = slot.kind == Kind::Array;
            m_appendMarker(out, array ? 0xa0 : 0xd0, slot.count);
            const size_t refs = array ? slot.count : slot.count * 2;
            for (size_t r = 0; r < refs; ++r)
                m_appendBigEndian(out, m_refs[slot.begin + r], refWidth);
            break;
        }
        }
    }
    const uint64_t tableOffset = static_cast<uint64_t>(out.size());
    const int offsetWidth = byteWidth(tableOffset);
    for (const uint64_t offset : offsets)
        m_appendBigEndian(out, offset, offsetWidth);
    // Trailer: six unused bytes, the two widths, then object count, top
    // object and where the offset table starts.
    out.append(6, '\0');
    out.append(static_cast<char>(offsetWidth));
    out.append(static_cast<char>(refWidth));
    m_appendBigEndian(out, count, 8);
    m_appendBigEndian(out, top, 8);
    m_appendBigEndian(out, tableOffset, 8);
    return out;
}
