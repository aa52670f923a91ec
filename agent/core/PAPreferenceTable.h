#pragma once

#include "core/PARange.h"
#include "core/PASettingValue.h"

#include <QColor>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <optional>
#include <variant>
#include <vector>

class UserDefaults;

// Every module-wide setting, once: its global, type and value at start; the
// user-defaults key read at launch with the value an absent key gives; the
// key of the configuration's preferences record and what the loader does
// when a record lacks it. The globals (SharedState.h), the launch-time read,
// the record's reader and writer and the tests' reset all come from here, so
// a new setting is one line below. Each global is a PASettingValue: read by
// name like the plain variable it replaces, and every change of its value is
// signalled by PASettingsTable.
//
// Columns: type, global, value at start, user-defaults key (nullptr: not
// read at launch), value when that key is absent, record key (nullptr: not in
// the record), what the record does with it, value when the record lacks it.
// Record modes: Keep (an absent key leaves the global as it is), Fallback
// (an absent key sets the last column), WriteOnly (written, never read back),
// None. Where the value at start and an absent key's value differ
// (actionTab, displayAppRulePopoverBackground) both hold: the globals start at
// the first, and the launch-time read, which always runs, sets the second.
// One row a line, so the list reads as a table.
// clang-format off
#define PALISOR_SETTINGS(X)                                                                                      \
    X(int, notificationDefaultChoice, 0, nullptr, 0, "notificationDefaultChoice", Keep, 0)                      \
    X(int, notificationDefaultTime, 10, nullptr, 0, "notificationDefaultTime", Keep, 0)                         \
    X(bool, reverseIPAddressInAppsPopover, true, nullptr, false, "reverseIPAddressInAppsPopover", Keep, false)  \
    X(bool, enableNotifications, false, nullptr, false, "enableNotifications", Keep, false)                     \
    X(double, notificationsTimeOut, 60.0, nullptr, 0.0, "notificationsTimeOut", Keep, 0.0)                      \
    X(double, quietTime, 20.0, nullptr, 0.0, "quietTime", Keep, 0.0)                                            \
    X(double, quietMaxTime, 60.0, nullptr, 0.0, "quietMaxTime", WriteOnly, 0.0)                                 \
    X(int, quietButtonState, 0, nullptr, 0, "quietButtonState", Keep, 0)                                        \
    X(double, notificationWindowHeight, 175.0, nullptr, 0.0, "notificationWindowHeight2", Keep, 0.0)            \
    X(QString, presetName, QString(), nullptr, QString(), "presetName", Keep, QString())                        \
    X(QString, presetDescription, QString(), nullptr, QString(), "presetDescription", Keep, QString())          \
    X(QString, presetLocationID, QString(), nullptr, QString(), "presetLocationID", Keep, QString())            \
    X(QString, presetLocationName, QString(), nullptr, QString(), "presetLocationName", Keep, QString())        \
    X(bool, displayAlertWhenSwitchingLocationAwarenessPreset, true,                                             \
      "displayAlertWhenSwitchingLocationAwarenessPreset", true, "displayAlertWhenSwitchingLocationAwarenessPreset", \
      Keep, false)                                                                                               \
    X(QString, windowStyle, QStringLiteral("normal"), nullptr, QString(), "windowStyle", Keep, QString())       \
    X(double, xoffset, 0.0, nullptr, 0.0, "xoffset", Keep, 0.0)                                                 \
    X(double, yoffset, 0.0, nullptr, 0.0, "yoffset", Keep, 0.0)                                                 \
    X(bool, prefsBlockRoot, true, nullptr, false, "prefsBlockRoot", Keep, false)                                \
    X(bool, activateLogging, false, nullptr, false, "activateLogging", Keep, false)                             \
    X(double, connectionsTTL, 30.0, nullptr, 0.0, "connectionsTTL", Keep, 0.0)                                  \
    X(bool, autoupdate, false, "autoUpdate", false, "autoupdate", WriteOnly, false)                             \
    X(bool, popSound, true, nullptr, false, "popSound", Fallback, false)                                        \
    X(QString, soundName, QStringLiteral("Bottle"), nullptr, QString(), "soundName", Fallback,                  \
      QStringLiteral("Morse"))                                                                                   \
    X(bool, passAppWhenNotificationExpires, true, nullptr, false, "passAppWhenNotificationExpires", Fallback,   \
      true)                                                                                                      \
    X(bool, passOrBlockTemp, true, nullptr, false, "passOrBlockTemp", Fallback, true)                           \
    X(bool, automaticXPC, true, nullptr, false, "automaticXPC", Fallback, false)                                \
    X(bool, loggaSuFile, false, nullptr, false, "loggaSuFile", Fallback, false)                                 \
    X(bool, isLocked, false, nullptr, false, "isLocked", Fallback, false)                                       \
    X(bool, displaySplashScreenAtStart, true, "displaySplashScreenAtStart", true, nullptr, None, false)         \
    X(bool, verifySignatures, false, "verifySignatures", false, nullptr, None, false)                           \
    X(int, dbPurgeOption, 0, "dbPurgeOption", 0, nullptr, None, 0)                                              \
    X(bool, hideSystemBinaries, false, "hideSystemBinaries", false, nullptr, None, false)                       \
    X(bool, enableTolvaneInteraction, false, "enableTolvaneInteraction", false, nullptr, None, false)           \
    X(int, actionTab, 1, "actionTab", 0, nullptr, None, 0)                                                      \
    X(bool, showMoreOptions, false, "showMoreOptions", false, nullptr, None, false)                             \
    X(int, currentTheme, 2, "currentTheme", 2, nullptr, None, 0)                                                \
    X(bool, displayAppRulePopoverBackground, true, "displayAppRulePopoverBackground", false, nullptr, None,     \
      false)                                                                                                     \
    X(QString, configurationVersion, QString(), nullptr, QString(), nullptr, None, QString())                   \
    X(bool, firewallEnabled, true, nullptr, false, nullptr, None, false)                                        \
    X(bool, debugMode, false, nullptr, false, nullptr, None, false)                                             \
    X(int, selectedActionRow, 0, nullptr, 0, nullptr, None, 0)                                                  \
    X(bool, isNotifyWindowOpen, false, nullptr, false, nullptr, None, false)                                    \
    X(bool, wizardIsRunning, false, nullptr, false, nullptr, None, false)                                       \
    X(bool, skipSaveOnQuit, false, nullptr, false, nullptr, None, false)
// clang-format on

#define PALISOR_DECLARE_SETTING(type, name, ...) extern PASettingValue<type> name;
PALISOR_SETTINGS(PALISOR_DECLARE_SETTING)
#undef PALISOR_DECLARE_SETTING

// One row of the table, typed. The target is the setting's variable itself:
// a write through it announces nothing, so only the table writes there, and
// it announces its own changes.
struct PASetting
{
    enum RecordMode { None, Keep, Fallback, WriteOnly };
    using Target = std::variant<bool*, int*, double*, QString*>;
    using Value = std::variant<bool, int, double, QString>;

    const char* name;
    Target target;
    Value initial;
    const char* defaultsKey;
    Value defaultsFallback;
    const char* recordKey;
    RecordMode recordMode;
    Value recordFallback;
    // Durations and sizes: what a file may give them. A number outside it,
    // or no number at all, gives the setting its default instead.
    std::optional<PARange> range = std::nullopt;
};

// The label colours and the alert's background, kept in user defaults as
// colours; the configuration writer stores the label colours back.
struct PAColorSetting
{
    const char* defaultsKey;
    QColor& (*color)();
    QColor (*initial)();
    // An absent key sets the value at start; otherwise it leaves the colour.
    bool resetWhenAbsent;
    bool writtenWithConfiguration;
};

namespace PASettings {

const std::vector<PASetting>& table();
const std::vector<PAColorSetting>& colors();
// A colour's value at start, by its user-defaults key.
QColor initialColor(const char* defaultsKey);

// Every global and colour back to its value at start. Like the reads below,
// it announces each setting whose value it changes.
void reset();
// The launch-time read of user defaults; a number that the setting cannot
// hold reads as an absent key, with a log line.
void readUserDefaults(const UserDefaults& defaults);
// Applies one preferences record. A key of another type counts as absent
// (and is logged); a number that the setting cannot hold (NaN, an infinity,
// one outside its range) gives it its value at start (and is logged);
// `automaticXPCAbsent` runs when the record lacks "automaticXPC", after the
// global was set.
void applyRecord(const QVariantMap& record, const std::function<void()>& automaticXPCAbsent);
// The record's keys as the writer stores them (integers as 64-bit).
QVariantMap recordValues();
// The colours the configuration writer keeps in user defaults.
void writeColors(UserDefaults& defaults);

} // namespace PASettings
