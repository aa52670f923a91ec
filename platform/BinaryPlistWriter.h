#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <vector>

// Writes the binary property list form (bplist00) object by object.
// libplist's own writer looks for equal objects in a small fixed hash table,
// which makes a large tree take seconds; here every object is written as it
// comes, and a caller that wants equal objects shared looks them up itself.
// Containers are kept as lists of object references until finish(), when the
// number of objects fixes the width of a reference.
//
// Each add returns the new object's reference. A dictionary's slot may be
// reserved first and filled later, so that a container can come before its
// contents.
class BinaryPlistWriter
{
public:
    uint32_t reserve();
    uint32_t addAscii(const char* text);
    uint32_t addString(const QString& text);
    uint32_t addInteger(int64_t value);
    uint32_t addUnsigned(uint64_t value);
    uint32_t addReal(double value);
    uint32_t addBoolean(bool value);
    // Kept to the millisecond, as QDateTime holds it.
    uint32_t addDate(const QDateTime& date);
    uint32_t addData(const QByteArray& data);
    uint32_t addUid(uint64_t value);
    uint32_t addArray(const std::vector<uint32_t>& items);
    // keys and values pair up by position and must be as many.
    void setDictionary(uint32_t object, const std::vector<uint32_t>& keys,
                       const std::vector<uint32_t>& values);
    // Empty when a reserved slot was never filled.
    QByteArray finish(uint32_t top) const;

private:
    enum class Kind : uint8_t { Reserved, Encoded, Array, Dictionary };
    struct Slot
    {
        Kind kind;
        size_t begin;
        size_t count;
    };

    uint32_t m_encoded(size_t begin);
    static void m_appendBigEndian(QByteArray& out, uint64_t value, int width);
    static void m_appendMarker(QByteArray& out, uint8_t type, uint64_t count);

    std::vector<Slot> m_slots;
    QByteArray m_bytes;
    std::vector<uint32_t> m_refs;
};
