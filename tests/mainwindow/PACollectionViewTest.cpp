#include "mainwindow/PACollectionView.h"

#include "core/PAApplication.h"
#include "core/PAConfiguration.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "mainwindow/PAController.h"
#include "platform/ArrayControllerModel.h"
#include "platform/SystemColors.h"
#include "platform/widgets/PATableView.h"
#include "support/EventLoop.h"
#include "support/SharedStateReset.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QImage>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPalette>
#include <QRegion>
#include <QStandardItemModel>

#include <gtest/gtest.h>

#include <iterator>
#include <limits>
#include <memory>

namespace {

using AppPointer = std::shared_ptr<PAApplication>;

// Apps at paths that do not exist, so every one shows the unknown-app icon.
AppPointer makeApp(const QString& name, qint64 state,
                   const QString& dir = QStringLiteral("/opt/palisor-test/"))
{
    auto app = PAApplication::generatePAApplication(state, dir + name);
    app->setRule(state);
    return app;
}

void rightClick(QAbstractItemView& view, const QPoint& pos)
{
    QWidget* viewport = view.viewport();
    const QPoint global = viewport->mapToGlobal(pos);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(pos), QPointF(global), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(pos), QPointF(global), Qt::RightButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &release);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, pos, global);
    QApplication::sendEvent(viewport, &menu);
}

// Counts the paints of a widget.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

class PACollectionViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetSharedState();
        m_controller = std::make_unique<PAController>(m_configuration, m_queues);
        m_view = std::make_unique<PACollectionView>();
        m_view->resize(520, 300);
        m_view->setController(m_controller.get());
    }

    void TearDown() override
    {
        m_view.reset();
        m_controller.reset();
        resetSharedState();
    }

    AppPointer add(const QString& name, qint64 state,
                   const QString& dir = QStringLiteral("/opt/palisor-test/"))
    {
        auto app = makeApp(name, state, dir);
        m_controller->appsLibraryController->addObject(app);
        sharedAppsLibrary = m_controller->appsLibrary;
        return app;
    }

    QStringList shownNames() const
    {
        QStringList names;
        const ArrayControllerModel* model = m_view->appsModel();
        for (int row = 0; row < model->rowCount(); ++row)
            names << model->index(row, 0).data().toString();
        return names;
    }

    void showView()
    {
        m_view->show();
        m_view->doItemsLayout();
        drainEvents();
    }

    PAConfiguration m_configuration;
    PAWorkQueues m_queues;
    std::unique_ptr<PAController> m_controller;
    std::unique_ptr<PACollectionView> m_view;
};

TEST_F(PACollectionViewTest, RowsFollowTheControllerThroughFilterAndTopInsertion)
{
    add(QStringLiteral("alpha"), 0);
    add(QStringLiteral("daemon"), 1, QStringLiteral("/usr/sbin/"));
    add(QStringLiteral("gamma"), 2);
    EXPECT_EQ(shownNames(), (QStringList{"alpha", "daemon", "gamma"}));

    hideSystemBinaries = true;
    m_controller->appsLibraryController->setFilterPredicate(
        [](const PAApplication& app) { return !app.appIsSystemBinary(); });
    EXPECT_EQ(shownNames(), (QStringList{"alpha", "gamma"}));

    // New apps from the alert arrive at the top; a system binary among them stays hidden.
    sharedAppsLibrary.insert(sharedAppsLibrary.begin(),
                             makeApp(QStringLiteral("helperd"), 4, "/usr/libexec/"));
    m_controller->copyArrayAppLibrary();
    ASSERT_EQ(m_controller->appsLibrary.size(), 4u);
    EXPECT_EQ(m_controller->appsLibrary.front()->appName(), QStringLiteral("helperd"));
    EXPECT_EQ(shownNames(), (QStringList{"alpha", "gamma"}));

    sharedAppsLibrary.insert(sharedAppsLibrary.begin(),
                             makeApp(QStringLiteral("Mail.app/Contents/MacOS/Mail"), 4));
    m_controller->copyArrayAppLibrary();
    EXPECT_EQ(shownNames(), (QStringList{"Mail", "alpha", "gamma"}));
    // The inserted app is selected in the view as in the controller.
    const QModelIndexList selected = m_view->selectionModel()->selectedIndexes();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.front().row(), 0);

    m_controller->appsLibraryController->removeObjectAtArrangedObjectIndex(1);
    EXPECT_EQ(shownNames(), (QStringList{"Mail", "gamma"}));
}

TEST_F(PACollectionViewTest, EachStyleGivesItsFixedItemSize)
{
    add(QStringLiteral("alpha"), 0);
    add(QStringLiteral("a name far too long to fit under one icon of the grid"), 3);
    showView();
    const QSize normal = m_view->itemSize();
    struct Case
    {
        QString style;
        QString applied;
    };
    for (const Case& c :
         {Case{"mini", "mini"}, Case{"Mini", "normal"}, Case{"normal", "normal"}, Case{"", "normal"}}) {
        SCOPED_TRACE(c.style.toStdString());
        m_view->setItemStyle(c.style);
        m_view->doItemsLayout();
        EXPECT_EQ(m_view->itemStyle(), c.applied);
        const QSize expected = c.applied == QLatin1String("mini") ? QSize(240, 36) : QSize(112, 118);
        EXPECT_EQ(m_view->itemSize(), expected);
        for (int row = 0; row < 2; ++row)
            EXPECT_EQ(m_view->visualRect(m_view->appsModel()->index(row, 0)).size(), expected);
    }
    EXPECT_EQ(normal, QSize(112, 118));
}

TEST_F(PACollectionViewTest, RightClickSelectsTheItemUnderThePointerOnly)
{
    for (int i = 0; i < 5; ++i)
        add(QStringLiteral("app%1").arg(i), i);
    showView();
    QList<QVariantMap> posts;
    appNotificationCenter().addObserver(
        QStringLiteral("selectApp"), m_view.get(),
        [&posts](const NotificationCenter::Notification& n) { posts << n.userInfo; });
    m_controller->appsLibraryController->setSelectionIndexes({0, 4});

    const QRect third = m_view->visualRect(m_view->appsModel()->index(2, 0));
    rightClick(*m_view, third.center());
    EXPECT_EQ(m_view->clickedItemIndex(), 2);
    EXPECT_EQ(m_controller->appsLibraryController->selectionIndexes(), std::vector<int>{2});
    ASSERT_EQ(posts.size(), 1);
    EXPECT_EQ(posts.front().value(QStringLiteral("selectApp")).toInt(), 2);

    // Empty space below the last row: nothing posted, the selection stays.
    rightClick(*m_view, QPoint(m_view->viewport()->width() - 5, m_view->viewport()->height() - 5));
    EXPECT_EQ(m_view->clickedItemIndex(), PACollectionView::NotFound);
    EXPECT_EQ(m_controller->appsLibraryController->selectionIndexes(), std::vector<int>{2});
    EXPECT_EQ(posts.size(), 1);

    // A "selectApp" without an Int, or with an index that shows nothing, changes nothing.
    for (const QVariantMap& info : {QVariantMap{}, QVariantMap{{"selectApp", "3"}},
                                    QVariantMap{{"selectApp", 9}}, QVariantMap{{"selectApp", -1}}}) {
        appNotificationCenter().post(QStringLiteral("selectApp"), info);
        EXPECT_EQ(m_controller->appsLibraryController->selectionIndexes(), std::vector<int>{2});
    }
    appNotificationCenter().post(QStringLiteral("selectApp"), {{QStringLiteral("selectApp"), 4}});
    EXPECT_EQ(m_controller->appsLibraryController->selectionIndexes(), std::vector<int>{4});
}

TEST_F(PACollectionViewTest, AChangedAppRepaintsAndARemovedOneIsForgotten)
{
    auto kept = add(QStringLiteral("kept"), 0);
    auto removed = add(QStringLiteral("removed"), 0);
    showView();
    PaintCounter counter;
    m_view->viewport()->installEventFilter(&counter);
    // The first paint comes once the window is exposed, which may take a turn or two.
    m_view->viewport()->update();
    ASSERT_TRUE(processEventsUntil([&] { return counter.paints > 0; }));
    drainEvents();
    counter.paints = 0;

    kept->setRule(1);
    EXPECT_TRUE(processEventsUntil([&] { return counter.paints > 0; }));

    m_controller->appsLibraryController->removeObject(removed);
    drainEvents();
    counter.paints = 0;
    removed->setRule(1);
    drainEvents();
    EXPECT_EQ(counter.paints, 0) << "an app that left the view does not repaint it";
    removed.reset();
    kept->setRule(4);
    EXPECT_TRUE(processEventsUntil([&] { return counter.paints > 0; }));
    m_view->viewport()->removeEventFilter(&counter);
}

// A sort arranges the same apps anew: each still repaints where it now
// shows, and an app that left and came back repaints again.
TEST_F(PACollectionViewTest, AppsRepaintWhereTheyShowAfterASortAndAfterComingBack)
{
    auto first = add(QStringLiteral("first"), 0);
    auto second = add(QStringLiteral("second"), 0);
    showView();
    struct RegionRecorder : QObject
    {
        QRegion painted;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint)
                painted += static_cast<QPaintEvent*>(event)->region();
            return false;
        }
    } recorder;
    m_view->viewport()->installEventFilter(&recorder);
    const auto rowRect = [this](int row) { return m_view->visualRect(m_view->appsModel()->index(row, 0)); };
    const auto paintsOf = [&](const AppPointer& app) {
        drainEvents();
        recorder.painted = QRegion();
        app->setRule(app->appIsBlockedOrAllowed() == 1 ? 0 : 1);
        processEventsUntil([&] { return !recorder.painted.isEmpty(); });
        return recorder.painted;
    };

    m_controller->appsLibrary = {second, first};
    m_controller->appsLibraryController->rearrangeObjects();
    ASSERT_EQ(shownNames(), QStringList({"second", "first"}));
    EXPECT_TRUE(paintsOf(first).intersects(rowRect(1)));

    m_controller->appsLibraryController->removeObject(second);
    m_controller->appsLibraryController->addObject(second);
    ASSERT_EQ(shownNames(), QStringList({"first", "second"}));
    EXPECT_TRUE(paintsOf(second).intersects(rowRect(1)));
    m_view->viewport()->removeEventFilter(&recorder);
}

TEST_F(PACollectionViewTest, TableRightClickAdjustsTheSelectionByItsRules)
{
    QStandardItemModel model(4, 2);
    PATableView table;
    table.setModel(&model);
    table.setSelectionBehavior(QAbstractItemView::SelectRows);
    table.setSelectionMode(QAbstractItemView::ExtendedSelection);
    table.resize(300, 400);
    table.show();
    drainEvents();

    auto selectRows = [&](const QList<int>& rows) {
        table.selectionModel()->clearSelection();
        for (int row : rows)
            table.selectionModel()->select(model.index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    };
    auto selectedRows = [&] {
        QList<int> rows;
        for (const QModelIndex& index : table.selectionModel()->selectedRows())
            rows << index.row();
        std::sort(rows.begin(), rows.end());
        return rows;
    };
    auto rowCentre = [&](int row) { return table.visualRect(model.index(row, 0)).center(); };
    const QPoint below(10, table.viewport()->height() - 5);

    struct Case
    {
        const char* name;
        QList<int> before;
        QPoint at;
        QList<int> after;
    };
    const Case cases[] = {
        {"unselected row, one selected", {0}, rowCentre(2), {2}},
        {"unselected row, two selected", {0, 1}, rowCentre(3), {0, 1}},
        {"selected row of two", {0, 1}, rowCentre(1), {0, 1}},
        {"no row", {1}, below, {}},
        {"nothing selected", {}, rowCentre(3), {3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        selectRows(c.before);
        rightClick(table, c.at);
        EXPECT_EQ(selectedRows(), c.after);
    }
}

// An app that asks is named in the theme's text colour of the moment, so a
// switch to a dark theme never leaves its name black on dark.
TEST_F(PACollectionViewTest, TheAskStateFollowsTheThemeUntilAColourIsPicked)
{
    const QPalette original = QApplication::palette();
    add(QStringLiteral("ssh"), 4);
    m_view->setItemStyle(QStringLiteral("mini"));
    showView();
    // The lightest pixel where the name is written, right of the icon.
    const auto lightestOfName = [&] {
        const QImage image = m_view->grab().toImage();
        const QRect item = m_view->visualRect(m_view->appsModel()->index(0, 0));
        int lightest = 0;
        for (int y = item.top(); y <= item.bottom(); ++y)
            for (int x = item.left() + 40; x < item.left() + 70; ++x)
                lightest = std::max(lightest, QColor(image.pixel(x, y)).lightness());
        return lightest;
    };

    QPalette dark = original;
    for (const QPalette::ColorRole role : {QPalette::Window, QPalette::Base})
        dark.setColor(role, QColor(0x1E, 0x1E, 0x20));
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText})
        dark.setColor(role, QColor(0xE8, 0xE8, 0xEA));
    QApplication::setPalette(dark);
    showView();
    EXPECT_GT(lightestOfName(), 180) << "a light name on the dark theme";

    labelColor4() = QColor(0x10, 0x10, 0x10);
    m_controller->updateAllAppsLabelsColors();
    showView();
    EXPECT_LT(lightestOfName(), 80) << "a colour the user picked is kept";
    QApplication::setPalette(original);
}

// A state no rule knows (a damaged or planted file) shows as pass all in
// every place that looks at the state, and never indexes past a table.
TEST_F(PACollectionViewTest, StatesNoRuleKnowsShowAsPassAll)
{
    const qint64 states[] = {-1, 5, std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::min()};
    for (const qint64 state : states)
        add(QStringLiteral("app%1").arg(state), state);
    for (const char* style : {"mini", "normal"}) {
        m_view->setItemStyle(QString::fromLatin1(style));
        showView();
        EXPECT_FALSE(m_view->grab().isNull());
    }
    m_controller->updateAllAppsLabelsColors();
    m_controller->makeYellowAppsTurnGreenButPreserveAllMatches();
    m_controller->turnAllAppsWithMatchesFromGreenToYellow();
    ASSERT_EQ(m_controller->appsLibrary.size(), std::size(states));
    for (const auto& app : m_controller->appsLibrary) {
        SCOPED_TRACE(app->appName().toStdString());
        EXPECT_EQ(app->appLabelColor(), labelColor0());
        EXPECT_FALSE(app->appIsBlocked());
        EXPECT_FALSE(app->appIsYellow());
    }
}

// Offscreen pictures of the view in both styles, light and dark, with an app
// in every state, so a change of the look can be checked by eye.
TEST_F(PACollectionViewTest, WritesScreenshotsOfBothStyles)
{
    const QString dir = QStringLiteral(PALISOR_TEST_BINARY_DIR "/screenshots");
    ASSERT_TRUE(QDir().mkpath(dir));
    const QPalette original = QApplication::palette();

    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2B, 0x2B, 0x2E));
    dark.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x20));
    dark.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x29));
    dark.setColor(QPalette::WindowText, QColor(0xE8, 0xE8, 0xEA));
    dark.setColor(QPalette::Text, QColor(0xE8, 0xE8, 0xEA));
    dark.setColor(QPalette::ButtonText, QColor(0xE8, 0xE8, 0xEA));
    dark.setColor(QPalette::Button, QColor(0x3A, 0x3A, 0x3D));
    dark.setColor(QPalette::Highlight, QColor(0x3B, 0x82, 0xF6));

    add(QStringLiteral("Safari.app/Contents/MacOS/Safari"), 0);
    add(QStringLiteral("curl"), 1);
    add(QStringLiteral("Mail.app/Contents/MacOS/Mail"), 2);
    add(QStringLiteral("A Very Long Application Name Indeed.app/Contents/MacOS/x"), 3);
    add(QStringLiteral("ssh"), 4);
    auto quietPass = add(QStringLiteral("quiet-pass-helper"), 4);
    quietPass->setAppIsQuietPass(true);
    auto quietBlock = add(QStringLiteral("quiet-block-helper"), 4);
    quietBlock->setAppIsQuietBlock(true);
    m_controller->appsLibraryController->setSelectionIndexes({1});

    for (const bool isDark : {false, true}) {
        QApplication::setPalette(isDark ? dark : original);
        m_controller->updateAllAppsLabelsColors();
        for (const char* style : {"normal", "mini"}) {
            m_view->setItemStyle(QString::fromLatin1(style));
            m_view->resize(QLatin1String(style) == QLatin1String("mini") ? QSize(520, 180) : QSize(520, 270));
            showView();
            const QString path =
                QStringLiteral("%1/appsview-%2-%3.png").arg(dir, style, isDark ? "dark" : "light");
            const QImage image = m_view->grab().toImage();
            EXPECT_TRUE(image.save(path)) << path.toStdString();
        }
    }
    QApplication::setPalette(original);
}

} // namespace
