#include "core/PAPreferenceTable.h"

#include "core/AgentLog.h"
#include "core/PAConfigurationRecords.h"
#include "core/SharedState.h"
#include "core/UserDefaultsPalisor.h"
#include "platform/SystemColors.h"
#include "platform/UserDefaults.h"

#include <limits>

#define PALISOR_DEFINE_SETTING(type, name, initial, ...) PASettingValue<type> name{#name, initial};
PALISOR_SETTINGS(PALISOR_DEFINE_SETTING)
#undef PALISOR_DEFINE_SETTING

namespace {

// A stored value read as the setting's type; nullopt for a value of another
// type. The stored forms carry a Bool as 0/1 and an Int as a whole real.
std::optional<PASetting::Value> readAs(const PASetting::Target& target, const QVariant& stored)
{
    return std::visit(
        [&stored](auto* variable) -> std::optional<PASetting::Value> {
            using T = std::remove_pointer_t<decltype(variable)>;
            if constexpr (std::is_same_v<T, bool>) {
                if (const auto value = PAConfigurationRecords::boolValue(stored))
                    return *value;
            } else if constexpr (std::is_same_v<T, int>) {
                if (const auto value = PAConfigurationRecords::intValue(stored))
                    return static_cast<int>(*value);
            } else if constexpr (std::is_same_v<T, double>) {
                if (const auto value = PAConfigurationRecords::doubleValue(stored))
                    return *value;
            } else {
                if (const auto value = PAConfigurationRecords::stringValue(stored))
                    return *value;
            }
            return std::nullopt;
        },
        target);
}

// Writes a row's variable, and announces the change as the setting's own
// assignment would.
void assign(const PASetting& row, const PASetting::Value& value)
{
    const bool changed = std::visit(
        [&value](auto* variable) {
            using T = std::remove_pointer_t<decltype(variable)>;
            const T& next = std::get<T>(value);
            const bool differs = *variable != next;
            *variable = next;
            return differs;
        },
        row.target);
    if (changed)
        PASettings::announceChange(row.name);
}

QVariant stored(const PASetting::Target& target)
{
    return std::visit(
        [](auto* variable) -> QVariant {
            using T = std::remove_pointer_t<decltype(variable)>;
            if constexpr (std::is_same_v<T, int>)
                return qlonglong(*variable);
            else
                return QVariant::fromValue(*variable);
        },
        target);
}

// The durations and sizes among the settings, each with the reach of the
// timer or control that it feeds.
std::optional<PARange> rangeOf(const PASetting::Target& target)
{
    const std::pair<PASetting::Target, PARange> ranges[] = {
        {notificationDefaultTime.storage(), PARange::alertMinutes()},
        {notificationsTimeOut.storage(), PARange::timerSeconds()},
        {quietTime.storage(), PARange::timerSeconds()},
        {quietMaxTime.storage(), PARange::timerSeconds()},
        {notificationWindowHeight.storage(), PARange::windowSize()},
        {xoffset.storage(), PARange::windowOffset()},
        {yoffset.storage(), PARange::windowOffset()},
        {connectionsTTL.storage(), PARange::timerSeconds()},
    };
    for (const auto& [variable, range] : ranges)
        if (variable == target)
            return range;
    return std::nullopt;
}

// What a numeric setting can hold: its range, else its type's own limits,
// which leave out NaN and the infinities. nullopt for a setting of text or
// truth values.
std::optional<PARange> reachOf(const PASetting& row)
{
    if (row.range)
        return row.range;
    if (std::holds_alternative<int*>(row.target))
        return PARange{double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())};
    if (std::holds_alternative<double*>(row.target))
        return PARange{std::numeric_limits<double>::lowest(), std::numeric_limits<double>::max()};
    return std::nullopt;
}

// Whether a stored number is one the setting cannot hold; logs it with the
// value the setting takes instead. A value that is no number is left to
// readAs, which tells it apart as a value of another type.
bool unfit(const PASetting& row, const QVariant& stored, const QString& key, const char* source,
           const PASetting::Value& instead)
{
    const std::optional<PARange> reach = reachOf(row);
    const std::optional<double> number = PAConfigurationRecords::doubleValue(stored);
    if (!reach || !number || reach->contains(*number))
        return false;
    const QString used =
        std::visit([](const auto& value) { return QVariant::fromValue(value).toString(); }, instead);
    qCWarning(
        lcConfiguration, "%s",
        qUtf8Printable(QStringLiteral("%1 key \"%2\" holds %3, outside %4; %5 is used instead")
                           .arg(QLatin1String(source), key, PARange::text(*number), reach->text(), used)));
    return true;
}

QColor initialLabelColor0()
{
    return QColor::fromRgbF(0.0f, 0.8f, 0.0f, 1.0f);
}

} // namespace

const std::vector<PASetting>& PASettings::table()
{
#define PALISOR_SETTING_ROW(type, name, initial, defaultsKey, defaultsFallback, recordKey, mode,             \
                            recordFallback)                                                                  \
    PASetting{#name,                                                                                         \
              name.storage(),                                                                                \
              PASetting::Value(type(initial)),                                                               \
              defaultsKey,                                                                                   \
              PASetting::Value(type(defaultsFallback)),                                                      \
              recordKey,                                                                                     \
              PASetting::mode,                                                                               \
              PASetting::Value(type(recordFallback)),                                                        \
              rangeOf(name.storage())},
    static const std::vector<PASetting> rows{PALISOR_SETTINGS(PALISOR_SETTING_ROW)};
#undef PALISOR_SETTING_ROW
    return rows;
}

const std::vector<PAColorSetting>& PASettings::colors()
{
    static const std::vector<PAColorSetting> rows{
        {"color0", &labelColor0, &initialLabelColor0, false, true},
        {"color1", &labelColor1, &SystemColors::red, false, true},
        {"color2", &labelColor2, &SystemColors::orange, false, true},
        {"color3", &labelColor3, &SystemColors::magenta, false, true},
        // No colour of its own until the user picks one: the ask state is drawn
        // in the theme's text colour of the moment, light or dark.
        {"color4b", &labelColor4, [] { return QColor(); }, false, true},
        {"bgColor", &notificationBackgroundColor, &SystemColors::windowBackgroundColor, true, false},
    };
    return rows;
}

QColor PASettings::initialColor(const char* defaultsKey)
{
    for (const PAColorSetting& row : colors())
        if (qstrcmp(row.defaultsKey, defaultsKey) == 0)
            return row.initial();
    return {};
}

void PASettings::reset()
{
    for (const PASetting& row : table())
        assign(row, row.initial);
    for (const PAColorSetting& row : colors())
        row.color() = row.initial();
}

void PASettings::readUserDefaults(const UserDefaults& defaults)
{
    for (const PAColorSetting& row : colors()) {
        const std::optional<QColor> value =
            UserDefaultsPalisor::colorForKey(defaults, QLatin1String(row.defaultsKey));
        if (value)
            row.color() = *value;
        else if (row.resetWhenAbsent)
            row.color() = row.initial();
    }
    for (const PASetting& row : table()) {
        if (!row.defaultsKey)
            continue;
        const QString key = QLatin1String(row.defaultsKey);
        const QVariant stored = defaults.objectForKey(key);
        std::optional<PASetting::Value> value;
        if (!unfit(row, stored, key, "User defaults", row.defaultsFallback))
            value = readAs(row.target, stored);
        assign(row, value.value_or(row.defaultsFallback));
    }
}

void PASettings::applyRecord(const QVariantMap& record, const std::function<void()>& automaticXPCAbsent)
{
    for (const PASetting& row : table()) {
        if (!row.recordKey || row.recordMode == PASetting::None || row.recordMode == PASetting::WriteOnly)
            continue;
        const QString key = QLatin1String(row.recordKey);
        const auto it = record.constFind(key);
        if (it != record.constEnd()) {
            // A number the setting cannot hold gives it its default, the
            // value at start, whatever the record mode.
            if (unfit(row, *it, key, "Configuration", row.initial)) {
                assign(row, row.initial);
                continue;
            }
            if (const std::optional<PASetting::Value> value = readAs(row.target, *it)) {
                assign(row, *value);
                continue;
            }
            // A value of another type is read as if the key were absent.
            qCWarning(
                lcConfiguration, "%s",
                qUtf8Printable(QStringLiteral("Configuration key \"%1\" has a value of another type; ignored")
                                   .arg(key)));
        }
        if (row.recordMode != PASetting::Fallback)
            continue;
        assign(row, row.recordFallback);
        if (key == QLatin1String("automaticXPC") && automaticXPCAbsent)
            automaticXPCAbsent();
    }
}

QVariantMap PASettings::recordValues()
{
    QVariantMap values;
    for (const PASetting& row : table())
        if (row.recordKey && row.recordMode != PASetting::None)
            values.insert(QLatin1String(row.recordKey), stored(row.target));
    return values;
}

void PASettings::writeColors(UserDefaults& defaults)
{
    for (const PAColorSetting& row : colors())
        if (row.writtenWithConfiguration)
            UserDefaultsPalisor::setColor(defaults, row.color(), QLatin1String(row.defaultsKey));
}
