#include "setup/PACustomPresetsWindowController.h"

#include "core/AgentLog.h"
#include "platform/KeyedArchive.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>

namespace {

const QString kClassName = QStringLiteral("PalisorClassName");
const QString kWrapperClass = QStringLiteral("PalisorConfiguration");
const QString kPreferencesClass = QStringLiteral("PAPreferences");

bool isConfigurationWrapper(const QVariant& element)
{
    return element.typeId() == QMetaType::QVariantMap &&
           element.toMap().value(kClassName).toString() == kWrapperClass;
}

bool isPreferencesRecord(const QVariantMap& record)
{
    const QVariant className = record.value(kClassName);
    return className.typeId() == QMetaType::QString && className.toString() == kPreferencesClass;
}

// A preset value that is not text reads as empty rather than as its conversion.
QString textValue(const QVariantMap& record, const QString& key)
{
    const QVariant value = record.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

} // namespace

PACustomPresetsWindowController::PACustomPresetsWindowController(QObject* parent)
    : QObject(parent)
    , customPresetsLibraryController(new ArrayController<PACustomPreset>(this))
{
    customPresetsLibraryController->setContent(&customPresetsLibrary);
}

PACustomPresetsWindowController::~PACustomPresetsWindowController()
{
    // The controller outlives this member list as a child; unbind before the list goes.
    customPresetsLibraryController->setContent(nullptr);
}

QString PACustomPresetsWindowController::thePath()
{
    return Paths::system(QStringLiteral("/Users/Shared/Palisor/"));
}

QString PACustomPresetsWindowController::randomCharacterFunc(int length)
{
    static const QString alphabet = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789");
    QString result;
    result.reserve(qMax(length, 0));
    for (int i = 0; i < length; ++i)
        result.append(alphabet.at(static_cast<int>(QRandomGenerator::system()->bounded(36))));
    return result;
}

QVariantList PACustomPresetsWindowController::getPalisorConf(const QString& path) const
{
    QString error;
    const std::optional<QVariant> content = PropertyList::readFile(path, &error);
    if (!content || content->typeId() != QMetaType::QVariantList) {
        qCWarning(lcConfiguration, "Custom presets: %s is not a configuration array%s%s",
                  qUtf8Printable(path), error.isEmpty() ? "" : ": ", qUtf8Printable(error));
        return {};
    }
    const QVariantList array = content->toList();

    QVariantList records = array;
    const auto wrappers = std::count_if(array.cbegin(), array.cend(), isConfigurationWrapper);
    if (wrappers == 1) {
        const QVariantMap wrapper =
            std::find_if(array.cbegin(), array.cend(), isConfigurationWrapper)->toMap();
        const QVariant data = wrapper.value(kWrapperClass);
        const std::optional<QVariant> unarchived = data.typeId() == QMetaType::QByteArray
                                                       ? KeyedArchive::unarchive(data.toByteArray(), &error)
                                                       : std::nullopt;
        if (!unarchived || unarchived->typeId() != QMetaType::QVariantList) {
            qCWarning(lcConfiguration, "Custom presets: the configuration in %s cannot be unarchived%s%s",
                      qUtf8Printable(path), error.isEmpty() ? "" : ": ", qUtf8Printable(error));
            return {};
        }
        records = unarchived->toList();
    }

    // Only dictionaries are records; anything else in the array is left out.
    QVariantList result;
    for (const QVariant& record : records) {
        if (record.typeId() == QMetaType::QVariantMap)
            result.append(record);
    }
    return result;
}

QList<QVariantMap> PACustomPresetsWindowController::m_preferencesRecords(const QString& path) const
{
    QList<QVariantMap> preferences;
    for (const QVariant& record : getPalisorConf(path)) {
        const QVariantMap map = record.toMap();
        if (isPreferencesRecord(map))
            preferences.append(map);
    }
    return preferences;
}

QString PACustomPresetsWindowController::readPresetValue(const QString& path, const QString& key) const
{
    if (!QFileInfo::exists(path))
        return {};
    for (const QVariantMap& record : m_preferencesRecords(path)) {
        if (record.contains(key))
            return textValue(record, key);
    }
    return {};
}

QString PACustomPresetsWindowController::getPresetNameFromFile(const QString& path) const
{
    return readPresetValue(path, QStringLiteral("presetName"));
}

QString PACustomPresetsWindowController::getLocationIDFromFile(const QString& path) const
{
    return readPresetValue(path, QStringLiteral("presetLocationID"));
}

QString PACustomPresetsWindowController::getLocationNameFromFile(const QString& path) const
{
    return readPresetValue(path, QStringLiteral("presetLocationName"));
}

QString PACustomPresetsWindowController::getNameOfPreset(const QString& path) const
{
    return readPresetValue(path, QStringLiteral("presetName"));
}

QStringList PACustomPresetsWindowController::m_presetEntries()
{
    const QString folder = thePath();
    const QDir dir(folder);
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString entry = dir.relativeFilePath(it.next());
        if (entry.endsWith(QLatin1String("plist")))
            entries.append(entry);
    }
    return entries;
}

QString PACustomPresetsWindowController::getPathOfPresetWithLocationID(const QString& id) const
{
    const QString folder = thePath();
    if (!QFileInfo::exists(folder))
        return {};
    for (const QString& entry : m_presetEntries()) {
        for (const QVariantMap& record : m_preferencesRecords(folder + entry)) {
            if (textValue(record, QStringLiteral("presetLocationID")) == id)
                return folder + entry;
        }
    }
    return {};
}

void PACustomPresetsWindowController::displayAllCustomPresets()
{
    customPresetsLibrary.clear();
    customPresetsLibraryController->setContent(&customPresetsLibrary);
    alreadyUsedLocationsIDs.clear();

    const QString folder = thePath();
    if (!QFileInfo::exists(folder)) {
        if (!QDir().mkpath(folder))
            qCWarning(lcConfiguration, "Custom presets: cannot create %s", qUtf8Printable(folder));
        return;
    }

    for (const QString& entry : m_presetEntries()) {
        auto preset = std::make_shared<PACustomPreset>();
        // With several preferences records the last one wins.
        for (const QVariantMap& record : m_preferencesRecords(folder + entry)) {
            preset->setPresetName(textValue(record, QStringLiteral("presetName")));
            preset->setPresetDescription(textValue(record, QStringLiteral("presetDescription")));
            preset->setPresetLocationID(textValue(record, QStringLiteral("presetLocationID")));
            preset->setPresetLocationName(textValue(record, QStringLiteral("presetLocationName")));
            preset->setPresetPath(folder + entry);
        }
        customPresetsLibraryController->addObject(preset);
        if (!preset->presetLocationID().isEmpty())
            alreadyUsedLocationsIDs.append(preset->presetLocationID());
    }
}
