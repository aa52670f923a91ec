#include "core/PAConfigurationRecords.h"

#include "core/AgentLog.h"
#include "core/PAApplication.h"
#include "core/PAExclusion.h"
#include "core/PAManagedRecords.h"
#include "core/PAPreferenceTable.h"
#include "core/SharedState.h"
#include "platform/KeyedArchive.h"
#include "platform/KeyedArchiveReader.h"
#include "platform/PropertyList.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <type_traits>
#include <unordered_map>

namespace {

const QString kClassName = QStringLiteral("PalisorClassName");
const QString kWrapperClass = QStringLiteral("PalisorConfiguration");

bool fail(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return false;
}

// The keys the loader reads, and their names in every stored form.
enum class Key : uint8_t {
    ClassName,
    AppName,
    AppPath,
    AppBinaries,
    AppIsBundle,
    AppIsBlockedOrAllowed,
    AppMatches,
    Path,
    Rule,
    Ignored,
    Hardcoded,
    Record,
    Type,
    Count
};
constexpr QLatin1StringView kKeyNames[] = {
    QLatin1StringView("PalisorClassName"),
    QLatin1StringView("appName"),
    QLatin1StringView("appPath"),
    QLatin1StringView("appBinaries"),
    QLatin1StringView("appIsBundle"),
    QLatin1StringView("appIsBlockedOrAllowed"),
    QLatin1StringView("appMatches"),
    QLatin1StringView("path"),
    QLatin1StringView("rule"),
    QLatin1StringView("ignored"),
    QLatin1StringView("hardcoded"),
    QLatin1StringView("record"),
    QLatin1StringView("type"),
};
static_assert(std::size(kKeyNames) == size_t(Key::Count));

QLatin1StringView nameOf(Key key)
{
    return kKeyNames[size_t(key)];
}

// The names as map keys, made once.
const QString& keyString(Key key)
{
    static const std::array<QString, size_t(Key::Count)> strings = [] {
        std::array<QString, size_t(Key::Count)> made;
        for (size_t i = 0; i < made.size(); ++i)
            made[i] = QString(kKeyNames[i]);
        return made;
    }();
    return strings[size_t(key)];
}

// A record of the plain form, read from its value tree.
class VariantRecord
{
public:
    explicit VariantRecord(const QVariant& element)
        : m_map(element.toMap())
        , m_kind(m_map.value(kClassName).toString())
    {
    }
    const QString& kind() const { return m_kind; }
    bool has(Key key) const { return m_map.contains(keyString(key)); }
    template <typename T> std::optional<T> value(Key key) const
    {
        const QVariant v = m_map.value(keyString(key));
        if constexpr (std::is_same_v<T, QString>)
            return PAConfigurationRecords::stringValue(v);
        else if constexpr (std::is_same_v<T, qint64>)
            return PAConfigurationRecords::intValue(v);
        else if constexpr (std::is_same_v<T, bool>)
            return PAConfigurationRecords::boolValue(v);
        else
            return PAConfigurationRecords::stringListValue(v);
    }
    QVariantMap map() const { return m_map; }
    bool tooLong(Key key) const
    {
        const QVariant v = m_map.value(keyString(key));
        if (v.typeId() == QMetaType::QString)
            return v.toString().size() > PAConfigurationRecords::kMaxTextLength;
        if (v.typeId() != QMetaType::QVariantList)
            return false;
        const QVariantList list = v.toList();
        return std::any_of(list.cbegin(), list.cend(), [](const QVariant& item) {
            return item.toString().size() > PAConfigurationRecords::kMaxTextLength;
        });
    }

private:
    QVariantMap m_map;
    QString m_kind;
};

bool textTooLong(const QString& text)
{
    return text.size() > PAConfigurationRecords::kMaxTextLength;
}

bool textTooLong(const QStringList& texts)
{
    return std::any_of(texts.cbegin(), texts.cend(), [](const QString& text) { return textTooLong(text); });
}

template <typename Record, typename T> bool take(const Record& record, Key key, T& out, QString* error)
{
    if (!record.has(key))
        return fail(error, QStringLiteral("a %1 record has no \"%2\"").arg(record.kind(), nameOf(key)));
    std::optional<T> value = record.template value<T>(key);
    if constexpr (std::is_same_v<T, QString> || std::is_same_v<T, QStringList>) {
        // The archived form refuses an overlong text before making it.
        if (!value ? record.tooLong(key) : textTooLong(*value))
            return fail(error, QStringLiteral("a %1 record's \"%2\" is longer than a path can be")
                                   .arg(record.kind(), nameOf(key)));
    }
    if (!value)
        return fail(
            error, QStringLiteral("a %1 record's \"%2\" is not of its type").arg(record.kind(), nameOf(key)));
    out = std::move(*value);
    return true;
}

// The checks every record passes, whichever form it comes in. Records of
// any other kind are not ours to read, but a newer writer's: they are kept
// as they are, with their index, to be written back in place.
template <typename Record>
bool readRecord(const Record& record, qsizetype index, PAConfigurationRecords::Configuration& configuration,
                QString* error)
{
    const QString& kind = record.kind();
    if (kind == QLatin1String("PAApplication")) {
        PAConfigurationRecords::AppRecord app;
        if (!take(record, Key::AppName, app.appName, error) ||
            !take(record, Key::AppPath, app.appPath, error) ||
            !take(record, Key::AppBinaries, app.appBinaries, error) ||
            !take(record, Key::AppIsBundle, app.appIsBundle, error) ||
            !take(record, Key::AppIsBlockedOrAllowed, app.appIsBlockedOrAllowed, error) ||
            !take(record, Key::AppMatches, app.appMatches, error))
            return false;
        // Every later step indexes by the state: one it does not know is a
        // damaged file, not an app to show.
        if (app.appIsBlockedOrAllowed < 0 || app.appIsBlockedOrAllowed > 4)
            return fail(error, QStringLiteral("a PAApplication record's \"appIsBlockedOrAllowed\" is out of "
                                              "range (%1)")
                                   .arg(app.appIsBlockedOrAllowed));
        configuration.apps.push_back(std::move(app));
    } else if (kind == QLatin1String("PAPreferences")) {
        configuration.preferences.push_back(record.map());
    } else if (kind == QLatin1String("PAExclusion")) {
        PAConfigurationRecords::ExclusionRecord folder;
        if (!take(record, Key::Path, folder.path, error) || !take(record, Key::Rule, folder.rule, error) ||
            !take(record, Key::Ignored, folder.ignored, error) ||
            !take(record, Key::Hardcoded, folder.hardcoded, error))
            return false;
        configuration.exclusions.push_back(std::move(folder));
    } else if (kind == QLatin1String("PAManagedRecords")) {
        PAConfigurationRecords::ManagedRecord rule;
        if (!take(record, Key::Record, rule.record, error) || !take(record, Key::Rule, rule.rule, error) ||
            !take(record, Key::Type, rule.type, error))
            return false;
        configuration.records.push_back(std::move(rule));
    } else {
        configuration.unread.push_back({record.map(), index});
    }
    return true;
}

bool holdsKnownRecord(const PAConfigurationRecords::Configuration& configuration)
{
    return !configuration.apps.empty() || !configuration.preferences.empty() ||
           !configuration.exclusions.empty() || !configuration.records.empty();
}

QString elementFault(const char* what, bool dictionary)
{
    return dictionary
               ? QStringLiteral("an element of the %1 has no \"PalisorClassName\"").arg(QLatin1String(what))
               : QStringLiteral("an element of the %1 is not a dictionary").arg(QLatin1String(what));
}

// Every element a dictionary with a string "PalisorClassName".
bool checkElements(const QVariantList& array, const char* what, QString* error)
{
    for (const QVariant& element : array) {
        if (element.typeId() != QMetaType::QVariantMap)
            return fail(error, elementFault(what, false));
        if (element.toMap().value(kClassName).typeId() != QMetaType::QString)
            return fail(error, elementFault(what, true));
    }
    return true;
}

// The records of a keyed archive, read where they lie once the whole archive
// has passed KeyedArchiveReader::check(): no value tree is built for the
// thousands of apps a configuration may hold, only what the records keep.
class ArchivedRecords
{
public:
    using Item = KeyedArchiveReader::Item;
    using Kind = KeyedArchiveReader::Kind;

    explicit ArchivedRecords(KeyedArchiveReader& reader)
        : m_reader(reader)
        , m_keys(reader.objectCount(), kUnread)
        , m_strings(reader.objectCount())
        , m_stringRead(reader.objectCount(), false)
    {
    }

    // The archived array's elements, checked as the plain form's are, then
    // read as records. As with a value tree, a fault in any element's shape
    // outweighs one in an earlier record's values.
    bool read(PAConfigurationRecords::Configuration& configuration, QString* error);

    KeyedArchiveReader& reader() { return m_reader; }
    // Which of our keys the string under a UID is, or -1.
    int keyOf(uint64_t uid);
    // A text longer than maxLength (when not negative) is not made.
    std::optional<QString> string(uint64_t uid, qsizetype maxLength = -1);
    std::optional<QStringList> strings(uint64_t uid, qsizetype maxLength);
    // Whether the text under a UID, or a text of the array there, is longer
    // than a record may hold.
    bool tooLong(uint64_t uid);
    // The value under a UID as the value tree would hold it.
    QVariant variant(uint64_t uid);

private:
    static constexpr int8_t kUnread = -2;

    KeyedArchiveReader& m_reader;
    // keyOf() by UID: record keys are shared by every record.
    std::vector<int8_t> m_keys;
    // Each archived string made once: the same few matches and paths recur
    // in thousands of records, and the records then share one copy.
    std::vector<QString> m_strings;
    std::vector<bool> m_stringRead;
    // variant() of the containers made so far.
    std::unordered_map<uint64_t, QVariant> m_containers;
};

// One archived dictionary: the value of each key we read, the last of
// duplicate keys counting as in a value tree.
class ArchivedRecord
{
public:
    ArchivedRecord(ArchivedRecords& archive, uint64_t uid, const KeyedArchiveReader::Item& dictionary)
        : m_archive(archive)
        , m_uid(uid)
    {
        for (uint64_t i = 0; i < dictionary.keys.count; ++i) {
            uint64_t keyUid = 0;
            uint64_t valueUid = 0;
            if (!archive.reader().uidAt(dictionary.keys, i, keyUid) ||
                !archive.reader().uidAt(dictionary.objects, i, valueUid))
                continue;
            const int key = archive.keyOf(keyUid);
            if (key >= 0)
                m_values[key] = valueUid;
        }
        // UID 0 is $null, never a value in an archive that passed its check.
        if (const uint64_t kind = m_values[size_t(Key::ClassName)]) {
            std::optional<QString> text = archive.string(kind);
            m_hasKind = text.has_value();
            m_kind = std::move(text).value_or(QString());
        }
    }

    bool hasKind() const { return m_hasKind; }
    const QString& kind() const { return m_kind; }
    bool has(Key key) const { return m_values[size_t(key)] != 0; }
    template <typename T> std::optional<T> value(Key key) const
    {
        const uint64_t uid = m_values[size_t(key)];
        if constexpr (std::is_same_v<T, QString>)
            return m_archive.string(uid, PAConfigurationRecords::kMaxTextLength);
        else if constexpr (std::is_same_v<T, QStringList>)
            return m_archive.strings(uid, PAConfigurationRecords::kMaxTextLength);
        else if constexpr (std::is_same_v<T, qint64>)
            return PAConfigurationRecords::intValue(m_scalar(uid));
        else
            return PAConfigurationRecords::boolValue(m_scalar(uid));
    }
    QVariantMap map() const { return m_archive.variant(m_uid).toMap(); }
    bool tooLong(Key key) const { return m_archive.tooLong(m_values[size_t(key)]); }

private:
    // Numbers and booleans; anything else converts to neither.
    QVariant m_scalar(uint64_t uid) const
    {
        KeyedArchiveReader::Item item;
        if (!m_archive.reader().item(uid, item))
            return {};
        return KeyedArchiveReader::plainValue(item);
    }

    ArchivedRecords& m_archive;
    uint64_t m_uid;
    uint64_t m_values[size_t(Key::Count)] = {};
    QString m_kind;
    bool m_hasKind = false;
};

int ArchivedRecords::keyOf(uint64_t uid)
{
    if (uid >= m_keys.size())
        return -1;
    if (m_keys[uid] == kUnread) {
        m_keys[uid] = -1;
        Item item;
        if (m_reader.item(uid, item) && item.kind == Kind::String)
            for (size_t key = 0; key < size_t(Key::Count); ++key)
                if (BinaryPlistReader::textEquals(item.value, kKeyNames[key]))
                    m_keys[uid] = static_cast<int8_t>(key);
    }
    return m_keys[uid];
}

std::optional<QString> ArchivedRecords::string(uint64_t uid, qsizetype maxLength)
{
    if (uid < m_stringRead.size() && m_stringRead[uid]) {
        if (maxLength >= 0 && m_strings[uid].size() > maxLength)
            return std::nullopt;
        return m_strings[uid];
    }
    Item item;
    if (!m_reader.item(uid, item) || item.kind != Kind::String)
        return std::nullopt;
    if (maxLength >= 0 && item.value.count > uint64_t(maxLength))
        return std::nullopt;
    QString text = BinaryPlistReader::text(item.value);
    if (uid < m_stringRead.size()) {
        m_strings[uid] = text;
        m_stringRead[uid] = true;
    }
    return text;
}

bool ArchivedRecords::tooLong(uint64_t uid)
{
    const auto longText = [this](uint64_t textUid) {
        Item text;
        return m_reader.item(textUid, text) && text.kind == Kind::String &&
               text.value.count > uint64_t(PAConfigurationRecords::kMaxTextLength);
    };
    Item item;
    if (!m_reader.item(uid, item))
        return false;
    if (item.kind != Kind::Array)
        return longText(uid);
    for (uint64_t i = 0; i < item.objects.count; ++i) {
        uint64_t child = 0;
        if (m_reader.uidAt(item.objects, i, child) && longText(child))
            return true;
    }
    return false;
}

std::optional<QStringList> ArchivedRecords::strings(uint64_t uid, qsizetype maxLength)
{
    Item item;
    if (!m_reader.item(uid, item) || item.kind != Kind::Array)
        return std::nullopt;
    QStringList list;
    list.reserve(static_cast<qsizetype>(item.objects.count));
    for (uint64_t i = 0; i < item.objects.count; ++i) {
        uint64_t child = 0;
        std::optional<QString> text;
        if (!m_reader.uidAt(item.objects, i, child) || !(text = string(child, maxLength)))
            return std::nullopt;
        list.append(std::move(*text));
    }
    return list;
}

// Recursion as deep as the archive's check allowed.
QVariant ArchivedRecords::variant(uint64_t uid)
{
    // A container that recurs is made once and shared, as the archive shares
    // it: within the read bounds a value may still recur millions of times.
    if (const auto made = m_containers.find(uid); made != m_containers.end())
        return made->second;
    Item item;
    if (!m_reader.item(uid, item))
        return {};
    QVariant value;
    switch (item.kind) {
    case Kind::Boolean:
    case Kind::Integer:
    case Kind::Real:
    case Kind::String:
    case Kind::Data:
        return KeyedArchiveReader::plainValue(item);
    case Kind::Array: {
        QVariantList list;
        list.reserve(static_cast<qsizetype>(item.objects.count));
        for (uint64_t i = 0; i < item.objects.count; ++i) {
            uint64_t child = 0;
            if (m_reader.uidAt(item.objects, i, child))
                list.append(variant(child));
        }
        value = QVariant(std::move(list));
        break;
    }
    case Kind::Dictionary: {
        QVariantMap map;
        for (uint64_t i = 0; i < item.keys.count; ++i) {
            uint64_t keyUid = 0;
            uint64_t valueUid = 0;
            if (m_reader.uidAt(item.keys, i, keyUid) && m_reader.uidAt(item.objects, i, valueUid))
                map.insert(string(keyUid).value_or(QString()), variant(valueUid));
        }
        value = QVariant(std::move(map));
        break;
    }
    }
    m_containers.emplace(uid, value);
    return value;
}

bool ArchivedRecords::read(PAConfigurationRecords::Configuration& configuration, QString* error)
{
    constexpr char what[] = "archived record array";
    Item root;
    if (!m_reader.item(m_reader.rootUid(), root))
        return fail(error, m_reader.error());
    QString recordFault;
    bool recordFailed = false;
    for (uint64_t i = 0; i < root.objects.count; ++i) {
        uint64_t uid = 0;
        Item element;
        if (!m_reader.uidAt(root.objects, i, uid) || !m_reader.item(uid, element) ||
            element.kind != Kind::Dictionary)
            return fail(error, elementFault(what, false));
        const ArchivedRecord record(*this, uid, element);
        if (!record.hasKind())
            return fail(error, elementFault(what, true));
        if (!recordFailed)
            recordFailed = !readRecord(record, qsizetype(i), configuration, &recordFault);
    }
    return !recordFailed || fail(error, recordFault);
}

} // namespace

std::optional<bool> PAConfigurationRecords::boolValue(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::LongLong:
    case QMetaType::Int: {
        const qint64 number = value.toLongLong();
        if (number == 0 || number == 1)
            return number == 1;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<qint64> PAConfigurationRecords::intValue(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        return value.toLongLong();
    case QMetaType::Bool:
        return value.toBool() ? 1 : 0;
    case QMetaType::Double: {
        const double number = value.toDouble();
        if (std::isfinite(number) && std::trunc(number) == number && std::fabs(number) < 9.0e15)
            return static_cast<qint64>(number);
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<double> PAConfigurationRecords::doubleValue(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::LongLong:
    case QMetaType::Int:
        return value.toDouble();
    default:
        return std::nullopt;
    }
}

std::optional<QString> PAConfigurationRecords::stringValue(const QVariant& value)
{
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

std::optional<QStringList> PAConfigurationRecords::stringListValue(const QVariant& value)
{
    if (value.typeId() != QMetaType::QVariantList)
        return std::nullopt;
    QStringList strings;
    const QVariantList list = value.toList();
    strings.reserve(list.size());
    for (const QVariant& item : list) {
        if (item.typeId() != QMetaType::QString)
            return std::nullopt;
        strings.append(item.toString());
    }
    return strings;
}

QVariantMap PAConfigurationRecords::preferencesRecord()
{
    QVariantMap p = PASettings::recordValues();
    p[kClassName] = QStringLiteral("PAPreferences");
    return p;
}

QVariantList PAConfigurationRecords::recordArray()
{
    QVariantList array;
    array.reserve(1 + qsizetype(exclusionsList.size() + recordsList.size() + sharedAppsLibrary.size()));
    array.append(preferencesRecord());
    for (const auto& folder : exclusionsList) {
        if (!folder || folder->hardcoded())
            continue;
        array.append(QVariantMap{
            {kClassName, QStringLiteral("PAExclusion")},
            {QStringLiteral("path"), folder->path()},
            {QStringLiteral("rule"), qlonglong(folder->rule())},
            {QStringLiteral("ignored"), folder->ignored()},
            {QStringLiteral("hardcoded"), folder->hardcoded()},
        });
    }
    for (const auto& rule : recordsList) {
        if (!rule)
            continue;
        array.append(QVariantMap{
            {kClassName, QStringLiteral("PAManagedRecords")},
            {QStringLiteral("record"), rule->record()},
            {QStringLiteral("type"), qlonglong(rule->type())},
            {QStringLiteral("rule"), qlonglong(rule->rule())},
        });
    }
    for (const auto& app : sharedAppsLibrary) {
        if (!app)
            continue;
        // Under a temporary rule an app is stored as it was saved, or not at
        // all when it was learnt with that rule.
        const std::optional<PAApplication::SavedRule>& saved = app->savedRule();
        if (app->appHasTimer() && !saved)
            continue;
        const bool asSaved = app->appHasTimer() && saved;
        array.append(QVariantMap{
            {kClassName, QStringLiteral("PAApplication")},
            {QStringLiteral("appName"), app->appName()},
            {QStringLiteral("appPath"), app->appPath()},
            {QStringLiteral("appBinaries"), QVariant(app->appBinaries())},
            {QStringLiteral("appIsBundle"), app->appIsBundle()},
            {QStringLiteral("appIsBlockedOrAllowed"),
             qlonglong(asSaved ? saved->state : app->appIsBlockedOrAllowed())},
            {QStringLiteral("appMatches"), QVariant(asSaved ? saved->matches : app->appMatches())},
        });
    }
    // In file order, so each goes where it was while the records around it
    // stay as they were read.
    for (const UnreadRecord& unread : unreadRecords)
        array.insert(std::min(unread.index, array.size()), unread.record);
    return array;
}

QVariantMap PAConfigurationRecords::wrapper(const QVariantList& array)
{
    QByteArray archive = KeyedArchive::archive(QVariant(array));
    if (archive.isEmpty()) {
        // A plain file's record of an unread kind may hold a date or a UID,
        // which an archive of plain classes cannot carry: that record stays
        // out, rather than the whole configuration going as no data.
        QVariantList carried;
        for (const QVariant& record : array)
            if (!KeyedArchive::archive(QVariant(QVariantList{record})).isEmpty())
                carried.append(record);
        qCWarning(lcConfiguration).noquote()
            << QStringLiteral("%1 configuration record(s) hold values an archive cannot carry (dates or "
                              "UIDs) and are left out of the encoded configuration")
                   .arg(array.size() - carried.size());
        archive = KeyedArchive::archive(QVariant(carried));
    }
    return QVariantMap{
        {kClassName, kWrapperClass},
        {kWrapperClass, archive},
        {QStringLiteral("PalisorVersion"), configurationVersion.value()},
    };
}

bool PAConfigurationRecords::checkRecordCount(uint64_t count, QString* error)
{
    if (count <= kMaxRecords)
        return true;
    return fail(error, QStringLiteral("it holds %1 records, more than the %2 a configuration may hold")
                           .arg(count)
                           .arg(kMaxRecords));
}

std::optional<PAConfigurationRecords::Configuration> PAConfigurationRecords::parseData(const QByteArray& data,
                                                                                       QString* error)
{
    QString reason;
    const std::optional<QVariant> content = PropertyList::fromData(data, &reason);
    if (!content) {
        fail(error, QStringLiteral("not a property list (%1)").arg(reason));
        return std::nullopt;
    }
    return parse(*content, error);
}

std::optional<PAConfigurationRecords::Configuration> PAConfigurationRecords::parse(const QVariant& content,
                                                                                   QString* error)
{
    if (content.typeId() != QMetaType::QVariantList) {
        fail(error, QStringLiteral("the file is not a property-list array"));
        return std::nullopt;
    }
    const QVariantList fileArray = content.toList();
    if (!checkRecordCount(uint64_t(fileArray.size()), error) || !checkElements(fileArray, "file", error))
        return std::nullopt;

    int wrappers = 0;
    for (const QVariant& element : fileArray)
        if (element.toMap().value(kClassName).toString() == kWrapperClass)
            ++wrappers;

    Configuration configuration;
    // Exactly one wrapper makes an encoded file; none or several, a plain one.
    if (wrappers == 1) {
        std::optional<KeyedArchiveReader> archive;
        for (const QVariant& element : fileArray) {
            const QVariantMap map = element.toMap();
            const auto it = map.constFind(kWrapperClass);
            if (it == map.constEnd())
                continue;
            if (it->typeId() != QMetaType::QByteArray) {
                fail(error, QStringLiteral("the wrapper's \"PalisorConfiguration\" is not data"));
                return std::nullopt;
            }
            archive.emplace();
            if (!archive->open(it->toByteArray()) || !archive->check()) {
                fail(error, QStringLiteral("the wrapper's archive is malformed (%1)").arg(archive->error()));
                return std::nullopt;
            }
            KeyedArchiveReader::Item root;
            if (!archive->item(archive->rootUid(), root) || root.kind != KeyedArchiveReader::Kind::Array) {
                fail(error, QStringLiteral("the wrapper's archive does not hold an array"));
                return std::nullopt;
            }
            if (!checkRecordCount(root.objects.count, error))
                return std::nullopt;
        }
        if (!archive) {
            fail(error, QStringLiteral("the wrapper holds no \"PalisorConfiguration\""));
            return std::nullopt;
        }
        if (!ArchivedRecords(*archive).read(configuration, error))
            return std::nullopt;
    } else {
        for (qsizetype i = 0; i < fileArray.size(); ++i)
            if (!readRecord(VariantRecord(fileArray.at(i)), i, configuration, error))
                return std::nullopt;
    }
    // A flipped bit in the wrapper's class, say, leaves records of no kind
    // we read: running on as an empty configuration would pass every app and
    // send the empty rule set back at exit.
    if (!holdsKnownRecord(configuration)) {
        fail(error, QStringLiteral("it holds no record of a kind this agent reads"));
        return std::nullopt;
    }
    return configuration;
}
