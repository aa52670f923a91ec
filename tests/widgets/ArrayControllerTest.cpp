#include "platform/ArrayController.h"

#include "platform/ArrayControllerModel.h"

#include <QItemSelectionModel>
#include <QStringList>
#include <QTableView>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct Item
{
    QString name;
    int rank = 0;
};

using Controller = ArrayController<Item>;
using ItemPtr = std::shared_ptr<Item>;
using Items = std::vector<ItemPtr>;

ItemPtr item(const QString& name, int rank = 0)
{
    return std::make_shared<Item>(Item{name, rank});
}

QStringList names(const Items& items)
{
    QStringList result;
    for (const ItemPtr& entry : items)
        result << (entry ? entry->name : QStringLiteral("<null>"));
    return result;
}

QStringList split(const char* names)
{
    return QString::fromLatin1(names).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// The filter most tests use: names in lower case are hidden.
// Counts emissions of a signal, as long as the counter lives.
class SignalCount
{
public:
    template <class Sender, class Signal> SignalCount(const Sender* sender, Signal signal)
    {
        m_connection = QObject::connect(sender, signal, [this] { ++m_count; });
    }
    ~SignalCount() { QObject::disconnect(m_connection); }
    int count() const { return m_count; }

private:
    QMetaObject::Connection m_connection;
    int m_count = 0;
};

bool capitalised(const Item& entry)
{
    return entry.name.front().isUpper();
}

TEST(ArrayControllerTest, OwnerListAndControllerStayInStep)
{
    const ItemPtr a = item(QStringLiteral("a")), b = item(QStringLiteral("b"));
    Items owner{a, b};
    Controller controller;
    controller.setContent(&owner);
    EXPECT_EQ(controller.content(), &owner);
    EXPECT_EQ(names(controller.arrangedObjects()), split("a b"));

    EXPECT_TRUE(controller.addObject(item(QStringLiteral("c"))));
    EXPECT_EQ(names(owner), split("a b c"));
    EXPECT_TRUE(controller.insertObject(item(QStringLiteral("d")), 1));
    EXPECT_EQ(names(owner), split("a d b c"));
    EXPECT_TRUE(controller.insertObject(item(QStringLiteral("e")), controller.arrangedCount()));
    EXPECT_EQ(names(owner), split("a d b c e"));
    controller.removeObject(b);
    EXPECT_EQ(names(owner), split("a d c e"));
    EXPECT_TRUE(controller.removeObjectAtArrangedObjectIndex(0));
    EXPECT_EQ(names(owner), split("d c e"));
    EXPECT_EQ(names(controller.arrangedObjects()), split("d c e"));

    // Bad indexes and null objects are refused without touching the list.
    EXPECT_FALSE(controller.insertObject(item(QStringLiteral("x")), 4));
    EXPECT_FALSE(controller.insertObject(item(QStringLiteral("x")), -1));
    EXPECT_FALSE(controller.insertObject(nullptr, 0));
    EXPECT_FALSE(controller.addObject(nullptr));
    EXPECT_FALSE(controller.removeObjectAtArrangedObjectIndex(3));
    EXPECT_FALSE(controller.removeObjectsAtArrangedObjectIndexes({0, 7}));
    EXPECT_EQ(names(owner), split("d c e"));

    controller.setSelectionIndexes({1});
    SignalCount selectionChanged(&controller, &ArrayControllerBase::selectionChanged);
    controller.setContent(nullptr);
    EXPECT_EQ(controller.content(), nullptr);
    EXPECT_TRUE(controller.arrangedObjects().empty());
    EXPECT_TRUE(controller.selectionIndexes().empty());
    EXPECT_EQ(selectionChanged.count(), 1);
    EXPECT_EQ(names(owner), split("d c e"));
}

TEST(ArrayControllerTest, AddingWithoutContentBindsAListOfItsOwn)
{
    Controller controller;
    controller.addObject(item(QStringLiteral("a")));
    ASSERT_NE(controller.content(), nullptr);
    EXPECT_EQ(names(*controller.content()), split("a"));
    EXPECT_EQ(names(controller.arrangedObjects()), split("a"));

    Items owner{item(QStringLiteral("b"))};
    controller.setContent(&owner);
    EXPECT_EQ(names(controller.arrangedObjects()), split("b"));
}

TEST(ArrayControllerTest, InsertsRelativeToTheArrangedObjectsUnderAFilter)
{
    const ItemPtr a = item(QStringLiteral("a")), B = item(QStringLiteral("B")), c = item(QStringLiteral("c")),
                  D = item(QStringLiteral("D"));
    Items owner{a, B, c, D};
    Controller controller;
    controller.setContent(&owner);
    controller.setFilterPredicate(capitalised);
    EXPECT_EQ(names(controller.arrangedObjects()), split("B D"));

    controller.insertObject(item(QStringLiteral("X")), 0);
    EXPECT_EQ(names(owner), split("a X B c D"));
    controller.insertObject(item(QStringLiteral("Y")), 2);
    EXPECT_EQ(names(owner), split("a X B c Y D"));
    EXPECT_EQ(names(controller.arrangedObjects()), split("X B Y D"));

    // The arranged object to insert before has left the list behind the
    // controller's back: the new one goes last instead.
    std::erase(owner, D);
    controller.insertObject(item(QStringLiteral("Z")), 3);
    EXPECT_EQ(names(owner), split("a X B c Y Z"));
}

TEST(ArrayControllerTest, FilterHidesAndDirectChangesShowAfterRearranging)
{
    Items owner{item(QStringLiteral("a")), item(QStringLiteral("B"))};
    Controller controller;
    controller.setContent(&owner);
    controller.setFilterPredicate(capitalised);
    EXPECT_EQ(names(controller.arrangedObjects()), split("B"));

    owner.push_back(item(QStringLiteral("C")));
    owner.push_back(item(QStringLiteral("d")));
    owner.push_back(nullptr);
    EXPECT_EQ(names(controller.arrangedObjects()), split("B"));
    controller.rearrangeObjects();
    EXPECT_EQ(names(controller.arrangedObjects()), split("B C"));

    controller.setFilterPredicate({});
    EXPECT_EQ(names(controller.arrangedObjects()), split("a B C d"));
    EXPECT_EQ(owner.size(), 5u);
}

TEST(ArrayControllerTest, SortArrangesStablyAndLeavesTheContentOrderAlone)
{
    Items owner{item(QStringLiteral("a"), 3), item(QStringLiteral("b"), 1), item(QStringLiteral("c"), 3),
                item(QStringLiteral("d"), 1)};
    Controller controller;
    controller.setContent(&owner);
    controller.setSortComparator([](const Item& x, const Item& y) { return x.rank < y.rank; });
    EXPECT_EQ(names(controller.arrangedObjects()), split("b d a c"));
    EXPECT_EQ(names(owner), split("a b c d"));

    controller.addObject(item(QStringLiteral("e"), 2));
    EXPECT_EQ(names(owner), split("a b c d e"));
    EXPECT_EQ(names(controller.arrangedObjects()), split("b d e a c"));

    controller.setSortComparator({});
    EXPECT_EQ(names(controller.arrangedObjects()), split("a b c d e"));
}

TEST(ArrayControllerTest, SelectionFollowsObjectsAndLosesFilteredOnes)
{
    const ItemPtr a = item(QStringLiteral("a"), 4), B = item(QStringLiteral("B"), 3),
                  c = item(QStringLiteral("c"), 2), D = item(QStringLiteral("D"), 1);
    Items owner{a, B, c, D};
    Controller controller;
    controller.setContent(&owner);
    SignalCount selectionChanged(&controller, &ArrayControllerBase::selectionChanged);

    controller.setSelectionIndexes({7, 2, -1, 0, 2});
    EXPECT_EQ(controller.selectionIndexes(), (std::vector<int>{0, 2}));
    EXPECT_EQ(controller.selectionIndex(), 0);
    EXPECT_EQ(selectionChanged.count(), 1);
    controller.setSelectedObjects({c, a, item(QStringLiteral("stranger"))});
    EXPECT_EQ(selectionChanged.count(), 1);

    controller.setSortComparator([](const Item& x, const Item& y) { return x.rank < y.rank; });
    EXPECT_EQ(names(controller.arrangedObjects()), split("D c B a"));
    EXPECT_EQ(names(controller.selectedObjects()), split("c a"));
    EXPECT_EQ(controller.selectionIndexes(), (std::vector<int>{1, 3}));
    EXPECT_EQ(selectionChanged.count(), 2);

    controller.setSelectedObjects({c, B});
    controller.setFilterPredicate(capitalised);
    EXPECT_EQ(names(controller.selectedObjects()), split("B"));
    // Showing it again does not bring it back into the selection.
    controller.setFilterPredicate({});
    EXPECT_EQ(names(controller.selectedObjects()), split("B"));

    controller.clearSelection();
    EXPECT_EQ(controller.selectionIndex(), -1);
    EXPECT_TRUE(controller.selectedObjects().empty());
}

TEST(ArrayControllerTest, SelectsInsertedObjectsUnlessToldNotTo)
{
    Items owner{item(QStringLiteral("A")), item(QStringLiteral("B"))};
    Controller controller;
    controller.setContent(&owner);
    EXPECT_TRUE(controller.selectsInsertedObjects());

    controller.addObject(item(QStringLiteral("C")));
    EXPECT_EQ(names(controller.selectedObjects()), split("C"));
    controller.insertObject(item(QStringLiteral("D")), 0);
    EXPECT_EQ(names(controller.selectedObjects()), split("D"));
    controller.addObjects({item(QStringLiteral("E")), item(QStringLiteral("F"))});
    EXPECT_EQ(names(controller.selectedObjects()), split("E F"));
    // An inserted object the filter hides cannot be selected.
    controller.setFilterPredicate(capitalised);
    controller.addObject(item(QStringLiteral("g")));
    EXPECT_TRUE(controller.selectedObjects().empty());

    controller.setSelectsInsertedObjects(false);
    controller.setSelectionIndexes({0});
    controller.insertObject(item(QStringLiteral("H")), 0);
    EXPECT_EQ(names(controller.selectedObjects()), split("D"));
    EXPECT_EQ(controller.selectionIndexes(), (std::vector<int>{1}));
}

TEST(ArrayControllerTest, RemovingSeveralIsOneRearrangement)
{
    const ItemPtr a = item(QStringLiteral("a")), b = item(QStringLiteral("b")), c = item(QStringLiteral("c")),
                  d = item(QStringLiteral("d"));
    Items owner{a, b, c, d, b};
    Controller controller;
    controller.setContent(&owner);
    controller.setSelectedObjects({b, d});
    SignalCount about(&controller, &ArrayControllerBase::aboutToRearrange);
    SignalCount changed(&controller, &ArrayControllerBase::arrangedObjectsChanged);
    SignalCount selectionChanged(&controller, &ArrayControllerBase::selectionChanged);

    controller.removeObjects({b, c});
    EXPECT_EQ(names(owner), split("a d"));
    EXPECT_EQ(about.count(), 1);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(selectionChanged.count(), 1);
    EXPECT_EQ(names(controller.selectedObjects()), split("d"));

    EXPECT_TRUE(controller.removeObjectsAtArrangedObjectIndexes({1, 0}));
    EXPECT_TRUE(owner.empty());
    EXPECT_EQ(about.count(), 2);
    EXPECT_EQ(changed.count(), 2);
}

struct ArrayControllerModelTest : ::testing::Test
{
    Items owner{item(QStringLiteral("a"), 1), item(QStringLiteral("B"), 2), item(QStringLiteral("C"), 3)};
    Controller controller;
    ArrayControllerModel model{&controller,
                               {makeColumn<Item>(QStringLiteral("Name"),
                                                 [](const Item& entry, int role) {
                                                     return role == Qt::DisplayRole ? QVariant(entry.name)
                                                                                    : QVariant();
                                                 }),
                                ArrayControllerColumn(QStringLiteral("Row"), [](int row, int role) {
                                    return role == Qt::DisplayRole ? QVariant(row) : QVariant();
                                })}};

    ArrayControllerModelTest() { controller.setContent(&owner); }

    QStringList column0() const
    {
        QStringList result;
        for (int row = 0; row < model.rowCount(); ++row)
            result << model.index(row, 0).data().toString();
        return result;
    }
};

TEST_F(ArrayControllerModelTest, ShowsArrangedRowsAndFollowsAFilter)
{
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.columnCount(), 2);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Row"));
    EXPECT_FALSE(model.headerData(2, Qt::Horizontal).isValid());
    EXPECT_EQ(column0(), split("a B C"));
    EXPECT_EQ(model.index(2, 1).data().toInt(), 2);
    EXPECT_FALSE(model.index(0, 0).data(Qt::ToolTipRole).isValid());
    EXPECT_FALSE(model.data(model.index(0, 0).siblingAtRow(5)).isValid());

    SignalCount reset(&model, &QAbstractItemModel::modelReset);
    controller.setFilterPredicate(capitalised);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(column0(), split("B C"));

    // A column made for another element type reads nothing rather than the wrong thing.
    struct Other
    {
        int x = 0;
    };
    model.setColumns(
        {makeColumn<Other>(QStringLiteral("X"), [](const Other& o, int) { return QVariant(o.x); })});
    EXPECT_EQ(model.columnCount(), 1);
    EXPECT_FALSE(model.index(0, 0).data().isValid());
}

TEST_F(ArrayControllerModelTest, IsEmptyOnceTheControllerIsGone)
{
    auto own = std::make_unique<Controller>();
    own->setContent(&owner);
    ArrayControllerModel orphan(own.get(), model.columns());
    EXPECT_EQ(orphan.rowCount(), 3);
    SignalCount reset(&orphan, &QAbstractItemModel::modelReset);
    own.reset();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(orphan.rowCount(), 0);
    EXPECT_EQ(orphan.controller(), nullptr);
}

TEST_F(ArrayControllerModelTest, SelectionStaysInStepWithAViewBothWays)
{
    QTableView view;
    view.setModel(&model);
    QItemSelectionModel* selection = view.selectionModel();
    model.bindSelectionModel(selection);
    SignalCount controllerSelection(&controller, &ArrayControllerBase::selectionChanged);
    SignalCount viewSelection(selection, &QItemSelectionModel::selectionChanged);

    auto selectedRows = [selection] {
        std::vector<int> rows;
        for (const QModelIndex& index : selection->selectedRows())
            rows.push_back(index.row());
        std::sort(rows.begin(), rows.end());
        return rows;
    };

    // Controller to view.
    controller.setSelectedObjects({owner[0], owner[2]});
    EXPECT_EQ(selectedRows(), (std::vector<int>{0, 2}));
    EXPECT_EQ(controllerSelection.count(), 1);
    EXPECT_EQ(viewSelection.count(), 1);

    // View to controller, as a click on a cell does.
    selection->select(model.index(1, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(controller.selectionIndexes(), (std::vector<int>{1}));
    EXPECT_EQ(controllerSelection.count(), 2);
    EXPECT_EQ(viewSelection.count(), 2);
    selection->select(model.index(2, 1), QItemSelectionModel::Select);
    EXPECT_EQ(controller.selectionIndexes(), (std::vector<int>{1, 2}));

    // A rearrangement resets the view; the selection is put back where the objects went.
    controller.setSortComparator([](const Item& x, const Item& y) { return x.rank > y.rank; });
    EXPECT_EQ(names(controller.selectedObjects()), split("C B"));
    EXPECT_EQ(selectedRows(), (std::vector<int>{0, 1}));
    controller.setFilterPredicate([](const Item& entry) { return entry.name != QStringLiteral("C"); });
    EXPECT_EQ(names(controller.selectedObjects()), split("B"));
    EXPECT_EQ(selectedRows(), (std::vector<int>{0}));
    // Nothing moves here, so only the reset itself can bring the view's selection back.
    controller.rearrangeObjects();
    EXPECT_EQ(selectedRows(), (std::vector<int>{0}));

    selection->clearSelection();
    EXPECT_TRUE(controller.selectionIndexes().empty());

    model.bindSelectionModel(nullptr);
    controller.setSelectionIndexes({1});
    EXPECT_TRUE(selectedRows().empty());
}

} // namespace
