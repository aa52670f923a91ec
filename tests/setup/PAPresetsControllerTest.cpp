#include "setup/PAPresetsController.h"

#include "app/AppDelegate.h"
#include "app/MainInterface.h"
#include "core/PAConfiguration.h"
#include "core/PAExclusion.h"
#include "core/SharedState.h"
#include "mainwindow/PAController.h"
#include "platform/Resources.h"
#include "setup/PAStrategy.h"
#include "support/widgets/AgentFixture.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QImage>
#include <QMainWindow>
#include <QSet>
#include <QStackedWidget>

#include <gtest/gtest.h>

namespace {

class PAPresetsControllerTest : public AgentFixture
{
protected:
    PAPresetsController& presets() { return *m_interface->presetsController(); }
};

} // namespace

TEST(PAStrategyTest, TheNineRowsInTableOrder)
{
    const struct
    {
        int number;
        const char* name;
        const char* name2;
        const char* image;
    } rows[] = {
        {8, "Configuration Assistant", "Configure firewall step by step", "palisor"},
        {0, "Default configuration", "no interaction required, pass all apps", "stra1"},
        {1, "Blind", "no interaction required, no apps icons, pass all", "stra1"},
        {2, "Exclusive", "no interaction required, pass everything except jailed apps", "stra2"},
        {6, "Inclusive", "no interaction required, block everything except trusted jailed apps", "stra3"},
        {3, "Block everything", "no interaction required, all apps blocked by default", "stra4"},
        {4, "Extremely Verbose", "All apps aks permission to connect", "stra5"},
        {5, "Verbose", "Apps ask permission to connect with some exceptions based on specific criteria",
         "stra6"},
        {7, "Less Verbose", "Apps in a specific list ask permission to connect, all other apps are passed ",
         "stra7"},
    };
    PAConfiguration configuration;
    PAPresetsController presets(configuration);
    presets.awakeFromNib();
    ASSERT_EQ(presets.strategiesLibrary.size(), std::size(rows));
    ASSERT_EQ(presets.strategiesLibraryController->arrangedCount(), int(std::size(rows)));

    QSet<QString> descriptions;
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].name);
        const PAStrategy& strategy = *presets.strategiesLibrary[i];
        EXPECT_EQ(presets.strategiesLibraryController->arrangedObjects()[i].get(), &strategy);
        EXPECT_EQ(strategy.strategyNumber(), rows[i].number);
        EXPECT_EQ(strategy.strategyName(), rows[i].name);
        EXPECT_EQ(strategy.strategyName2(), rows[i].name2);
        EXPECT_EQ(strategy.isWizard(), i == 0);
        EXPECT_FALSE(strategy.strategyImage().isNull());
        EXPECT_EQ(strategy.strategyImage().cacheKey(), Resources::image(rows[i].image).cacheKey());
        EXPECT_FALSE(strategy.strategyDescription().isEmpty());
        descriptions.insert(strategy.strategyDescription());
    }
    EXPECT_EQ(descriptions.size(), int(std::size(rows)));
    EXPECT_TRUE(presets.strategiesLibrary.front()->strategyDescription().endsWith(
        "You can restart the assistant at any time and explore all its features. "));
}

TEST(PAStrategyTest, TheStrategyPicturesAreDistinct)
{
    QList<QImage> pictures;
    for (const char* name : {"palisor", "stra1", "stra2", "stra3", "stra4", "stra5", "stra6", "stra7"}) {
        const QIcon icon = Resources::image(name);
        ASSERT_FALSE(icon.isNull()) << name;
        const QImage picture = icon.pixmap(48, 48).toImage();
        EXPECT_FALSE(pictures.contains(picture)) << name << " looks like an earlier picture";
        pictures << picture;
    }
}

TEST_F(PAPresetsControllerTest, LoadingABuiltInPreset)
{
    const struct
    {
        const char* label;
        const char* name;
        bool configuration;
        bool held;
        bool loaded;
    } cases[] = {
        {"found", "preset1", true, false, true},
        {"missing from the resources", "preset9", true, false, false},
        {"no configuration object", "preset1", false, false, false},
        {"queue held by an alert", "preset1", true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        exclusionsList.clear();
        enableNotifications = true;
        if (c.held)
            synchronizedQueue().suspend();
        const QString name = QString::fromLatin1(c.name);
        EXPECT_EQ(c.configuration ? presets().loadPresetFromBundle(name)
                                  : PAPresetsController::loadPresetFromBundle(nullptr, name),
                  c.loaded);
        if (c.held) {
            EXPECT_EQ(synchronizedQueue().pendingCount(), 0) << "dropped, not left waiting";
            ASSERT_TRUE(synchronizedQueue().resume());
        }
        EXPECT_EQ(managedFolderPaths(), c.loaded ? QStringList{"/"} : QStringList{});
        EXPECT_EQ(enableNotifications, !c.loaded);
    }
}

TEST_F(PAPresetsControllerTest, TheStrategiesTabOpensWithNoStrategySelected)
{
    QMainWindow* window = controller().window();
    window->hide();
    controller().mainTabView()->setCurrentIndex(0);
    controller().toolbarControl()->button(0)->setChecked(true);
    presets().strategiesLibraryController->setSelectionIndexes({3});

    m_interface->appDelegate()->startPresetsWizard();

    EXPECT_TRUE(presets().strategiesLibraryController->selectionIndexes().empty());
    EXPECT_EQ(presets().strategiesLibrary.size(), 9u) << "only the selection is cleared";
    EXPECT_EQ(controller().mainTabView()->currentIndex(), 2);
    EXPECT_TRUE(controller().toolbarControl()->button(2)->isChecked());
    EXPECT_TRUE(window->isVisible());
}
