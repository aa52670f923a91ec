#include "core/PAConfigurationRecords.h"
#include "core/PAPreferenceTable.h"
#include "core/SharedState.h"
#include "core/UserDefaultsPalisor.h"
#include "platform/UserDefaults.h"
#include "support/CapturedLog.h"
#include "support/QtPrinters.h"
#include "support/SharedStateReset.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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

} // namespace
