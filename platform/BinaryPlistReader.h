#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QString>

#include <cstdint>

// Reads the binary property list form (bplist00) where it lies. libplist
// turns every object into a tree node of its own, several allocations each,
// which made reading a large configuration spend most of its time in the
// allocator; here an object is found through the offset table when it is
// asked for, and only what the caller keeps is ever copied.
//
// Every offset, count and reference is checked against the bytes before it is
// followed. As with libplist, a file is refused when any object its top object
// reaches is damaged, has a key that is not a string, or contains itself;
// so is one whose containers nest deeper than ReadBounds allows. Callers that
// recurse still bound their depth and the values they make.
class BinaryPlistReader
{
public:
    enum class Type : uint8_t { Boolean, Integer, Real, Date, Data, String, Uid, Array, Dictionary };

    // One object as it is stored. Containers hold references: an array its
    // elements, a dictionary its keys and then its values.
    struct Object
    {
        Type type = Type::Boolean;
        // The content: bytes of data, ASCII or UTF-16 code units of a string,
        // references of a container.
        const uchar* content = nullptr;
        // Bytes, code units, elements, or key-value pairs.
        uint64_t count = 0;
        // A string stored as UTF-16 (big-endian).
        bool wide = false;
        // Booleans, integers (their 64 bits) and UIDs.
        uint64_t value = 0;
        // Reals, and dates in seconds since 2001-01-01 UTC.
        double real = 0;
    };

    static bool isBinary(const QByteArray& data) { return data.startsWith("bplist00"); }

    // Checks the header, the trailer, the offset table and every object the
    // top object reaches. The reader keeps (a shared copy of) the bytes.
    bool open(const QByteArray& data, QString* error = nullptr);

    uint64_t objectCount() const { return m_objectCount; }
    uint64_t topObject() const { return m_topObject; }

    // False when the object's marker is unknown or its content runs past the
    // objects.
    bool object(uint64_t index, Object& out) const;
    // The n-th reference of a container (for a dictionary, keys come first
    // and values follow: key i is reference i, its value count + i); false
    // when it names no object.
    bool reference(const Object& container, uint64_t n, uint64_t& index) const;

    // The text of a string object as libplist reads it: an ASCII-marked
    // string as UTF-8 up to its first NUL, a UTF-16 one whole.
    static QString text(const Object& string);
    static bool textEquals(const Object& string, QLatin1StringView expected);
    static QByteArray data(const Object& data);
    // Milliseconds since the Unix epoch, rounded as the libplist path rounds them.
    static qint64 dateMSecs(const Object& date);

private:
    enum class Graph : uint8_t { Sound, Damaged, TooDeep };
    Graph m_checkGraph() const;
    static uint64_t m_textLength(const Object& string);
    bool m_sized(const uchar* at, uint8_t marker, uint64_t& count, const uchar*& content) const;
    bool m_integer(const uchar* at, int width, uint64_t& value) const;

    QByteArray m_data;
    const uchar* m_begin = nullptr;
    // Objects lie between the header and the offset table.
    const uchar* m_objectsEnd = nullptr;
    const uchar* m_offsets = nullptr;
    int m_offsetSize = 0;
    int m_referenceSize = 0;
    uint64_t m_objectCount = 0;
    uint64_t m_topObject = 0;
};
