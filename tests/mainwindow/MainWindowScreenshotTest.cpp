#include "app/MainInterface.h"
#include "app/PAInstaller.h"
#include "core/PAApplication.h"
#include "core/SharedState.h"
#include "mainwindow/PAController.h"
#include "platform/widgets/Popover.h"
#include "support/EventLoop.h"
#include "support/widgets/AgentFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPixmap>
#include <QTabWidget>

#include <gtest/gtest.h>

namespace {

// The whole agent built in-process as at start, with a few managed apps in
// every state: a picture of the main window in both item styles for a
// reviewer to look at.
class MainWindowScreenshotTest : public AgentFixture
{
};

TEST_F(MainWindowScreenshotTest, MainWindowWithManagedAppsInBothStyles)
{
    const struct
    {
        const char* name;
        qint64 state;
        QStringList matches;
    } apps[] = {
        {"Safari.app", 0, {}},
        {"curl", 1, {}},
        {"Mail.app", 2, {QStringLiteral("#25")}},
        {"Messages.app", 3, {QStringLiteral("@17.0.0.0/8")}},
        {"ssh", 4, {QStringLiteral("@10.0.0.5")}},
        {"Terminal.app", 4, {}},
    };
    for (const auto& entry : apps) {
        auto app =
            std::make_shared<PAApplication>(QLatin1String(entry.name), QStringList{QLatin1String(entry.name)},
                                            QLatin1String(entry.name).endsWith(QLatin1String(".app")), false,
                                            QStringLiteral("/Applications/") + QLatin1String(entry.name));
        app->setRule(entry.state);
        app->setAppMatches(entry.matches);
        QString shown = QLatin1String(entry.name);
        shown.remove(QLatin1String(".app"));
        app->setAppLocalizedName(shown);
        app->setAppLocalizedNameCentered(shown);
        sharedAppsLibrary.push_back(app);
        controller().appsLibraryController->addObject(app);
    }
    enableNotifications = true;
    controller().updateToolbarLeds();
    QMainWindow* window = controller().window();
    ASSERT_NE(window, nullptr);
    window->resize(1100, 560);
    window->show();

    const QString folder = QStringLiteral(PALISOR_TEST_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    for (const char* style : {"normal", "mini"}) {
        controller().setStyle(QLatin1String(style));
        QCoreApplication::processEvents();
        const QPixmap picture = window->grab();
        ASSERT_FALSE(picture.isNull());
        EXPECT_TRUE(
            picture.save(folder + QStringLiteral("/mainwindow-apps-%1.png").arg(QLatin1String(style))));
    }
}

// The apps view with apps in all five states (and both quiet periods of the
// ask state) in each item style and icon set, a search under way, and the
// legend's pages.
TEST_F(MainWindowScreenshotTest, AppsViewInBothIconSetsAndTheLegend)
{
    const struct
    {
        const char* name;
        qint64 state;
        const char* quiet;
    } apps[] = {
        {"Safari", 0, ""},           {"curl", 1, ""}, {"Mail", 2, ""},
        {"Messages", 3, ""},         {"ssh", 4, ""},  {"Terminal", 4, "pass"},
        {"Straße Maps", 4, "block"},
    };
    for (const auto& entry : apps) {
        const QString name = QString::fromUtf8(entry.name);
        auto app = std::make_shared<PAApplication>(name, QStringList{name}, false, false,
                                                   QStringLiteral("/usr/bin/") + name);
        app->setRule(entry.state);
        app->setAppLocalizedName(name);
        app->setAppLocalizedNameCentered(name);
        app->setAppIsQuietPass(QLatin1String(entry.quiet) == QLatin1String("pass"));
        app->setAppIsQuietBlock(QLatin1String(entry.quiet) == QLatin1String("block"));
        sharedAppsLibrary.push_back(app);
        controller().appsLibraryController->addObject(app);
    }
    QMainWindow* window = controller().window();
    window->resize(1100, 560);
    window->show();
    const QString folder = QStringLiteral(PALISOR_TEST_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);

    for (const bool alternate : {false, true}) {
        controller().altIcons()->setChecked(alternate);
        controller().switchAltIcons(controller().altIcons());
        for (const char* style : {"normal", "mini"}) {
            controller().setStyle(QLatin1String(style));
            QCoreApplication::processEvents();
            EXPECT_TRUE(window->grab().save(
                folder + QStringLiteral("/apps-%1-%2.png")
                             .arg(QLatin1String(style),
                                  alternate ? QStringLiteral("alticons") : QStringLiteral("plainicons"))));
        }
    }

    controller().searchAppName()->setText(QStringLiteral("SS"));
    ASSERT_TRUE(synchronizedQueue().syncBarrier([] {}));
    for (const char* style : {"normal", "mini"}) {
        controller().setStyle(QLatin1String(style));
        QCoreApplication::processEvents();
        EXPECT_TRUE(
            window->grab().save(folder + QStringLiteral("/apps-search-%1.png").arg(QLatin1String(style))));
    }

    controller().infoButton(QStringLiteral("info_apps"))->click();
    Popover* legend = controller().popoverLegenda();
    ASSERT_TRUE(legend->isVisible());
    for (int page = 0; page < controller().legendaTabView()->count(); ++page) {
        controller().legendaTabView()->setCurrentIndex(page);
        QCoreApplication::processEvents();
        EXPECT_TRUE(legend->grab().save(folder + QStringLiteral("/legend-page%1.png").arg(page)));
    }
    legend->hide();
}

// The status sheet (the installer's lights on the main window) and the about
// window, as a user sees them.
TEST_F(MainWindowScreenshotTest, StatusSheetAndAboutWindow)
{
    QMainWindow* window = controller().window();
    window->resize(900, 500);
    window->show();
    const QString folder = QStringLiteral(PALISOR_TEST_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);

    AlertPresenter::setShared(nullptr);
    controller().displayStatusView();
    QMessageBox* sheet = nullptr;
    processEventsUntil([&] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
                sheet = box;
        return sheet != nullptr;
    });
    AlertPresenter::setShared(&m_alerts.presenter());
    ASSERT_NE(sheet, nullptr);
    // The sheet shows the installation as it is now, not empty lights.
    EXPECT_EQ(m_interface->installer()->labelFilter()->text(), "Network kernel extension not installed");
    EXPECT_TRUE(sheet->grab().save(folder + QStringLiteral("/status-sheet.png")));
    sheet->close();

    controller().showAboutWindow();
    QWidget* about = controller().aboutWindow();
    ASSERT_NE(about, nullptr);
    QCoreApplication::processEvents();
    EXPECT_TRUE(about->grab().save(folder + QStringLiteral("/about-window.png")));
    about->close();
}

} // namespace
