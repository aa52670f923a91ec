#include "core/PAConfigurationRecords.h"
#include "core/PAPreferenceTable.h"
#include "core/SharedState.h"
#include "platform/UserDefaults.h"
#include "support/QtPrinters.h"
#include "support/SharedStateReset.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

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

} // namespace
