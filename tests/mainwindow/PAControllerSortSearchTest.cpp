#include "core/PAApplication.h"
#include "core/PAConfiguration.h"
#include "core/PARuleLists.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "mainwindow/PACollectionView.h"
#include "mainwindow/PAController.h"
#include "mainwindow/PASearchController.h"
#include "support/EventLoop.h"
#include "support/ManualClock.h"
#include "support/SharedStateReset.h"

#include <QAction>
#include <QImage>
#include <QLineEdit>
#include <QMainWindow>

#include <gtest/gtest.h>

namespace {

class PAControllerSortSearchTest : public ::testing::Test
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

    std::shared_ptr<PAApplication> addApp(const QString& name, qint64 state, bool systemBinary = false)
    {
        auto app = std::make_shared<PAApplication>(name, QStringList{name}, false, false,
                                                   QStringLiteral("/nowhere/") + name, false);
        app->setRule(state);
        app->setAppIsBlockedOrAllowed(state);
        app->setAppLocalizedName(name);
        app->setAppIsSystemBinary(systemBinary);
        m_controller->appsLibraryController->addObject(app);
        return app;
    }
    void publishNow() { ruleLists().publishApps(m_controller->appsLibrary); }
    static QStringList names(const std::vector<std::shared_ptr<PAApplication>>& apps)
    {
        QStringList result;
        for (const auto& app : apps)
            result << app->appLocalizedName();
        return result;
    }
    static void runQueue()
    {
        ASSERT_TRUE(synchronizedQueue().syncBarrier([] {}));
    }

    ScopedManualClock m_clock;
    PAConfiguration m_configuration;
    PAWorkQueues m_queues;
    std::unique_ptr<PAController> m_controller;
};

// The sort replaces the window's list in one step: the view never shows an
// empty list, apps that arrive while the sort waits stay, and an app of an
// unknown state goes last.
TEST_F(PAControllerSortSearchTest, SortReplacesTheOrderInOneStepAndLosesNoApp)
{
    addApp(QStringLiteral("one"), 1);
    addApp(QStringLiteral("odd"), 7);
    addApp(QStringLiteral("zero"), 0);
    addApp(QStringLiteral("ask"), 4);
    publishNow();

    std::vector<int> shownCounts;
    QObject::connect(m_controller->appsLibraryController, &ArrayControllerBase::arrangedObjectsChanged,
                     m_controller.get(),
                     [&] { shownCounts.push_back(m_controller->appsLibraryController->arrangedCount()); });
    m_controller->sortApps(m_controller->miPassedFirst);
    // Nothing happens until the queue runs the sort...
    EXPECT_EQ(names(m_controller->appsLibrary), QStringList({"one", "odd", "zero", "ask"}));
    // ...meanwhile the user adds an app and an alert learns one.
    addApp(QStringLiteral("added"), 2);
    auto learnt = std::make_shared<PAApplication>(QStringLiteral("learnt"), QStringList{"learnt"}, false,
                                                  false, QStringLiteral("/nowhere/learnt"), false);
    learnt->setRule(1);
    learnt->setAppLocalizedName(QStringLiteral("learnt"));
    ruleLists().insertApp(learnt);
    shownCounts.clear();
    runQueue();

    const QStringList expected{"zero", "added", "ask", "learnt", "one", "odd"};
    EXPECT_EQ(names(m_controller->appsLibrary), expected);
    EXPECT_EQ(names(m_controller->appsLibraryController->arrangedObjects()), expected);
    EXPECT_EQ(names(sharedAppsLibrary), expected);
    ASSERT_FALSE(shownCounts.empty());
    for (int count : shownCounts)
        EXPECT_EQ(count, 6);
}

TEST_F(PAControllerSortSearchTest, EverySortItemOrdersAndOtherSendersOnlyFilter)
{
    addApp(QStringLiteral("gamma"), 0);
    addApp(QStringLiteral("Beta"), 1);
    addApp(QStringLiteral("alpha"), 2);
    publishNow();
    const struct
    {
        QAction* item;
        QStringList expected;
    } cases[] = {
        {m_controller->miByName, {"alpha", "Beta", "gamma"}},
        {m_controller->miBlockedFirst, {"Beta", "alpha", "gamma"}},
        {m_controller->miPassedFirst, {"gamma", "alpha", "Beta"}},
        {nullptr, {"gamma", "alpha", "Beta"}},
    };
    for (const auto& test : cases) {
        m_controller->sortApps(test.item);
        runQueue();
        EXPECT_EQ(names(m_controller->appsLibrary), test.expected);
    }
    // A sender that is none of the items changes no order.
    QAction stranger;
    m_controller->sortApps(&stranger);
    runQueue();
    EXPECT_EQ(names(m_controller->appsLibrary), QStringList({"gamma", "alpha", "Beta"}));
}

TEST_F(PAControllerSortSearchTest, SystemBinariesStayHiddenAfterASortButStayInTheList)
{
    addApp(QStringLiteral("b-system"), 0, true);
    addApp(QStringLiteral("a-own"), 1);
    addApp(QStringLiteral("c-system"), 4, true);
    publishNow();
    hideSystemBinaries = true;
    for (QAction* item : {m_controller->miByName.data(), m_controller->miBlockedFirst.data()}) {
        m_controller->sortApps(item);
        runQueue();
        EXPECT_EQ(names(m_controller->appsLibraryController->arrangedObjects()), QStringList({"a-own"}));
        EXPECT_EQ(m_controller->appsLibrary.size(), 3u);
    }
    // Any sender sets the filter again.
    m_controller->appsLibraryController->setFilterPredicate({});
    m_controller->sortApps(nullptr);
    runQueue();
    EXPECT_EQ(m_controller->appsLibraryController->arrangedCount(), 1);
}

// One case-folded comparison finds the text and tells where, in the name's
// own code units, whatever the folding does to the length.
TEST_F(PAControllerSortSearchTest, MatchRangeFoldsCaseOnceAndStaysInsideTheName)
{
    const struct
    {
        const char* name;
        const char* typed;
        qsizetype start;
        qsizetype length;
    } cases[] = {
        {"Safari", "saf", 0, 3},
        {"Safari", "SAF", 0, 3},
        {"Safari", "", 0, 0},
        {"Safari", "safari browser", 0, 0},
        {"Safari", "x", 0, 0},
        // "ß" folds to "ss": found from either spelling, the highlight covers the ß.
        {"Straße", "strasse", 0, 6},
        {"Straße", "ße", 4, 2},
        {"Straße", "sse", 4, 2},
        {"Maßstab", "stab", 3, 4},
        {"MASSSTAB", "ß", 2, 2},
        // "İ" folds to two units; the text after it is still found where it is.
        {"İstanbul", "bul", 5, 3},
        {"İstanbul", "İst", 0, 3},
        {"xİ", "İ", 1, 1},
        {"İİİ", "i̇i̇", 0, 2},
        // Characters outside the basic plane count as the two units they are.
        {"Note 🎵 Pad", "pad", 8, 3},
        {"🎵🎵", "🎵", 0, 2},
    };
    for (const auto& test : cases) {
        const PAApplication::TextRange range = PASearchController::matchRange(
            QString::fromUtf8(test.name),
            PASearchController::foldedSearchText(QString::fromUtf8(test.typed)));
        EXPECT_EQ(range.start, test.length ? test.start : 0) << test.name << " / " << test.typed;
        EXPECT_EQ(range.length, test.length) << test.name << " / " << test.typed;
    }
}

TEST_F(PAControllerSortSearchTest, TypingHighlightsTheFoundPartOfEveryNameAndClearingRemovesIt)
{
    auto safari = addApp(QStringLiteral("Safari"), 0);
    auto mail = addApp(QStringLiteral("Mail"), 1);
    auto street = addApp(QStringLiteral("Straße"), 4);
    QLineEdit* field = m_controller->searchAppName();
    ASSERT_NE(field, nullptr);

    field->setText(QStringLiteral("SA"));
    runQueue();
    EXPECT_EQ(safari->appNameHighlight(), (PAApplication::TextRange{0, 2}));
    EXPECT_TRUE(mail->appNameHighlight().isEmpty());
    EXPECT_TRUE(street->appNameHighlight().isEmpty());

    field->setText(QStringLiteral("ss"));
    runQueue();
    EXPECT_TRUE(safari->appNameHighlight().isEmpty());
    EXPECT_EQ(street->appNameHighlight(), (PAApplication::TextRange{4, 1}));

    field->clear();
    runQueue();
    for (const auto& app : {safari, mail, street})
        EXPECT_TRUE(app->appNameHighlight().isEmpty());

    // Only the window's own field searches.
    QLineEdit other;
    other.setText(QStringLiteral("mail"));
    m_controller->searchController()->doSearch(&other);
    runQueue();
    EXPECT_TRUE(mail->appNameHighlight().isEmpty());
}

// The view draws the part found black on yellow in the found app's item only.
TEST_F(PAControllerSortSearchTest, TheViewDrawsTheHighlightInTheFoundItem)
{
    addApp(QStringLiteral("Safari"), 0);
    addApp(QStringLiteral("Mail"), 1);
    PACollectionView view;
    view.setController(m_controller.get());
    view.resize(400, 200);
    view.show();
    drainEvents();
    const auto yellowPixels = [&view](int row) {
        const QRect item = view.visualRect(view.model()->index(row, 0));
        const QImage picture = view.viewport()->grab(item).toImage();
        int count = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const QColor pixel = picture.pixelColor(x, y);
                count += pixel.red() == 255 && pixel.green() == 255 && pixel.blue() == 0;
            }
        return count;
    };
    EXPECT_EQ(yellowPixels(0), 0);
    m_controller->searchAppName()->setText(QStringLiteral("fari"));
    runQueue();
    drainEvents();
    EXPECT_GT(yellowPixels(0), 20);
    EXPECT_EQ(yellowPixels(1), 0);
    for (const char* style : {"mini", "normal"}) {
        view.setItemStyle(QLatin1String(style));
        drainEvents();
        EXPECT_GT(yellowPixels(0), 20) << style;
    }
}

} // namespace
