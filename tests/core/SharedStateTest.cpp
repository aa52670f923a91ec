#include "core/SharedState.h"

#include <gtest/gtest.h>

namespace {

// Everything here is the state before the first configuration load and
// before the user defaults are read: what a fresh launch starts from.
TEST(SharedStateTest, StartsWithTheDesignedInitialValues)
{
    EXPECT_TRUE(sharedAppsLibrary.empty());
    EXPECT_TRUE(exclusionsList.empty());
    EXPECT_TRUE(recordsList.empty());
    EXPECT_TRUE(tolvaneServices.empty());
    EXPECT_TRUE(systemUsersList.isEmpty());

    EXPECT_EQ(windowStyle, "normal");
    EXPECT_EQ(soundName, "Bottle");
    EXPECT_DOUBLE_EQ(notificationWindowHeight, 175.0);
    EXPECT_TRUE(configurationVersion.isEmpty());
    EXPECT_TRUE(presetName.isEmpty());
    EXPECT_TRUE(presetLocationID.isEmpty());

    EXPECT_FALSE(enableNotifications);
    EXPECT_EQ(notificationDefaultTime, 10);
    EXPECT_DOUBLE_EQ(notificationsTimeOut, 60.0);
    EXPECT_DOUBLE_EQ(quietTime, 20.0);
    EXPECT_DOUBLE_EQ(quietMaxTime, 60.0);
    EXPECT_DOUBLE_EQ(connectionsTTL, 30.0);
    EXPECT_TRUE(prefsBlockRoot);
    EXPECT_TRUE(automaticXPC);
    EXPECT_TRUE(passOrBlockTemp);
    EXPECT_TRUE(displayAppRulePopoverBackground);
    EXPECT_EQ(actionTab, 1);
    EXPECT_EQ(currentTheme, 2);
    EXPECT_TRUE(firewallEnabled);
    EXPECT_FALSE(debugMode);
}

TEST(SharedStateTest, QueuesCarryTheirLabels)
{
    EXPECT_EQ(synchronizedQueue().label(), "SynchronizedNotification");
}

TEST(SharedStateTest, LabelColoursAndRequiredImages)
{
    EXPECT_EQ(labelColor0(), QColor::fromRgbF(0.0f, 0.8f, 0.0f, 1.0f));
    EXPECT_EQ(labelColor1(), QColor(Qt::red));
    EXPECT_EQ(labelColor3(), QColor(Qt::magenta));
    EXPECT_FALSE(passedUpImage().isNull());
    EXPECT_FALSE(blockedUpImage().isNull());
}

} // namespace
