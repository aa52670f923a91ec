#include "setup/PAWizardController.h"

#include "app/MainInterface.h"
#include "app/PAInstaller.h"
#include "core/PAExclusion.h"
#include "core/PAManagedRecords.h"
#include "core/SharedState.h"
#include "mainwindow/PAController.h"
#include "platform/widgets/Appearance.h"
#include "support/widgets/AgentFixture.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>

#include <gtest/gtest.h>

namespace {

class PAWizardControllerTest : public AgentFixture
{
protected:
    void SetUp() override
    {
        AgentFixture::SetUp();
        m_standIn.resize(300, 200);
    }

    PAWizardController& wizard() { return *m_interface->wizardController(); }

    // A run that went somewhere, a configuration of the user's and the main
    // window on screen.
    void prepare()
    {
        PAWizardController& w = wizard();
        w.wizAppsLibrary = QStringList{QStringLiteral("/usr/bin/curl")};
        w.wizardExclusions = {std::make_shared<PAExclusion>(QStringLiteral("/opt"), 1, false, false)};
        w.wizRecords = {std::make_shared<PAManagedRecords>(QStringLiteral("80"), 2, 0)};
        w.manageRoot = w.hiddenSystemBinaries = w.logConnections = w.storeLogs = w.enableNotif = true;
        w.notifTimeout = 120.0;
        w.passExpiredNotif = false;
        w.level2Choice = 3;
        exclusionsList.clear();
        enableNotifications = true;
        wizardIsRunning = false;
        m_standIn.hide();
        controller().window()->show();
    }

    bool answersAreReset()
    {
        const PAWizardController& w = wizard();
        return w.wizAppsLibrary.isEmpty() && w.wizardExclusions.empty() && w.wizRecords.empty() &&
               !w.manageRoot && !w.hiddenSystemBinaries && !w.logConnections && !w.storeLogs &&
               !w.enableNotif && w.notifTimeout == 30.0 && w.passExpiredNotif;
    }

    QWidget m_standIn;
};

} // namespace

TEST_F(PAWizardControllerTest, TheWelcomeStartsTheAssistantOverPresetOne)
{
    prepare();
    currentTheme = 1;
    wizard().window = &m_standIn;
    ASSERT_TRUE(m_interface->installer()->startWizard);
    m_interface->installer()->startWizard();

    EXPECT_TRUE(answersAreReset());
    EXPECT_EQ(wizard().level2Choice, 3) << "kept: every path sets it before it is read";
    EXPECT_EQ(managedFolderPaths(), QStringList{"/"});
    EXPECT_FALSE(enableNotifications);
    EXPECT_FALSE(controller().window()->isVisible());
    EXPECT_TRUE(m_standIn.isVisible());
    EXPECT_TRUE(wizardIsRunning);
    EXPECT_EQ(m_standIn.palette().color(QPalette::Window), Appearance::darkPalette().color(QPalette::Window));
    const QRect area = QGuiApplication::primaryScreen()->geometry();
    EXPECT_LE((m_standIn.frameGeometry().center() - area.center()).manhattanLength(), 2);
}

TEST_F(PAWizardControllerTest, AnAssistantThatCannotStartLeavesTheMainWindow)
{
    const struct
    {
        const char* label;
        bool window;
        bool alertOpen;
        bool queueHeld;
        bool answersReset;
    } cases[] = {
        {"no assistant window yet", false, false, false, false},
        {"connection alert open", true, true, false, false},
        {"queue held", true, false, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        prepare();
        wizard().window = c.window ? &m_standIn : nullptr;
        isNotifyWindowOpen = c.alertOpen;
        if (c.queueHeld)
            synchronizedQueue().suspend();

        m_interface->installer()->startWizard();

        if (c.queueHeld) {
            EXPECT_EQ(synchronizedQueue().pendingCount(), 0) << "no load left to run after the alert";
            ASSERT_TRUE(synchronizedQueue().resume());
        }
        EXPECT_EQ(answersAreReset(), c.answersReset);
        EXPECT_TRUE(exclusionsList.empty());
        EXPECT_TRUE(enableNotifications);
        EXPECT_TRUE(controller().window()->isVisible());
        EXPECT_FALSE(m_standIn.isVisible());
        EXPECT_FALSE(wizardIsRunning);
        isNotifyWindowOpen = false;
    }
}
