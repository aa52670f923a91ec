#include "core/PAConfigurationRecords.h"
#include "core/PAPreferenceTable.h"
#include "core/PASettingsTable.h"
#include "core/SharedState.h"
#include "core/UserDefaultsPalisor.h"
#include "platform/UserDefaults.h"
#include "support/CapturedLog.h"
#include "support/QtPrinters.h"
#include "support/SharedStateReset.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

class PreferenceTableTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetSharedState();
        ASSERT_TRUE(m_dir.isValid());
    }
    void TearDown() override { resetSharedState(); }

    QTemporaryDir m_dir;
};

// The places a setting used to be written down apart, now read from the one
// table: these values are the ones users have, so they are spelled out.
TEST_F(PreferenceTableTest, StartLaunchReadAndRecordKeepTheirOwnValues)
{
    EXPECT_EQ(actionTab, 1);
    EXPECT_TRUE(displayAppRulePopoverBackground);
    UserDefaults empty(m_dir.filePath(QStringLiteral("defaults.plist")));
    PASettings::readUserDefaults(empty);
    EXPECT_EQ(actionTab, 0) << "an absent key reads as 0, not as the value at start";
    EXPECT_FALSE(displayAppRulePopoverBackground);
    EXPECT_EQ(currentTheme, 2);
    EXPECT_TRUE(displaySplashScreenAtStart);
    EXPECT_TRUE(displayAlertWhenSwitchingLocationAwarenessPreset);
    EXPECT_EQ(notificationBackgroundColor(), PASettings::initialColor("bgColor"));

    quietMaxTime = 90.0;
    soundName = QStringLiteral("Glass");
    windowStyle = QStringLiteral("mini");
    int asked = 0;
    PASettings::applyRecord({}, [&] { ++asked; });
    EXPECT_EQ(soundName, "Morse") << "an absent sound has its own fallback";
    EXPECT_EQ(windowStyle, "mini") << "an absent style leaves the one in use";
    EXPECT_FALSE(automaticXPC);
    EXPECT_EQ(asked, 1);

    PASettings::applyRecord({{"quietMaxTime", 10.0}, {"autoupdate", true}, {"automaticXPC", true}},
                            [&] { ++asked; });
    EXPECT_DOUBLE_EQ(quietMaxTime, 90.0) << "written, never read back";
    EXPECT_FALSE(autoupdate);
    EXPECT_EQ(asked, 1);

    const QVariantMap record = PAConfigurationRecords::preferencesRecord();
    EXPECT_EQ(record.size(), 29) << "the class name and 28 settings";
    EXPECT_EQ(record.value("notificationWindowHeight2").toDouble(), notificationWindowHeight);
    EXPECT_EQ(record.value("notificationDefaultTime").typeId(), QMetaType::LongLong);
}

// Every row, whatever it holds: the reset gives its value at start, and a
// record the writer made gives every value it carried back to the loader.
TEST_F(PreferenceTableTest, EveryRowResetsAndRoundTripsThroughTheRecord)
{
    const auto change = [](const PASetting& row) {
        std::visit(
            [](auto* variable) {
                using T = std::remove_pointer_t<decltype(variable)>;
                if constexpr (std::is_same_v<T, bool>)
                    *variable = !*variable;
                else if constexpr (std::is_same_v<T, QString>)
                    *variable += QStringLiteral("-changed");
                else
                    *variable += 7;
            },
            row.target);
    };
    const auto value = [](const PASetting& row) {
        return std::visit([](auto* variable) { return PASetting::Value(*variable); }, row.target);
    };

    for (const PASetting& row : PASettings::table())
        change(row);
    std::vector<PASetting::Value> changed;
    for (const PASetting& row : PASettings::table())
        changed.push_back(value(row));
    const QVariantMap record = PAConfigurationRecords::preferencesRecord();

    PASettings::reset();
    for (const PASetting& row : PASettings::table()) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(value(row) == row.initial);
    }

    PASettings::applyRecord(record, nullptr);
    size_t i = 0;
    for (const PASetting& row : PASettings::table()) {
        SCOPED_TRACE(row.name);
        const bool readBack = row.recordMode == PASetting::Keep || row.recordMode == PASetting::Fallback;
        EXPECT_EQ(value(row) == changed[i], readBack);
        EXPECT_EQ(record.contains(QLatin1String(row.recordKey ? row.recordKey : "")),
                  row.recordMode != PASetting::None);
        ++i;
    }
}

// Numbers from a damaged file that no timer or control can hold: the
// setting takes its default, and one line names the key.
TEST_F(PreferenceTableTest, NumbersASettingCannotHoldGiveItsDefaultWithOneLine)
{
    const double inf = std::numeric_limits<double>::infinity();
    const QVariantList unholdable{std::nan(""), inf, -inf, 1e9, 1e308};
    struct Case
    {
        const char* key;
        QVariantList stored;
    };
    const Case cases[] = {
        {"notificationsTimeOut", unholdable + QVariantList{-1.0, qlonglong(1000000000)}},
        {"quietTime", unholdable + QVariantList{-1.0}},
        {"connectionsTTL", unholdable + QVariantList{-1.0}},
        {"notificationWindowHeight2", unholdable + QVariantList{-1.0}},
        {"xoffset", unholdable + QVariantList{-1e9}},
        {"yoffset", unholdable},
        {"notificationDefaultTime", unholdable + QVariantList{0.0, qlonglong(500)}},
        // No range of its own, but an int still cannot hold it.
        {"quietButtonState", QVariantList{std::nan(""), qlonglong(1) << 40}},
    };
    for (const Case& c : cases) {
        const PASetting* row = nullptr;
        for (const PASetting& candidate : PASettings::table())
            if (candidate.recordKey && qstrcmp(candidate.recordKey, c.key) == 0)
                row = &candidate;
        ASSERT_TRUE(row) << c.key;
        for (const QVariant& stored : c.stored) {
            SCOPED_TRACE(std::string(c.key) + " " + stored.toString().toStdString());
            // A value in use that is not the default, so that keeping it shows.
            std::visit(
                [](auto* variable) {
                    if constexpr (std::is_arithmetic_v<std::remove_pointer_t<decltype(variable)>>)
                        *variable = 3;
                },
                row->target);
            CapturedLog log;
            PASettings::applyRecord({{QLatin1String(c.key), stored}}, nullptr);
            EXPECT_TRUE(std::visit([](auto* variable) { return PASetting::Value(*variable); }, row->target) ==
                        row->initial);
            ASSERT_EQ(log.messages().size(), 1);
            EXPECT_TRUE(log.messages().at(0).startsWith(
                QStringLiteral("Configuration key \"%1\" holds ").arg(QLatin1String(c.key))))
                << log.messages().at(0).toStdString();
        }
    }

    // What the timers and controls can hold is taken as it is.
    PASettings::applyRecord({{"notificationsTimeOut", Clock::kLongestInterval},
                             {"xoffset", -40.0},
                             {"quietTime", 0.0},
                             {"notificationDefaultTime", 120}},
                            nullptr);
    EXPECT_EQ(notificationsTimeOut, Clock::kLongestInterval);
    EXPECT_EQ(xoffset, -40.0);
    EXPECT_EQ(quietTime, 0.0);
    EXPECT_EQ(notificationDefaultTime, 120);
}

// The same for numbers in user defaults: the table's settings read as an
// absent key, the main window's height is left alone.
TEST_F(PreferenceTableTest, NumbersInUserDefaultsThatCannotBeHeldAreIgnoredWithOneLine)
{
    const double inf = std::numeric_limits<double>::infinity();
    UserDefaults defaults(m_dir.filePath(QStringLiteral("defaults.plist")));
    for (const double stored : {std::nan(""), inf, -inf, 1e9, 1e308, -1.0}) {
        SCOPED_TRACE(stored);
        defaults.setObject(stored, QStringLiteral("mainWindowHeight"));
        defaults.setObject(stored, QStringLiteral("currentTheme"));
        currentTheme = 1;
        CapturedLog log;
        EXPECT_EQ(UserDefaultsPalisor::realForKey(defaults, QStringLiteral("mainWindowHeight"),
                                                  PARange::windowSize()),
                  std::nullopt);
        PASettings::readUserDefaults(defaults);
        // 1e9 and -1 are ints like any other theme number.
        const bool intTheme = stored == 1e9 || stored == -1.0;
        EXPECT_EQ(currentTheme, intTheme ? int(stored) : 2);
        EXPECT_EQ(log.count(QStringLiteral("User defaults key \"mainWindowHeight\" holds ")), 1);
        EXPECT_EQ(log.count(QStringLiteral("User defaults key \"currentTheme\" holds ")), intTheme ? 0 : 1);
        EXPECT_EQ(log.messages().size(), intTheme ? 1 : 2);
    }
    defaults.setObject(400.0, QStringLiteral("mainWindowHeight"));
    EXPECT_EQ(
        UserDefaultsPalisor::realForKey(defaults, QStringLiteral("mainWindowHeight"), PARange::windowSize()),
        400.0);
}

// The names signalled while `change` runs, in order.
QStringList signalledBy(const std::function<void()>& change)
{
    QSignalSpy spy(&PASettingsTable::shared(), &PASettingsTable::settingChanged);
    change();
    QStringList names;
    for (const QList<QVariant>& arguments : spy)
        names << arguments.at(0).toString();
    return names;
}

// Whatever form the write takes, a new value signals once with the
// setting's name, and the value already held signals nothing.
TEST_F(PreferenceTableTest, AWriteSignalsOnceAndOnlyForANewValue)
{
    struct Case
    {
        const char* what;
        std::function<void()> same;
        std::function<void()> changed;
        const char* name;
    };
    const Case cases[] = {
        {"truth value", [] { isLocked = false; }, [] { isLocked = true; }, "isLocked"},
        {"whole number", [] { actionTab = 1; }, [] { actionTab = 3; }, "actionTab"},
        {"real number", [] { quietTime = 20.0; }, [] { quietTime = 0.5; }, "quietTime"},
        {"text", [] { soundName = QStringLiteral("Bottle"); }, [] { soundName = QStringLiteral("Glass"); },
         "soundName"},
        {"text cleared", [] { presetName.clear(); }, [] { presetName = QStringLiteral("Office"); },
         "presetName"},
        {"one setting from another", [] { quietMaxTime = quietMaxTime; }, [] { quietMaxTime = quietTime; },
         "quietMaxTime"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(signalledBy(c.same), QStringList());
        EXPECT_EQ(signalledBy(c.changed), QStringList{c.name});
        EXPECT_EQ(signalledBy(c.changed), QStringList()) << "written again with the value it now holds";
    }
    EXPECT_EQ(signalledBy([] {
                  notificationDefaultTime += 5;
                  notificationDefaultTime -= 5;
                  notificationDefaultTime += 0;
              }),
              (QStringList{"notificationDefaultTime", "notificationDefaultTime"}));
    // A copy is a value of its own: changing it changes no setting.
    EXPECT_EQ(signalledBy([] {
                  auto copy = [] { return isLocked; }();
                  copy = !copy;
              }),
              QStringList());
}

// A load, the launch-time read and the reset go through the same road, so a
// view follows them as it follows a window's change.
TEST_F(PreferenceTableTest, LoadsReadsAndResetsSignalWhatTheyChange)
{
    const QVariantMap record{{"soundName", QStringLiteral("Glass")},
                             {"windowStyle", QStringLiteral("normal")},
                             {"connectionsTTL", 45.0},
                             {"popSound", true},
                             {"passAppWhenNotificationExpires", true},
                             {"passOrBlockTemp", true},
                             {"automaticXPC", true},
                             {"loggaSuFile", false},
                             {"isLocked", true}};
    QStringList changed = signalledBy([&] { PASettings::applyRecord(record, nullptr); });
    changed.sort();
    EXPECT_EQ(changed, (QStringList{"connectionsTTL", "isLocked", "soundName"}));
    EXPECT_EQ(signalledBy([&] { PASettings::applyRecord(record, nullptr); }), QStringList())
        << "the same record again";

    UserDefaults defaults(m_dir.filePath(QStringLiteral("defaults.plist")));
    defaults.setObject(true, QStringLiteral("verifySignatures"));
    defaults.setObject(2, QStringLiteral("currentTheme"));
    changed = signalledBy([&] { PASettings::readUserDefaults(defaults); });
    changed.sort();
    // actionTab and displayAppRulePopoverBackground: an absent key's value
    // differs from the one at start.
    EXPECT_EQ(changed, (QStringList{"actionTab", "displayAppRulePopoverBackground", "verifySignatures"}));

    changed = signalledBy([] { PASettings::reset(); });
    changed.sort();
    EXPECT_EQ(changed, (QStringList{"actionTab", "connectionsTTL", "displayAppRulePopoverBackground",
                                    "isLocked", "soundName", "verifySignatures"}));
}

// The status menu's switches, and only they, reach a follower of the
// switches; a follower of named settings hears those names for as long as
// it lives.
TEST_F(PreferenceTableTest, FollowersHearTheirSettingsOnly)
{
    int switches = 0;
    QObject menu;
    QObject::connect(&PASettingsTable::shared(), &PASettingsTable::statusSwitchesChanged, &menu,
                     [&] { ++switches; });
    struct Case
    {
        std::function<void()> change;
        int switches;
    };
    const Case cases[] = {
        {[] { isLocked = true; }, 1},        {[] { firewallEnabled = false; }, 1},
        {[] { debugMode = true; }, 1},       {[] { isNotifyWindowOpen = true; }, 1},
        {[] { wizardIsRunning = true; }, 1}, {[] { enableNotifications = true; }, 0},
        {[] { isLocked = true; }, 0},
    };
    int i = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(i++);
        switches = 0;
        c.change();
        EXPECT_EQ(switches, c.switches);
    }

    auto lights = std::make_unique<QObject>();
    QStringList heard;
    PASettingsTable::follow(lights.get(), {enableNotifications.name(), activateLogging.name()}, [&] {
        heard << QString::number(enableNotifications) + QString::number(activateLogging);
    });
    activateLogging = true;
    isLocked = false;
    enableNotifications = false;
    EXPECT_EQ(heard, (QStringList{"11", "01"})) << "each change, read as it now is";
    lights.reset();
    activateLogging = false;
    EXPECT_EQ(heard.size(), 2) << "nothing once the follower is gone";
}

// A write off the main thread reaches a receiver connected without a
// context on the main thread, where the windows that read settings live.
TEST_F(PreferenceTableTest, AWriteFromAnotherThreadIsSignalledOnTheMainThread)
{
    QThread* signalledOn = nullptr;
    const QMetaObject::Connection connection = QObject::connect(
        &PASettingsTable::shared(), &PASettingsTable::settingChanged, [&](const QString& name) {
            if (name == QLatin1String("selectedActionRow"))
                signalledOn = QThread::currentThread();
        });
    std::unique_ptr<QThread> writer(QThread::create([] { selectedActionRow = 3; }));
    writer->start();
    ASSERT_TRUE(writer->wait(5000));
    EXPECT_EQ(signalledOn, nullptr) << "not on the writer's thread";
    QCoreApplication::processEvents();
    EXPECT_EQ(signalledOn, QCoreApplication::instance()->thread());
    QObject::disconnect(connection);
}

} // namespace
