#include "core/PAApplication.h"
#include "core/PAConfiguration.h"
#include "core/PAExclusion.h"
#include "core/PAManagedRecords.h"
#include "core/PARuleLists.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "mainwindow/PAController.h"
#include "platform/Resources.h"
#include "platform/SystemColors.h"
#include "platform/widgets/ColorWell.h"
#include "platform/widgets/PopUpButton.h"
#include "platform/widgets/Popover.h"
#include "ruleeditors/PAExclusionController.h"
#include "ruleeditors/PAManagedRecordsController.h"
#include "support/AnsweringAlertPresenter.h"
#include "support/EventLoop.h"
#include "support/ManualClock.h"
#include "support/RecordingSoundPlayer.h"
#include "support/SharedStateReset.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QColorDialog>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QStackedWidget>
#include <QTabWidget>

#include <gtest/gtest.h>

namespace {

QImage pictureOf(const QIcon& icon)
{
    return icon.pixmap(32, 32).toImage();
}

class PAControllerAppearanceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetSharedState();
        userDefaults().removeObjectForKey(QStringLiteral("UseAlternateIcons"));
        m_controller = std::make_unique<PAController>(m_configuration, m_queues);
        m_controller->awakeFromNib();
    }
    void TearDown() override
    {
        m_controller.reset();
        resetSharedState();
    }

    std::shared_ptr<PAApplication> addApp(const QString& name, qint64 state)
    {
        auto app = std::make_shared<PAApplication>(name, QStringList{name}, false, false,
                                                   QStringLiteral("/nowhere/") + name, false);
        app->setRule(state);
        app->setAppIsBlockedOrAllowed(state);
        m_controller->appsLibraryController->addObject(app);
        ruleLists().publishApps(m_controller->appsLibrary);
        return app;
    }
    QColor textColour(const char* name) const
    {
        auto* label = m_controller->legendaView()->findChild<QLabel*>(QLatin1String(name));
        return label ? label->palette().color(QPalette::WindowText) : QColor();
    }

    ScopedManualClock m_clock;
    ScopedAlertPresenter m_alerts;
    PAConfiguration m_configuration;
    PAWorkQueues m_queues;
    std::unique_ptr<PAController> m_controller;
};

// A colour picked in a well becomes its state's colour: its legend texts and
// every app of that state take it; the other states keep theirs.
TEST_F(PAControllerAppearanceTest, AColourPickedInAWellRecoloursItsTextsAndEveryAppOfItsState)
{
    const auto ask1 = addApp(QStringLiteral("ask1"), 4);
    const auto pass = addApp(QStringLiteral("pass"), 0);
    const auto ask2 = addApp(QStringLiteral("ask2"), 4);
    const auto odd = addApp(QStringLiteral("odd"), 7);
    const QColor passColour = labelColor0();
    const QColor title0Before = textColour("title0");

    ColorWell* well4 = m_controller->well(4);
    ASSERT_NE(well4, nullptr);
    well4->click();
    QColorDialog* panel = well4->colorPanel();
    ASSERT_NE(panel, nullptr);
    // Modal to its window only: a connection alert can still be answered.
    EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
    const QColor picked(12, 34, 200);
    panel->setCurrentColor(picked);
    panel->accept();

    EXPECT_EQ(labelColor4(), picked);
    for (const char* text : {"title4a", "title4b", "title4c", "ptit4"})
        EXPECT_EQ(textColour(text), picked) << text;
    EXPECT_EQ(ask1->appLabelColor(), picked);
    EXPECT_EQ(ask2->appLabelColor(), picked);
    EXPECT_EQ(pass->appLabelColor(), passColour);
    EXPECT_EQ(textColour("title0"), title0Before);
    // A state outside 0 to 4 is drawn in state 0's colour.
    EXPECT_EQ(odd->appLabelColor(), passColour);

    // Each other well names its own state.
    for (qint64 state : {0, 1, 2, 3}) {
        const QColor colour(10 * int(state), 100, 50);
        m_controller->well(state)->setColor(colour);
        m_controller->selectColorWell(m_controller->well(state));
        const char* title[] = {"title0", "title1", "title2", "title3"};
        EXPECT_EQ(textColour(title[state]), colour);
    }
    EXPECT_EQ(pass->appLabelColor(), QColor(0, 100, 50));
    EXPECT_EQ(odd->appLabelColor(), QColor(0, 100, 50));
}

TEST_F(PAControllerAppearanceTest, BlackLabelsThenDefaultColorsBringTheDefaultsBack)
{
    const auto pass = addApp(QStringLiteral("pass"), 0);
    const auto block = addApp(QStringLiteral("block"), 1);
    m_controller->setBlackLabels();
    for (qint64 state = 0; state <= 4; ++state)
        EXPECT_EQ(m_controller->well(state)->color(), SystemColors::labelColor());
    EXPECT_EQ(pass->appLabelColor(), SystemColors::labelColor());

    m_controller->restoreDefaultColors();
    EXPECT_EQ(labelColor0(), QColor::fromRgbF(0.0f, 0.8f, 0.0f, 1.0f));
    EXPECT_EQ(labelColor1(), SystemColors::red());
    EXPECT_EQ(block->appLabelColor(), SystemColors::red());
    EXPECT_EQ(textColour("title0"), QColor::fromRgbF(0.0f, 0.8f, 0.0f, 1.0f));
    // The ask state has no colour of its own again: it follows the theme.
    EXPECT_FALSE(labelColor4().isValid());
    EXPECT_EQ(m_controller->well(4)->shownColor(),
              m_controller->well(4)->palette().color(QPalette::WindowText));
}

// With the preference absent the plain set is used; switching it on changes
// the shared images, the five icons and the Global Rules and Managed Folders.
TEST_F(PAControllerAppearanceTest, TheAlternateIconSetReiconsEverything)
{
    PAManagedRecordsController records;
    auto passRule = std::make_shared<PAManagedRecords>(QStringLiteral("10.0.0.1"), 0, 0);
    auto blockRule = std::make_shared<PAManagedRecords>(QStringLiteral("80"), 2, 1);
    records.recordsLibrary = {passRule, blockRule};
    PAExclusionController folders;
    auto folder = std::make_shared<PAExclusion>(QStringLiteral("/opt"), 1, false, false);
    folders.exlusionsLibrary = {folder};
    m_controller->recordscontroller = &records;
    m_controller->exclusionscontroller = &folders;

    m_controller->updateAltIconsBtn();
    EXPECT_FALSE(m_controller->altIcons()->isChecked());
    EXPECT_EQ(pictureOf(m_controller->globalpassedupIcon), pictureOf(Resources::image("passedup")));
    EXPECT_EQ(pictureOf(m_controller->globalapp4passIcon), pictureOf(Resources::image("app4pass")));

    m_controller->altIcons()->click();
    EXPECT_TRUE(userDefaults().boolForKey(QStringLiteral("UseAlternateIcons")));
    const struct
    {
        const QIcon& icon;
        const char* image;
    } icons[] = {
        {passedUpImage(), "altpassedup"},
        {blockedUpImage(), "altblockedup"},
        {m_controller->globalpassedupIcon, "altpassedup"},
        {m_controller->globalblockedupIcon, "altblockedup"},
        {m_controller->globalapp4Icon, "altapp4"},
        {m_controller->globalapp4passIcon, "altapp4pass"},
        {m_controller->globalapp4blockIcon, "altapp4block"},
        {passRule->image(), "altpassedup"},
        {blockRule->image(), "altblockedup"},
    };
    for (const auto& icon : icons) {
        ASSERT_FALSE(Resources::image(QLatin1String(icon.image)).isNull()) << icon.image;
        EXPECT_EQ(pictureOf(icon.icon), pictureOf(Resources::image(QLatin1String(icon.image)))) << icon.image;
    }
    EXPECT_EQ(passRule->labelColor(), SystemColors::controlTextColor());
    EXPECT_EQ(blockRule->labelColor(), SystemColors::red());
    EXPECT_EQ(pictureOf(folder->ruleImage()), pictureOf(Resources::image("altblockedup")));

    m_controller->altIcons()->click();
    EXPECT_EQ(pictureOf(passRule->image()), pictureOf(Resources::image("passedup")));
}

TEST_F(PAControllerAppearanceTest, TheSoundPopUpOffersTheFourteenSoundsAndPlaysTheChosenOne)
{
    RecordingSoundPlayer sounds;
    PopUpButton* popUp = m_controller->soundMenuBtn();
    ASSERT_EQ(popUp->numberOfItems(), 14);
    EXPECT_EQ(PopUpButton::itemTitle(popUp->itemAtIndex(0)), "Basso");
    EXPECT_EQ(PopUpButton::itemTitle(popUp->itemAtIndex(13)), "Tink");
    // It shows the sound in use.
    EXPECT_EQ(popUp->titleOfSelectedItem(), "Bottle");

    popUp->selectItemAtIndex(12);
    m_controller->selectSound(popUp);
    EXPECT_EQ(soundName, "Submarine");
    EXPECT_EQ(sounds.played(), QStringList{"Submarine.aiff"});
    // A load that brings another sound shows it.
    soundName = QStringLiteral("Tink");
    m_controller->configurationPublished();
    EXPECT_EQ(popUp->titleOfSelectedItem(), "Tink");
}

TEST_F(PAControllerAppearanceTest, TheLegendOpensAtThePageOfItsButton)
{
    QMainWindow* window = m_controller->window();
    window->resize(1000, 600);
    window->show();
    QTabWidget* pages = m_controller->legendaTabView();
    ASSERT_EQ(pages->count(), 5);
    Popover* legend = m_controller->popoverLegenda();
    const struct
    {
        const char* button;
        int page;
    } cases[] = {{"info_logs", 2}, {"info_folders", 1}, {"info_addr", 3}, {"info_apps", 0}};
    for (const auto& test : cases) {
        m_controller->mainTabView()->setCurrentIndex(0);
        pages->setCurrentIndex(4);
        QAbstractButton* button = m_controller->infoButton(QLatin1String(test.button));
        ASSERT_NE(button, nullptr) << test.button;
        legend->hide();
        button->click();
        EXPECT_EQ(pages->currentIndex(), test.page) << test.button;
        EXPECT_TRUE(legend->isVisible()) << test.button;
    }
    // The apps page shows the icon set as it is.
    userDefaults().setBool(true, QStringLiteral("UseAlternateIcons"));
    m_controller->infoButton(QStringLiteral("info_apps"))->click();
    EXPECT_TRUE(m_controller->altIcons()->isChecked());

    // Any other sender keeps the page of the main tab.
    legend->hide();
    m_controller->mainTabView()->setCurrentIndex(1);
    m_controller->openLegenda(m_controller->sortBtn());
    EXPECT_EQ(pages->currentIndex(), 1);

    // The folders legend needs a view to point at.
    legend->hide();
    QObject notAView;
    m_controller->openExclusionsLegenda(&notAView);
    EXPECT_EQ(pages->currentIndex(), 1);
    EXPECT_FALSE(legend->isVisible());
}

TEST_F(PAControllerAppearanceTest, RestoringWarningsRemovesTheirKeysButTheThemeWarningsAndSaysDone)
{
    UserDefaults& defaults = userDefaults();
    for (const QString& key : PAController::silencedWarningKeys())
        defaults.setBool(true, key);
    defaults.setBool(true, QStringLiteral("DoNotDisplayWarningWhenChangingTheme"));
    m_alerts->setHoldSheets(true);

    m_controller->resetUserDefaults();

    for (const QString& key : PAController::silencedWarningKeys())
        EXPECT_FALSE(defaults.objectForKey(key).isValid()) << key.toStdString();
    EXPECT_EQ(PAController::silencedWarningKeys().size(), 9);
    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("DoNotDisplayWarningWhenChangingTheme")));
    // A sheet on the main window, not a modal loop.
    EXPECT_EQ(m_alerts->pendingSheetCount(), 1);
    ASSERT_EQ(m_alerts->shown().size(), 1);
    EXPECT_EQ(m_alerts->shown().first().messageText, "Done");
    EXPECT_EQ(m_alerts->shown().first().informativeText, "All warnings has been restored");
    m_alerts->answerPendingSheet(AlertFirstButtonReturn);
}

} // namespace
