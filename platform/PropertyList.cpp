#include "PropertyList.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>

#include <plist/plist.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

// Seconds between the Unix epoch and the plist epoch (2001-01-01 UTC).
constexpr qint64 kPlistEpochOffset = 978307200;
// Deeper trees are refused rather than walked: a hostile file must not
// exhaust the stack.
constexpr int kMaxDepth = 512;

struct PlistDeleter
{
    void operator()(plist_t node) const
    {
        if (node)
            plist_free(node);
    }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

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
    case PLIST_STRING:
    case PLIST_KEY: {
        char* value = nullptr;
        if (plist_get_node_type(node) == PLIST_STRING)
            plist_get_string_val(node, &value);
        else
            plist_get_key_val(node, &value);
        out = QVariant(QString::fromUtf8(value ? value : ""));
        free(value);
        return true;
    }
    case PLIST_DATA: {
        char* value = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &value, &length);
        out = QVariant(QByteArray(value, static_cast<qsizetype>(length)));
        free(value);
        return true;
    }
    case PLIST_DATE: {
        int32_t sec = 0;
        int32_t usec = 0;
        plist_get_date_val(node, &sec, &usec);
        const qint64 ms = (static_cast<qint64>(sec) + kPlistEpochOffset) * 1000 + usec / 1000;
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
        QVariantList list;
        const uint32_t count = plist_array_get_size(node);
        list.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            QVariant item;
            if (!toVariant(plist_array_get_item(node, i), item, depth + 1))
                return false;
            list.append(item);
        }
        out = QVariant(list);
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
            map.insert(name, item);
        }
        free(it);
        out = QVariant(map);
        return true;
    }
    default:
        return false;
    }
}

plist_t fromVariant(const QVariant& value, int depth)
{
    if (depth > kMaxDepth)
        return nullptr;
    if (value.metaType() == QMetaType::fromType<PlistUid>())
        return plist_new_uid(value.value<PlistUid>().value);
    switch (value.typeId()) {
    case QMetaType::Bool:
        return plist_new_bool(value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
        return plist_new_uint(static_cast<uint64_t>(value.toLongLong()));
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return plist_new_uint(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return plist_new_real(value.toDouble());
    case QMetaType::QString:
        return plist_new_string(value.toString().toUtf8().constData());
    case QMetaType::QByteArray: {
        const QByteArray data = value.toByteArray();
        return plist_new_data(data.constData(), static_cast<uint64_t>(data.size()));
    }
    case QMetaType::QDateTime: {
        const qint64 ms = value.toDateTime().toMSecsSinceEpoch() - kPlistEpochOffset * 1000;
        const qint64 sec = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
        const qint64 usec = (ms - sec * 1000) * 1000;
        return plist_new_date(static_cast<int32_t>(sec), static_cast<int32_t>(usec));
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
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
    case QMetaType::QVariantMap: {
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
    default:
        return nullptr;
    }
}

} // namespace

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
    PlistPtr root(fromVariant(value, 0));
    if (!root)
        return {};
    char* bytes = nullptr;
    uint32_t length = 0;
    QByteArray result;
    if (format == Format::Binary) {
        plist_to_bin(root.get(), &bytes, &length);
        result = QByteArray(bytes, static_cast<qsizetype>(length));
        plist_to_bin_free(bytes);
    } else {
        plist_to_xml(root.get(), &bytes, &length);
        result = QByteArray(bytes, static_cast<qsizetype>(length));
        plist_to_xml_free(bytes);
    }
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
