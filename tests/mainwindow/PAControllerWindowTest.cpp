#include "core/PAConfiguration.h"
#include "core/PAPreferenceTable.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "mainwindow/MainWindowTripleSplitViewDelegate.h"
#include "mainwindow/PAController.h"
#include "platform/Resources.h"
#include "platform/widgets/SystemTray.h"
#include "support/AnsweringAlertPresenter.h"
#include "support/EventLoop.h"
#include "support/ManualClock.h"
#include "support/SharedStateReset.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QSignalSpy>
#include <QSplitter>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class PAControllerWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetSharedState();
        m_controller = std::make_unique<PAController>(m_configuration, m_queues);
    }
    void TearDown() override
    {
        m_controller.reset();
        resetSharedState();
    }

    // Shows the main window at a known width so the panes have real sizes.
    void showWindowAt(int width)
    {
        QMainWindow* window = m_controller->window();
        window->resize(width, 600);
        window->show();
        ASSERT_TRUE(processEventsUntil([&] { return window->isVisible() && window->width() == width; }));
        drainEvents();
    }

    QString text(const char* labelName) const
    {
        auto* label = m_controller->window()->findChild<QLabel*>(QString::fromLatin1(labelName));
        return label ? label->text() : QStringLiteral("<missing %1>").arg(QString::fromLatin1(labelName));
    }

    ScopedManualClock m_clock;
    PAConfiguration m_configuration;
    PAWorkQueues m_queues;
    std::unique_ptr<PAController> m_controller;
};

TEST_F(PAControllerWindowTest, StatusLightsAndLogTitleFollowTheSwitches)
{
    struct Case
    {
        bool notifications;
        bool logging;
        const char* notificationsText;
        const char* notificationsImage;
        const char* loggingText;
        const char* loggingImage;
        const char* logTitle;
    };
    const Case cases[] = {
        {true, true, "NOTIFICATIONS ENABLED", "NSStatusAvailable", "LOGGING ENABLED", "NSStatusAvailable",
         "Recent Apps Connections"},
        {false, false, "NOTIFICATIONS DISABLED", "NSStatusUnavailable", "LOGGING DISABLED",
         "NSStatusUnavailable", "Recent Apps Connections (Disabled)"},
        {true, false, "NOTIFICATIONS ENABLED", "NSStatusAvailable", "LOGGING DISABLED", "NSStatusUnavailable",
         "Recent Apps Connections (Disabled)"},
        {false, true, "NOTIFICATIONS DISABLED", "NSStatusUnavailable", "LOGGING ENABLED", "NSStatusAvailable",
         "Recent Apps Connections"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "notifications " << c.notifications << ", logging " << c.logging);
        enableNotifications = c.notifications;
        activateLogging = c.logging;
        m_controller->updateToolbarLeds();
        EXPECT_EQ(text("ledNotificationsLabel"), c.notificationsText);
        EXPECT_EQ(m_controller->notificationsLedImage(), c.notificationsImage);
        EXPECT_EQ(text("ledLoggingLabel"), c.loggingText);
        EXPECT_EQ(m_controller->loggingLedImage(), c.loggingImage);
        EXPECT_EQ(text("titleLogs"), c.logTitle);
    }
}

TEST_F(PAControllerWindowTest, LightsFollowTheirSettingsWhoeverChangesThem)
{
    enableNotifications = false;
    activateLogging = false;
    // The first drawing, as the window wakes.
    m_controller->updateToolbarLeds();
    EXPECT_EQ(text("ledNotificationsLabel"), "NOTIFICATIONS DISABLED");
    QSignalSpy told(m_controller.get(), &PAController::toolbarLedsChanged);
    // A load switches both, and nobody tells the window.
    PASettings::applyRecord(
        {{QStringLiteral("enableNotifications"), true}, {QStringLiteral("activateLogging"), true}}, [] {});
    EXPECT_EQ(text("ledNotificationsLabel"), "NOTIFICATIONS ENABLED");
    EXPECT_EQ(text("ledLoggingLabel"), "LOGGING ENABLED");
    EXPECT_EQ(text("titleLogs"), "Recent Apps Connections");
    EXPECT_EQ(told.count(), 2);
    // The value it already has changes nothing.
    enableNotifications = true;
    EXPECT_EQ(told.count(), 2);
}

TEST_F(PAControllerWindowTest, DividerLimitsFollowThePanes)
{
    showWindowAt(900);
    MainWindowTripleSplitViewDelegate& panes = *m_controller->splitViewDelegate();
    QWidget* left = panes.leftView;
    QWidget* center = panes.centerView;
    QWidget* right = panes.rightView;

    EXPECT_TRUE(panes.canCollapseSubview(left));
    EXPECT_FALSE(panes.canCollapseSubview(center));
    EXPECT_TRUE(panes.canCollapseSubview(right));
    EXPECT_FALSE(panes.shouldAdjustSizeOfSubview(left));
    EXPECT_TRUE(panes.shouldAdjustSizeOfSubview(center));
    EXPECT_FALSE(panes.shouldAdjustSizeOfSubview(right));

    EXPECT_EQ(panes.constrainMinCoordinate(10, 0), 280);
    EXPECT_EQ(panes.constrainMaxCoordinate(500, 0), 270);
    EXPECT_EQ(panes.constrainMaxCoordinate(800, 1), 530);
    EXPECT_EQ(panes.constrainMinCoordinate(10, 2), 0);
    EXPECT_EQ(panes.constrainMaxCoordinate(10, 2), 0);

    const int overReference = m_controller->window()->frameGeometry().width() - 900;
    EXPECT_EQ(panes.constrainMinCoordinate(100, 1), 100 + 284 + overReference);
    m_controller->controlSplitViewWithView("left", "hide");
    ASSERT_TRUE(panes.isSubviewCollapsed(left));
    EXPECT_EQ(panes.constrainMinCoordinate(100, 1), 100 + 584 + overReference);
}

TEST_F(PAControllerWindowTest, PanesShowAndHideOnlyWhenTheyMust)
{
    showWindowAt(1200);
    MainWindowTripleSplitViewDelegate& panes = *m_controller->splitViewDelegate();
    QSplitter* split = m_controller->splitView();
    const int width = split->width();

    // Already open: "show" leaves it alone.
    const QList<int> before = split->sizes();
    ASSERT_EQ(before.at(0), 270);
    m_controller->controlSplitViewWithView("left", "show");
    EXPECT_EQ(split->sizes(), before);

    m_controller->controlSplitViewWithView("right", "hide");
    EXPECT_TRUE(panes.isSubviewCollapsed(panes.rightView));
    EXPECT_EQ(panes.positionOfDivider(1) + split->handleWidth(), width);

    m_controller->controlSplitViewWithView("right", "show");
    EXPECT_FALSE(panes.isSubviewCollapsed(panes.rightView));
    EXPECT_EQ(split->sizes().at(2), 270);

    m_controller->controlSplitViewWithView("left", "hide");
    EXPECT_EQ(split->sizes().at(0), 0);
    m_controller->controlSplitViewWithView("left", "show");
    EXPECT_EQ(split->sizes().at(0), 270);

    // Case matters, and unknown pairs do nothing.
    const QList<int> open = split->sizes();
    m_controller->controlSplitViewWithView("Left", "hide");
    m_controller->controlSplitViewWithView("left", "HIDE");
    m_controller->controlSplitViewWithView("middle", "hide");
    EXPECT_EQ(split->sizes(), open);

    // The pane buttons toggle; another sender does nothing.
    panes.displayOrCollapseViews(panes.leftBtn);
    EXPECT_TRUE(panes.isSubviewCollapsed(panes.leftView));
    panes.leftBtn->click();
    EXPECT_EQ(split->sizes().at(0), 270);
    panes.displayOrCollapseViews(split);
    EXPECT_EQ(split->sizes().at(0), 270);

    // Only the centre pane follows the window.
    const QList<int> narrow = split->sizes();
    m_controller->window()->resize(1300, 600);
    ASSERT_TRUE(processEventsUntil([&] { return split->sizes() != narrow; }));
    EXPECT_EQ(split->sizes().at(0), narrow.at(0));
    EXPECT_EQ(split->sizes().at(2), narrow.at(2));
    EXPECT_EQ(split->sizes().at(1), narrow.at(1) + 100);
}

TEST_F(PAControllerWindowTest, ToolbarSegmentsSelectTheirTabs)
{
    QButtonGroup* segments = m_controller->toolbarControl();
    for (int segment : {2, 1, 0}) {
        segments->button(segment)->click();
        EXPECT_EQ(m_controller->mainTabView()->currentIndex(), segment);
    }
}

TEST_F(PAControllerWindowTest, MenuletImageFollowsTheLock)
{
    EXPECT_EQ(m_controller->statusBarMenu->objectName(), "statusBarMenu");
    QSystemTrayIcon* placeholder = m_controller->statusBarItem();
    m_controller->drawMenulet();
    ASSERT_NE(m_controller->statusBarItem(), placeholder);
    EXPECT_EQ(m_controller->statusBarItem()->contextMenu(), m_controller->statusBarMenu.data());
    EXPECT_EQ(m_controller->menuletImageName(), "shield2Template");
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // Without a tray the window is the way in, once the tray had its time.
        m_clock->advance(PAController::kTrayRetryInterval * PAController::kTrayRetries);
        EXPECT_TRUE(m_controller->window()->isVisible());
    }

    // Until an image is drawn the item goes without one.
    const auto shows = [&](const QString& name) {
        return m_controller->menuletImageName() == name &&
               m_controller->statusBarItem()->icon().isNull() == Resources::image(name).isNull();
    };
    isLocked = true;
    m_controller->updateMenuletIcon();
    EXPECT_TRUE(shows("shield2LockedTemplate"));
    isLocked = false;
    m_controller->updateMenuletIcon();
    EXPECT_TRUE(shows("shield2Template"));
}

TEST_F(PAControllerWindowTest, StatusSheetShowsTheStatusViewOnTheMainWindow)
{
    ScopedAlertPresenter alerts;
    QWidget statusView;
    m_controller->statusView = &statusView;
    m_controller->doDisplayStatus();
    ASSERT_EQ(alerts->shown().size(), 1);
    const Alert& alert = alerts->shown().first();
    EXPECT_EQ(alert.messageText, "Palisor Status");
    EXPECT_EQ(alert.icon, "palisor");
    EXPECT_EQ(alert.buttons, QStringList{"OK"});
    EXPECT_EQ(alert.accessoryView.data(), &statusView);
}

TEST_F(PAControllerWindowTest, ClosingEveryWindowKeepsTheAgentRunning)
{
    showWindowAt(1000);
    m_controller->showAboutWindow();
    ASSERT_TRUE(processEventsUntil([&] { return m_controller->aboutWindow()->isVisible(); }));
    bool ran = false;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { ADD_FAILURE() << "the application quit"; });
    m_controller->aboutWindow()->close();
    m_controller->window()->close();
    QTimer::singleShot(0, [&] { ran = true; });
    EXPECT_TRUE(processEventsUntil([&] { return ran; }));
    EXPECT_FALSE(m_controller->window()->isVisible());
    EXPECT_EQ(m_controller->aboutWindow()->palette().color(QPalette::Window), QColor(Qt::white));
}

TEST_F(PAControllerWindowTest, ScreenshotOfTheMainWindow)
{
    enableNotifications = true;
    activateLogging = false;
    m_controller->updateToolbarLeds();
    showWindowAt(1100);
    const QString folder = QStringLiteral(PALISOR_TEST_BINARY_DIR "/screenshots");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QPixmap shot = m_controller->window()->grab();
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(folder + QStringLiteral("/mainwindow.png")));
}

// At login the desktop's tray can come up after the agent.
TEST_F(PAControllerWindowTest, AStatusItemWaitsForALateTrayBeforeTheWindowTakesOver)
{
    struct Case
    {
        const char* label;
        int trayAfterAsks; // -1: never
        bool windowShown;
    } cases[] = {
        {"tray at once", 0, false},
        {"tray after a few seconds", 4, false},
        {"no tray at all", -1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        m_controller->window()->hide();
        int asks = 0;
        SystemTray::setAvailability([&] { return c.trayAfterAsks >= 0 && asks++ >= c.trayAfterAsks; });
        m_controller->drawMenulet();
        QSystemTrayIcon* item = m_controller->statusBarItem();
        m_clock->advance(PAController::kTrayRetryInterval * (PAController::kTrayRetries - 1));
        EXPECT_FALSE(m_controller->window()->isVisible()) << "the tray still has its time";
        m_clock->advance(PAController::kTrayRetryInterval * 5);
        EXPECT_EQ(m_controller->window()->isVisible(), c.windowShown);
        EXPECT_EQ(m_clock->activeTimerCount(), 0) << "asking stops";
        EXPECT_EQ(m_controller->statusBarItem(), item);
        if (c.trayAfterAsks >= 0) {
            EXPECT_EQ(asks, c.trayAfterAsks + 1) << "asked until the tray came";
        }
        drainEvents();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(m_controller->findChildren<QSystemTrayIcon*>().size(), 1)
        << "one status item, however often drawn";
    SystemTray::setAvailability(nullptr);
}

} // namespace
