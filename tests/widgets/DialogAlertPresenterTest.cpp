#include "platform/widgets/DialogAlertPresenter.h"

#include "platform/Resources.h"
#include "support/EventLoop.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

QMessageBox* openMessageBox()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    return nullptr;
}

TEST(DialogAlertPresenterTest, SheetAnswersWithTheButtonIndexAndSuppressionBox)
{
    QWidget window;
    window.show();
    DialogAlertPresenter presenter;
    Alert alert;
    alert.messageText = QStringLiteral("Are you sure?");
    alert.buttons = {QStringLiteral("Clean apps list"), QStringLiteral("Cancel")};
    alert.icon = QStringLiteral("NSCaution");
    alert.showsSuppressionButton = true;

    std::optional<AlertResult> answer;
    presenter.beginSheet(alert, &window, [&](AlertResult result) { answer = result; });
    QMessageBox* box = nullptr;
    ASSERT_TRUE(processEventsUntil([&] { return (box = openMessageBox()) != nullptr; }));
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_FALSE(answer.has_value()) << "a sheet returns before it is answered";

    ASSERT_NE(box->checkBox(), nullptr);
    box->checkBox()->setChecked(true);
    QAbstractButton* cancel = nullptr;
    for (QAbstractButton* button : box->buttons())
        if (button->text() == QLatin1String("Cancel"))
            cancel = button;
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    ASSERT_TRUE(processEventsUntil([&] { return answer.has_value(); }));
    EXPECT_EQ(answer->response, AlertSecondButtonReturn);
    EXPECT_TRUE(answer->suppressionChecked);
}

TEST(DialogAlertPresenterTest, AccessoryViewIsShownAndHandedBackWhenTheSheetCloses)
{
    QWidget window;
    window.show();
    DialogAlertPresenter presenter;
    auto accessory = std::make_unique<QWidget>();
    Alert alert;
    alert.messageText = QStringLiteral("Palisor Status");
    alert.accessoryView = accessory.get();

    bool answered = false;
    presenter.beginSheet(alert, &window, [&](AlertResult) { answered = true; });
    QMessageBox* box = nullptr;
    ASSERT_TRUE(processEventsUntil([&] { return (box = openMessageBox()) != nullptr; }));
    EXPECT_TRUE(box->isAncestorOf(accessory.get()));
    EXPECT_TRUE(accessory->isVisible());

    box->buttons().first()->click();
    ASSERT_TRUE(processEventsUntil([&] { return answered; }));
    drainEvents();
    // Still alive (the box deleted itself) and free for the next sheet.
    EXPECT_EQ(accessory->parent(), nullptr);
    EXPECT_FALSE(accessory->isVisible());
}

// A standard picture name takes the bundle's own picture of that name (the
// login helper draws its caution picture), else the style's.
TEST(DialogAlertPresenterTest, StandardPictureNameTakesTheBundlesOwnPicture)
{
    QTemporaryDir own;
    ASSERT_TRUE(own.isValid());
    ASSERT_TRUE(QFile::copy(QStringLiteral(PALISOR_TEST_SOURCE_DIR "/../helper/resources/NSCaution.svg"),
                            own.filePath(QStringLiteral("NSCaution.svg"))));
    const QString bundleResources = Resources::resourcesPath();
    DialogAlertPresenter presenter;
    Alert alert;
    alert.messageText = QStringLiteral("Palisor Agent has quit unexpectedly");
    alert.informativeText = QStringLiteral("Click the button below to restart Palisor Agent");
    alert.buttons = {QStringLiteral("Restart Palisor Agent")};
    alert.icon = QStringLiteral("NSCaution");
    for (const bool hasOwn : {true, false}) {
        SCOPED_TRACE(hasOwn ? "own picture" : "style's picture");
        Resources::setResourcesPath(hasOwn ? own.path() : bundleResources);
        bool answered = false;
        presenter.beginSheet(alert, nullptr, [&](AlertResult) { answered = true; });
        QMessageBox* box = nullptr;
        ASSERT_TRUE(processEventsUntil([&] { return (box = openMessageBox()) != nullptr; }));
        EXPECT_EQ(box->icon(), hasOwn ? QMessageBox::NoIcon : QMessageBox::Warning);
        EXPECT_FALSE(box->iconPixmap().isNull());
        // The login helper's restart alert, to be looked at.
        if (hasOwn && QDir().mkpath(QStringLiteral(PALISOR_TEST_BINARY_DIR "/screenshots")))
            box->grab().save(QStringLiteral(PALISOR_TEST_BINARY_DIR "/screenshots/helper-restart-alert.png"));
        box->buttons().first()->click();
        ASSERT_TRUE(processEventsUntil([&] { return answered; }));
        drainEvents();
    }
    Resources::setResourcesPath(bundleResources);
}

} // namespace
