#include "core/PAConfigurationRecords.h"

#include "core/PAApplication.h"
#include "core/PAExclusion.h"
#include "core/PAManagedRecords.h"
#include "core/PAPreferenceTable.h"
#include "core/SharedState.h"
#include "platform/KeyedArchive.h"
#include "platform/PropertyList.h"

#include <cmath>

namespace {

const QString kClassName = QStringLiteral("PalisorClassName");
const QString kWrapperClass = QStringLiteral("PalisorConfiguration");

bool fail(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return false;
}

template <typename T>
bool take(const QVariantMap& record, const char* key, std::optional<T> (*convert)(const QVariant&), T& out,
          QString* error)
{
    const auto it = record.constFind(QLatin1String(key));
    if (it == record.constEnd())
        return fail(error, QStringLiteral("a %1 record has no \"%2\"")
                               .arg(record.value(kClassName).toString(), QLatin1String(key)));
    const std::optional<T> value = convert(it.value());
    if (!value)
        return fail(error, QStringLiteral("a %1 record's \"%2\" is not of its type")
                               .arg(record.value(kClassName).toString(), QLatin1String(key)));
    out = *value;
    return true;
}

bool takeString(const QVariantMap& r, const char* key, QString& out, QString* error)
{
    return take<QString>(r, key, &PAConfigurationRecords::stringValue, out, error);
}
bool takeInt(const QVariantMap& r, const char* key, qint64& out, QString* error)
{
    return take<qint64>(r, key, &PAConfigurationRecords::intValue, out, error);
}
bool takeBool(const QVariantMap& r, const char* key, bool& out, QString* error)
{
    return take<bool>(r, key, &PAConfigurationRecords::boolValue, out, error);
}
bool takeStrings(const QVariantMap& r, const char* key, QStringList& out, QString* error)
{
    return take<QStringList>(r, key, &PAConfigurationRecords::stringListValue, out, error);
}

// Every element a dictionary with a string "PalisorClassName".
bool checkElements(const QVariantList& array, const char* what, QString* error)
{
    for (const QVariant& element : array) {
        if (element.typeId() != QMetaType::QVariantMap)
            return fail(error,
                        QStringLiteral("an element of the %1 is not a dictionary").arg(QLatin1String(what)));
        if (element.toMap().value(kClassName).typeId() != QMetaType::QString)
            return fail(
                error,
                QStringLiteral("an element of the %1 has no \"PalisorClassName\"").arg(QLatin1String(what)));
    }
    return true;
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
    return array;
}

QVariantMap PAConfigurationRecords::wrapper(const QVariantList& array)
{
    return QVariantMap{
        {kClassName, kWrapperClass},
        {kWrapperClass, KeyedArchive::archive(QVariant(array))},
        {QStringLiteral("PalisorVersion"), configurationVersion},
    };
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
    if (!checkElements(fileArray, "file", error))
        return std::nullopt;

    int wrappers = 0;
    for (const QVariant& element : fileArray)
        if (element.toMap().value(kClassName).toString() == kWrapperClass)
            ++wrappers;

    // Exactly one wrapper makes an encoded file; none or several, a plain one.
    QVariantList records;
    if (wrappers == 1) {
        for (const QVariant& element : fileArray) {
            const QVariantMap map = element.toMap();
            const auto it = map.constFind(kWrapperClass);
            if (it == map.constEnd())
                continue;
            if (it->typeId() != QMetaType::QByteArray) {
                fail(error, QStringLiteral("the wrapper's \"PalisorConfiguration\" is not data"));
                return std::nullopt;
            }
            QString reason;
            const std::optional<QVariant> unarchived = KeyedArchive::unarchive(it->toByteArray(), &reason);
            if (!unarchived || unarchived->typeId() != QMetaType::QVariantList) {
                fail(error, unarchived
                                ? QStringLiteral("the wrapper's archive does not hold an array")
                                : QStringLiteral("the wrapper's archive is malformed (%1)").arg(reason));
                return std::nullopt;
            }
            records = unarchived->toList();
        }
        if (!checkElements(records, "archived record array", error))
            return std::nullopt;
    } else {
        records = fileArray;
    }

    Configuration configuration;
    for (const QVariant& element : records) {
        const QVariantMap record = element.toMap();
        const QString kind = record.value(kClassName).toString();
        if (kind == QLatin1String("PAApplication")) {
            AppRecord app;
            if (!takeString(record, "appName", app.appName, error) ||
                !takeString(record, "appPath", app.appPath, error) ||
                !takeStrings(record, "appBinaries", app.appBinaries, error) ||
                !takeBool(record, "appIsBundle", app.appIsBundle, error) ||
                !takeInt(record, "appIsBlockedOrAllowed", app.appIsBlockedOrAllowed, error) ||
                !takeStrings(record, "appMatches", app.appMatches, error))
                return std::nullopt;
            configuration.apps.push_back(std::move(app));
        } else if (kind == QLatin1String("PAPreferences")) {
            configuration.preferences.push_back(record);
        } else if (kind == QLatin1String("PAExclusion")) {
            ExclusionRecord folder;
            if (!takeString(record, "path", folder.path, error) ||
                !takeInt(record, "rule", folder.rule, error) ||
                !takeBool(record, "ignored", folder.ignored, error) ||
                !takeBool(record, "hardcoded", folder.hardcoded, error))
                return std::nullopt;
            configuration.exclusions.push_back(std::move(folder));
        } else if (kind == QLatin1String("PAManagedRecords")) {
            ManagedRecord rule;
            if (!takeString(record, "record", rule.record, error) ||
                !takeInt(record, "rule", rule.rule, error) || !takeInt(record, "type", rule.type, error))
                return std::nullopt;
            configuration.records.push_back(std::move(rule));
        }
        // Records of any other kind are not ours to read.
    }
    return configuration;
}
