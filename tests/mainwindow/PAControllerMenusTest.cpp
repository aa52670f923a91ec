#include "app/AppDelegate.h"
#include "app/MainInterface.h"
#include "core/PAApplication.h"
#include "core/PARuleLists.h"
#include "core/SharedState.h"
#include "mainwindow/PACollectionView.h"
#include "mainwindow/PAController.h"
#include "platform/SerialQueue.h"
#include "setup/PACustomPresetsWindowController.h"
#include "support/EventLoop.h"
#include "support/FakeFileManager.h"
#include "support/widgets/AgentFixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

using Item = QPointer<QAction> PAController::*;

class PAControllerMenusTest : public AgentFixture
{
protected:
    // The menu as the user sees it: the titles of its visible items, "-" for
    // a separator.
    static QStringList visibleItems(const QMenu* menu)
    {
        QStringList titles;
        for (const QAction* item : menu->actions())
            if (item->isVisible())
                titles << (item->isSeparator() ? QStringLiteral("-") : item->text());
        return titles;
    }

    // Opens the menu as a click does, so its opening decides what shows.
    static QStringList openAndRead(QMenu* menu)
    {
        menu->popup(QPoint(10, 10));
        const QStringList titles = visibleItems(menu);
        menu->hide();
        return titles;
    }

    void select(const std::vector<std::shared_ptr<PAApplication>>& apps)
    {
        controller().appsLibraryController->setSelectedObjects(apps);
    }

    void trigger(Item item) { (controller().*item)->trigger(); }

    AppDelegate& delegate() { return *m_interface->appDelegate(); }
};

const QStringList kEveryStatusItem{
    "Open Palisor",  "Palisor Status...", "-", "Enable Firewall", "Disable Firewall", "Lock", "Debug", "-",
    "About Palisor", "Quit Palisor"};
const QStringList kSelectionItems{"-", "Copy Rules",           "Paste Rules",
                                  "-", "Show in File Manager", "Remove from Managed Apps"};

// The status menu shows its items by the switches even where the tray never
// says that the menu opens: each change recomputes it.
TEST_F(PAControllerMenusTest, StatusMenuItemsFollowTheSwitches)
{
    QStringList unlockedOn = kEveryStatusItem;
    unlockedOn.removeAll(QStringLiteral("Enable Firewall"));
    QStringList unlockedOnQuiet = unlockedOn;
    unlockedOnQuiet.removeAll(QStringLiteral("Debug"));
    const struct
    {
        bool alert, wizard, locked, enabled, debug;
        QStringList visible;
        const char* lockTitle;
    } cases[] = {
        {false, false, true, true, true, {"Unlock...", "Debug"}, "Unlock..."},
        {true, false, false, true, true, {}, "Unlock..."},
        // Each switch recomputes the menu as it is set: the alert's end shows
        // the unlocked menu, titled "Lock", before the assistant hides it all.
        {false, true, false, false, true, {}, "Lock"},
        {false, false, false, true, false, unlockedOnQuiet, "Lock"},
        {false, false, false, true, true, unlockedOn, "Lock"},
        {false, false, false, false, false, {"Enable Firewall"}, "Lock"},
        {false, false, false, false, true, {"Enable Firewall", "Debug"}, "Lock"},
        {false, false, true, false, false, {"Unlock..."}, "Unlock..."},
    };
    QMenu* menu = controller().statusBarMenu;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "alert " << c.alert << " wizard " << c.wizard << " locked "
                                        << c.locked << " enabled " << c.enabled << " debug " << c.debug);
        isNotifyWindowOpen = c.alert;
        wizardIsRunning = c.wizard;
        isLocked = c.locked;
        firewallEnabled = c.enabled;
        debugMode = c.debug;
        EXPECT_EQ(visibleItems(menu), c.visible) << "recomputed on the change";
        EXPECT_EQ(controller().lockItem->text(), c.lockTitle);
        EXPECT_EQ(openAndRead(menu), c.visible) << "and at the opening";
    }
    isNotifyWindowOpen = false;
    wizardIsRunning = false;
}

// The delegate's commands change the switches; the menu follows at once.
TEST_F(PAControllerMenusTest, FirewallAndLockCommandsRecomputeTheStatusMenu)
{
    QMenu* menu = controller().statusBarMenu;
    delegate().disableFirewall();
    EXPECT_EQ(visibleItems(menu), QStringList{"Enable Firewall"});
    controller().enableFW->trigger();
    EXPECT_TRUE(visibleItems(menu).contains("Disable Firewall"));
    EXPECT_FALSE(visibleItems(menu).contains("Enable Firewall"));

    enableNotifications = false;
    controller().lockItem->trigger();
    ASSERT_TRUE(processEventsUntil([] { return isLocked; }));
    EXPECT_EQ(visibleItems(menu), QStringList{"Unlock..."});
}

TEST_F(PAControllerMenusTest, ContextMenuFollowsTheFirstSelectedAppsState)
{
    const struct
    {
        std::vector<qint64> selected; // rule states, first first
        bool alerts;
        bool copied;
        QStringList stateItems;
    } cases[] = {
        {{0}, true, false, {"Ask About This App", "Block This App"}},
        {{2}, false, false, {"Block This App"}},
        {{1}, true, true, {"Ask About This App", "Pass This App"}},
        {{3}, false, false, {"Pass This App"}},
        {{4}, true, false, {"Pass This App Without Asking", "Block This App Without Asking"}},
        {{4, 0}, true, true, {"Pass This App Without Asking", "Block This App Without Asking"}},
        {{1, 4}, false, false, {"Pass This App"}},
        {{7}, true, false, {}},
    };
    QMenu* menu = controller().rightClickMenu;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "first state " << c.selected.front() << " of " << c.selected.size()
                                        << ", alerts " << c.alerts << ", copied " << c.copied);
        std::vector<std::shared_ptr<PAApplication>> apps;
        for (const qint64 state : c.selected) {
            apps.push_back(addApp("app", "/app", 0));
            apps.back()->setAppIsBlockedOrAllowed(state);
        }
        select(apps);
        enableNotifications = c.alerts;
        controller().pasteboardIsBlockedOrAllowed = c.copied ? 3 : 5;
        EXPECT_EQ(openAndRead(menu), c.stateItems + kSelectionItems);
        EXPECT_EQ(controller().pasteRulesItem->isEnabled(), c.copied);
        EXPECT_TRUE(controller().copyRulesItem->isEnabled()) << "shown, if doing nothing, for several apps";
    }
    select({});
    EXPECT_EQ(openAndRead(menu), QStringList{}) << "nothing selected: an empty menu";
}

TEST_F(PAControllerMenusTest, SignatureOrdersShowOnlyWhileSignaturesAreVerified)
{
    for (const bool verify : {false, true}) {
        verifySignatures = verify;
        const QStringList visible = openAndRead(controller().appSortMenu);
        EXPECT_EQ(visible.contains("System-Signed First"), verify);
        EXPECT_EQ(visible.contains("Third-Party First"), verify);
        EXPECT_EQ(visible.size(), verify ? 7 : 5);
    }
}

TEST_F(PAControllerMenusTest, AltSwapsTheEncodedItemsWhileTheToolsMenuIsOpen)
{
    QMenu* menu = controller().toolsMenu;
    const QStringList rest{"-", "Custom Presets...", "Clear Apps List...", "Restore All Warnings"};
    menu->popup(QPoint(10, 10));
    EXPECT_EQ(visibleItems(menu), QStringList({"Import Configuration...", "Export Configuration..."}) + rest);

    QKeyEvent press(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
    QCoreApplication::sendEvent(menu, &press);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(visibleItems(menu),
              QStringList({"Import Encoded Configuration...", "Export Encoded Configuration..."}) + rest);

    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
    QCoreApplication::sendEvent(menu, &release);
    EXPECT_EQ(visibleItems(menu), QStringList({"Import Configuration...", "Export Configuration..."}) + rest);
    menu->hide();
}

TEST_F(PAControllerMenusTest, ContextItemsPublishTheirRuleState)
{
    const struct
    {
        Item item;
        qint64 state;
        QStringList published;
    } cases[] = {
        {&PAController::enableNotificationsForThisApp, 0, {"/keep 1 ", "/app 4 "}},
        {&PAController::passThisApp, 1, {"/keep 1 ", "/app 0 "}},
        {&PAController::blockThisApp, 0, {"/keep 1 ", "/app 1 "}},
        {&PAController::passAndDisableNotifications, 4, {"/keep 1 ", "/app 0 "}},
        {&PAController::blockAndDisableNotifications, 4, {"/keep 1 ", "/app 1 "}},
        {&PAController::removeAppFromManagedApps, 0, {"/keep 1 "}},
    };
    int sent = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE((controller().*c.item)->text().toStdString());
        ruleLists().replaceApps({});
        addApp("keep", "/keep", 1);
        auto app = addApp("app", "/app", c.state, c.state == 4 ? QStringList{"@1.1.1.1"} : QStringList{});
        select({app});
        trigger(c.item);
        ASSERT_TRUE(waitForRuleSets(++sent));
        EXPECT_EQ(lastRuleSet(), c.published);
    }
}

TEST_F(PAControllerMenusTest, CopyPasteAndRevealReachTheirCommands)
{
    FakeFileManager desktop;
    auto source = addApp("source", "/source", 3, {"@1.1.1.1", "@2.2.2.2"});
    auto target = addApp("target", m_root.path() + "/Apps/Target.app", 0);
    select({source});
    trigger(&PAController::copyRulesItem);
    select({target});
    trigger(&PAController::pasteRulesItem);
    EXPECT_EQ(target->appIsBlockedOrAllowed(), 3);
    EXPECT_EQ(target->appMatches(), (QStringList{"@1.1.1.1", "@2.2.2.2"}));

    trigger(&PAController::revealAppInMacOSFinder);
    ASSERT_TRUE(processEventsUntil([&] { return !desktop.openedUrls().isEmpty(); }));
    EXPECT_EQ(desktop.openedUrls(), QList<QUrl>{QUrl::fromLocalFile(m_root.path() + "/Apps")});
}

TEST_F(PAControllerMenusTest, ToolsItemsReachTheirCommands)
{
    addApp("curl", "/usr/bin/curl", 1);
    const QString plain = homePath("rules");
    const QString encoded = homePath("rules-encoded");
    m_files->queueSave(plain);
    trigger(&PAController::exportItem);
    m_files->queueSave(encoded);
    trigger(&PAController::exportItemAlt);
    ASSERT_TRUE(QFile::exists(plain));
    ASSERT_TRUE(QFile::exists(encoded));
    EXPECT_NE(readText(plain), readText(encoded));

    for (const Item import : {&PAController::importItem, &PAController::importItemAlt}) {
        sharedAppsLibrary.clear();
        m_files->queueOpen(import == &PAController::importItem ? plain : encoded);
        trigger(import);
        ASSERT_EQ(sharedAppsLibrary.size(), 1u);
        EXPECT_EQ(sharedAppsLibrary.front()->appName(), "curl");
    }

    writePlist(rootPath("/Users/Shared/Palisor/office.plist"),
               QVariantList{QVariantMap{{"PalisorClassName", QStringLiteral("PAPreferences")},
                                        {"presetName", QStringLiteral("Office")},
                                        {"presetLocationID", QStringLiteral("L1")}}});
    trigger(&PAController::custompresetsItem);
    EXPECT_EQ(m_interface->customPresetsController()->customPresetsLibrary.size(), 1u);

    trigger(&PAController::restoreWarningsItem);
    ASSERT_FALSE(m_alerts->shown().isEmpty());
    EXPECT_EQ(m_alerts->shown().last().messageText, "Done");

    m_alerts->queueAnswer(AlertFirstButtonReturn);
    trigger(&PAController::emptyAllItem);
    EXPECT_EQ(m_alerts->shown().last().messageText, "Are you sure?");
    EXPECT_TRUE(sharedAppsLibrary.empty());
    EXPECT_TRUE(controller().appsLibrary.empty());
}

TEST_F(PAControllerMenusTest, OpenItemLockButtonAndAlertsSwitchReachTheirCommands)
{
    trigger(&PAController::openItem);
    EXPECT_TRUE(controller().window()->isVisible());

    auto app = addApp("app", "/app", 0);
    select({app});
    controller().appLockerBtn()->click();
    ASSERT_TRUE(waitForRuleSets(1));
    EXPECT_EQ(lastRuleSet(), QStringList{"/app 1 "});

    enableNotifications = true;
    controller().updateToolbarLeds();
    QAbstractButton* alerts = controller().toggleNotificationsBtn();
    ASSERT_TRUE(alerts->isChecked());
    alerts->click();
    EXPECT_FALSE(enableNotifications);
    EXPECT_FALSE(alerts->isChecked());
    EXPECT_TRUE(waitForRuleSets(2)) << "the switch sends the rules";
    alerts->click();
    EXPECT_TRUE(enableNotifications);
    EXPECT_TRUE(alerts->isChecked());
}

// A right-click on an app selects it before its menu opens: pictures of the
// context menu and the status menu, for a reviewer to look at.
TEST_F(PAControllerMenusTest, ScreenshotsOfTheContextAndStatusMenus)
{
    const std::pair<const char*, qint64> apps[] = {{"Safari", 0}, {"curl", 1}, {"ssh", 4}};
    for (const auto& [name, state] : apps) {
        auto app = addApp(QLatin1String(name), QStringLiteral("/usr/bin/") + QLatin1String(name), state);
        app->setAppLocalizedName(QLatin1String(name));
        app->setAppLocalizedNameCentered(QLatin1String(name));
    }
    controller().pasteboardIsBlockedOrAllowed = 5;
    QMainWindow* window = controller().window();
    window->resize(1100, 560);
    window->show();
    QCoreApplication::processEvents();
    auto* view = controller().appsViewContainer()->findChild<PACollectionView*>();
    ASSERT_NE(view, nullptr);
    const QModelIndex third = view->model()->index(2, 0);
    const QPoint at = view->visualRect(third).center();
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(view->viewport(), &click);
    QMenu* menu = controller().rightClickMenu;
    ASSERT_TRUE(menu->isVisible());
    EXPECT_EQ(visibleItems(menu),
              QStringList({"Pass This App Without Asking", "Block This App Without Asking"}) +
                  kSelectionItems);

    const QString folder = QStringLiteral(PALISOR_TEST_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    EXPECT_TRUE(menu->grab().save(folder + QStringLiteral("/menu-context-ask.png")));
    menu->hide();

    debugMode = true;
    for (const bool locked : {false, true}) {
        isLocked = locked;
        QMenu* status = controller().statusBarMenu;
        status->popup(QPoint(10, 10));
        EXPECT_TRUE(status->grab().save(
            folder +
            QStringLiteral("/menu-status-%1.png").arg(QLatin1String(locked ? "locked" : "unlocked"))));
        status->hide();
    }
}

} // namespace

namespace {

// The status menu on an X server as well, where a menu takes the pointer and
// the keyboard while it is open.
using PAControllerMenusOnDisplay = PAControllerMenusTest;

} // namespace

TEST_F(PAControllerMenusOnDisplay, TheStatusMenuComesUpWithItsItemsAndGoesByEscapeOrAChoice)
{
    isNotifyWindowOpen = false;
    wizardIsRunning = false;
    isLocked = false;
    firewallEnabled = true;
    debugMode = false;
    QStringList expected = kEveryStatusItem;
    expected.removeAll(QStringLiteral("Enable Firewall"));
    expected.removeAll(QStringLiteral("Debug"));
    QMenu* menu = controller().statusBarMenu;
    const auto shown = [menu] { return menu->windowHandle() && menu->windowHandle()->isExposed(); };
    const auto gone = [menu] { return !menu->isVisible() && !menu->windowHandle()->isExposed(); };

    menu->popup(QPoint(100, 100));
    ASSERT_TRUE(processEventsUntil(shown));
    EXPECT_EQ(visibleItems(menu), expected);
    QTest::keyClick(menu, Qt::Key_Escape);
    EXPECT_TRUE(processEventsUntil(gone)) << "Escape";

    // The first item chosen by the keyboard runs once and closes the menu.
    QSignalSpy chosen(menu->actions().first(), &QAction::triggered);
    menu->popup(QPoint(100, 100));
    ASSERT_TRUE(processEventsUntil(shown));
    QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Return);
    EXPECT_TRUE(processEventsUntil(gone)) << "a choice";
    EXPECT_EQ(chosen.count(), 1);
}
