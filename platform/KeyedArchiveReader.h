#pragma once

#include "platform/BinaryPlistReader.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

// The objects of a keyed archive, by UID, read where they lie in the binary
// property list: what each archived object is once its class record is
// read, and the UIDs a container holds. KeyedArchive::unarchive builds a
// value tree from it; a reader that knows the shape it expects can take what
// it keeps straight from here instead.
class KeyedArchiveReader
{
public:
    using Object = BinaryPlistReader::Object;

    enum class Kind : uint8_t { Boolean, Integer, Real, String, Data, Array, Dictionary };

    struct Item
    {
        Kind kind = Kind::Boolean;
        // A plain value's own object (for a string or data record, its
        // "NS.string" or "NS.data").
        Object value;
        // An array's element UIDs, a dictionary's value UIDs.
        Object objects;
        // A dictionary's key UIDs, as many as its values.
        Object keys;
    };

    // A binary or XML archive. False, with error(), when it is not a property
    // list or not a keyed archive of a root object.
    bool open(const QByteArray& data);
    uint64_t rootUid() const { return m_rootUid; }
    // UIDs run below this.
    uint64_t objectCount() const { return m_objects.count; }

    // Every object the root reaches is a well-formed object of an accepted
    // class, none contains itself, none lies deeper than
    // ReadBounds::kMaxDepth, and the tree they make, counting a shared object
    // wherever it recurs, holds no more than ReadBounds::maxValues() of the
    // archive's size. Linear in the archive: each object is looked at once.
    bool check();

    // False when the UID names no archived object, or $null.
    bool validUid(uint64_t uid);
    // The object under a valid UID.
    bool item(uint64_t uid, Item& out);
    // A plain item's value as a value tree holds it; an invalid QVariant for
    // a container.
    static QVariant plainValue(const Item& item);
    // The UID at position n of an array of UIDs.
    bool uidAt(const Object& refs, uint64_t n, uint64_t& uid) const;

    // The first reason anything failed.
    const QString& error() const { return m_error; }
    bool fail(const QString& reason);

private:
    enum class State : uint8_t { New, Checking, Done };

    bool m_malformed();
    bool m_lookUp(const Object& dictionary, QLatin1StringView key, Object& value) const;
    bool m_uidOf(const Object& node, uint64_t& uid) const;
    bool m_classOf(uint64_t uid, const Object& classRef, bool found, Kind& kind);
    int m_fieldOf(uint64_t keyIndex, const QLatin1StringView* names, int count);
    bool m_check(uint64_t uid, int depth, uint64_t& values, int& height);
    bool m_addValues(uint64_t& total, uint64_t more);

    BinaryPlistReader m_plist;
    // The plist object of each archived object, by UID.
    Object m_objects;
    uint64_t m_rootUid = 0;
    qsizetype m_inputSize = 0;
    uint64_t m_maxValues = 0;
    // Few class records serve a whole archive: look each up once.
    std::vector<std::pair<uint64_t, Kind>> m_classes;
    // The record field each key object names (-1: none), for the first few
    // key objects met.
    static constexpr size_t kFieldNamesKept = 16;
    std::vector<std::pair<uint64_t, int>> m_fieldNames;
    // check(): where each object stands, and once checked, its item in
    // brief (so that reading it again costs no parsing). Zero is a new
    // object; the table is made zeroed, untouched until used.
    struct Checked
    {
        // A plain value's bits (booleans, integers, reals), or how many
        // values a container's tree holds.
        uint64_t bits;
        // Offsets in the property list: a plain value's content, or a
        // dictionary's key UIDs; a container's value or element UIDs.
        uint32_t content;
        uint32_t objects;
        uint32_t count;
        Kind kind;
        bool wide;
        State state;
    };
    struct Free
    {
        void operator()(void* table) const { std::free(table); }
    };
    std::unique_ptr<Checked[], Free> m_checked;
    // How many levels lie below each checked object: a shared object read
    // near the top may recur far down, and is as deep there as its tree.
    std::unique_ptr<uint16_t[], Free> m_heights;
    uint64_t m_checkedCount = 0;
    // The bytes of the property list, where the offsets count from.
    QByteArray m_binary;
    QString m_error;
};
