#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QVariant>

#include <optional>

// A keyed archive's object reference (the plist UID type).
struct PlistUid
{
    quint64 value = 0;
    bool operator==(const PlistUid& other) const { return value == other.value; }
};
Q_DECLARE_METATYPE(PlistUid)

// Property lists as QVariant trees:
//   dictionary QVariantMap, array QVariantList, string QString, data QByteArray,
//   date QDateTime (UTC), boolean bool, integer qlonglong, real double,
//   UID PlistUid.
// Any integral QVariant is written as an integer and any floating one as a real.
class PropertyList
{
public:
    enum class Format { Xml, Binary };

    // The plist type a QVariant is written as. Every writer decides by this,
    // so that an integral or floating value is the same type in every form.
    enum class Kind {
        Unsupported,
        Boolean,
        Integer,
        UnsignedInteger,
        Real,
        String,
        Data,
        Date,
        Uid,
        Array,
        StringArray,
        Dictionary,
    };
    static Kind kindOf(const QVariant& value);

    // Reads XML or binary. nullopt (and a reason in *error) when the bytes are
    // not a property list.
    static std::optional<QVariant> fromData(const QByteArray& data, QString* error = nullptr);
    // What fromData() would make of the bytes, found without making it:
    // nullopt (and the reason fromData() gives) when it would refuse them,
    // else whether the value is a dictionary.
    static std::optional<bool> holdsDictionary(const QByteArray& data, QString* error = nullptr);
    // Empty when the value holds something a plist cannot carry.
    static QByteArray toData(const QVariant& value, Format format = Format::Xml);

    static std::optional<QVariant> readFile(const QString& path, QString* error = nullptr);
    // Atomic: a reader sees the old file or the whole new one, never a part.
    static bool writeFile(const QString& path, const QVariant& value, Format format = Format::Xml,
                          QString* error = nullptr);
};
