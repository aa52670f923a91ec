#include "core/PAApplication.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "mainwindow/PAController.h"
#include "platform/DBusDistributedNotificationCenter.h"
#include "platform/widgets/PopUpButton.h"
#include "platform/widgets/Popover.h"
#include "ruleeditors/PAAddIPPopover.h"
#include "ruleeditors/PAAppRulesController.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"
#include "support/ScriptedHostResolver.h"
#include "support/widgets/AgentFixture.h"
#include "support/widgets/RulesPopoverFixture.h"

#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPixmap>
#include <QProgressBar>

#include <gtest/gtest.h>

namespace {

constexpr int kPass = 0;
constexpr int kBlock = 1;

// The add popover's helpers over either the rules popover alone or the whole
// agent, whose end-to-end cases remove apps and show the main window.
template <class Base> class EntriesTest : public Base
{
protected:
    void TearDown() override
    {
        // A look-up a test left held would keep the pools from ending.
        m_resolver.releaseAll();
        Base::TearDown();
    }

    PAAddIPPopover& view() { return *this->controller().addIPView(); }
    Popover& popover() { return *this->controller().addIPPopover(); }

    void select(const std::vector<std::shared_ptr<PAApplication>>& apps)
    {
        this->controller().appsLibraryController->setSelectedObjects(apps);
    }

    // Opens the add popover on the selected app, types `text`, chooses pass or
    // block where the pop-up is free, confirms, and lets the queued messages
    // show.
    void enter(const QString& text, int choice)
    {
        this->controller().openAddRecordPopover(&m_anchor);
        view().newIP()->setText(text);
        if (view().rulePopup()->isEnabled())
            view().rulePopup()->selectItemAtIndex(choice);
        this->controller().addNewItem(view().addNewItemBtn());
        drainEvents();
    }

    // The message beside the caution picture; "" when none shows.
    QString message()
    {
        const QString text = view().addRuleErrorString()->text();
        EXPECT_EQ(view().cautionPic()->isVisibleTo(&view()), !text.isEmpty()) << text.toStdString();
        return text;
    }

    bool spinning() { return view().progrind()->isVisibleTo(&view()); }

    int ruleSetCount()
    {
        drainEvents();
        return static_cast<int>(this->postsNamed(QStringLiteral("newAppListReceived")).size());
    }

    QWidget m_anchor;
    ScriptedHostResolver m_resolver;
};

using AddEntriesTest = EntriesTest<RulesPopoverFixture>;
using AddEntriesAgentTest = EntriesTest<AgentFixture>;

TEST_F(AddEntriesTest, TypedEntriesAreAppendedAndPublishedOrRefusedWithTheirMessage)
{
    const QStringList none;
    const struct
    {
        qint64 state;
        QStringList matches;
        int choice;
        QString text;
        QStringList matchesAfter;
        qint64 stateAfter;
        QString message;
    } cases[] = {
        {4, none, kBlock, "10.0.0.1", {"#10.0.0.1"}, 4, ""},
        {4, {"#10.0.0.1"}, kPass, "10.0.0.1", {"#10.0.0.1"}, 4, "duplicated rule"},
        {4, {"@10.0.0.1"}, kBlock, "10.0.0.1", {"@10.0.0.1"}, 4, "duplicated rule"},
        {4, none, kPass, "fe80::1", {"@fe80::1"}, 4, ""},
        {4, none, kPass, "443", {"@443"}, 4, ""},
        {4, none, kBlock, "+80", {"#+80"}, 4, ""},
        {4, {"#80"}, kPass, "+80", {"#80"}, 4, "invalid port"},
        {4, none, kPass, "0", none, 4, "invalid port"},
        {4, none, kPass, "65536", none, 4, "invalid port"},
        {4, none, kPass, "-1", none, 4, "invalid port"},
        {4, none, kPass, "6000:6010", {"@_range6000:6010"}, 4, ""},
        {4, none, kBlock, "1:2:3", {"#_range1:2:3"}, 4, ""},
        {4, none, kPass, "6010:6000", none, 4, "invalid port range?"},
        {4, none, kPass, "80:", none, 4, "invalid port range?"},
        {4, none, kPass, "10.0.0.1:80", none, 4, "invalid port range?"},
        {4, none, kPass, "10.0.0.0/8", {"@10.0.0.0/8"}, 4, ""},
        {4, none, kBlock, "10.0.0.0/08", {"#10.0.0.0/08"}, 4, ""},
        {4, none, kPass, "10.0.0.0/33", none, 4, "invalid IPv4 subnet"},
        {4, none, kPass, "10.0.0/8", none, 4, "invalid IPv4 subnet"},
        {4, none, kPass, "fe80::/10", {"@fe80::/10"}, 4, ""},
        {4, none, kPass, "fe80::/200", none, 4, "invalid IPv6 subnet"},
        // Pass all takes only block entries, block all only pass entries,
        // and each then has an exception.
        {0, none, kPass, "10.0.0.1", {"#10.0.0.1"}, 2, ""},
        {1, none, kBlock, "443", {"@443"}, 3, ""},
        {2, {"#80"}, kPass, "443", {"#80", "@443"}, 2, ""},
        {3, {"@1.1.1.1"}, kBlock, "22", {"@1.1.1.1", "#22"}, 3, ""},
    };
    auto app = addApp("a", "/a", 4);
    int sent = ruleSetCount();
    for (const auto& c : cases) {
        const std::string label = c.text.toStdString() + " on state " + std::to_string(c.state);
        app->setRule(c.state);
        app->setAppMatches(c.matches);
        select({app});
        enter(c.text, c.choice);
        EXPECT_EQ(app->appMatches(), c.matchesAfter) << label;
        EXPECT_EQ(app->appIsBlockedOrAllowed(), c.stateAfter) << label;
        EXPECT_EQ(message(), c.message) << label;
        if (c.message.isEmpty()) {
            // Through: the popover closes with its field emptied, and the app
            // goes to the daemon as it is now.
            EXPECT_FALSE(popover().isVisible()) << label;
            EXPECT_TRUE(view().newIP()->text().isEmpty()) << label;
            ASSERT_TRUE(waitForRuleSets(++sent)) << label;
            EXPECT_EQ(lastRuleSet(),
                      QStringList{"/a " + QString::number(c.stateAfter) + ' ' + c.matchesAfter.join(',')})
                << label;
        } else {
            // Refused: it stays open with the text to correct, and nothing is sent.
            EXPECT_TRUE(popover().isVisible()) << label;
            EXPECT_EQ(view().newIP()->text(), c.text) << label;
            EXPECT_EQ(ruleSetCount(), sent) << label;
        }
        popover().close();
    }
    EXPECT_TRUE(m_resolver.askedNames().isEmpty());
}

TEST_F(AddEntriesTest, SilentStopsChangeNothingAndSendNothing)
{
    auto app = addApp("a", "/a", 4, {"@_range6000:6010"});
    auto other = addApp("b", "/b", 4);
    const int sent = ruleSetCount();

    // A range already stored passes the first test and stops without a word;
    // an empty entry does nothing.
    select({app});
    for (const QString& text : {QStringLiteral("6000:6010"), QString()}) {
        enter(text, kBlock);
        EXPECT_EQ(message(), "");
        EXPECT_TRUE(popover().isVisible());
        EXPECT_EQ(view().newIP()->text(), text);
    }

    // While a connection alert is open nothing happens at all, not even a
    // message or the clearing of the last one.
    enter(QStringLiteral("0"), kPass);
    ASSERT_EQ(message(), "invalid port");
    isNotifyWindowOpen = true;
    for (const QString& text :
         {QStringLiteral("10.0.0.1"), QStringLiteral("65536"), QStringLiteral("host.example")}) {
        view().newIP()->setText(text);
        controller().addNewItem();
        drainEvents();
        EXPECT_EQ(message(), "invalid port") << text.toStdString();
    }
    isNotifyWindowOpen = false;

    // Without exactly one selected app the entry goes nowhere.
    const std::vector<std::vector<std::shared_ptr<PAApplication>>> selections{{}, {app, other}};
    for (const auto& selection : selections) {
        select(selection);
        view().newIP()->setText(QStringLiteral("10.0.0.2"));
        controller().addNewItem();
        controller().clickAddEveryone();
        drainEvents();
        EXPECT_EQ(message(), "");
    }
    EXPECT_EQ(app->appMatches(), QStringList{"@_range6000:6010"});
    EXPECT_TRUE(other->appMatches().isEmpty());
    EXPECT_EQ(app->appIsBlockedOrAllowed(), 4);
    EXPECT_EQ(ruleSetCount(), sent);
    EXPECT_TRUE(m_resolver.askedNames().isEmpty());
}

TEST_F(AddEntriesTest, MessageShowsBesideTheCautionPictureUntilTheNextTry)
{
    auto app = addApp("a", "/a", 4);
    select({app});
    enter(QStringLiteral("10.0.0.0/33"), kPass);
    ASSERT_EQ(message(), "invalid IPv4 subnet");
    const QRect caution = view().cautionPic()->geometry();
    const QRect text = view().addRuleErrorString()->geometry();
    EXPECT_FALSE(view().cautionPic()->pixmap().isNull());
    EXPECT_LE(caution.right(), text.left());
    EXPECT_LT(caution.top(), text.bottom());
    EXPECT_LT(text.top(), caution.bottom());

    // The next confirmation starts clean, and so does the next opening.
    view().newIP()->setText(QStringLiteral("10.0.0.0/32"));
    controller().addNewItem();
    drainEvents();
    EXPECT_EQ(message(), "");
    enter(QStringLiteral("10.0.0.0/32"), kPass);
    ASSERT_EQ(message(), "duplicated rule");
    controller().openAddRecordPopover(&m_anchor);
    EXPECT_EQ(message(), "");
    EXPECT_EQ(view().addIpTitle()->text(), "Add IP address, hostname, subnet, port or port range");
}

TEST_F(AddEntriesTest, ControlsFollowTheRuleStateWhenThePopoverOpens)
{
    const struct
    {
        qint64 state;
        bool everyone;
        bool popupEnabled;
        int popupIndex;
    } cases[] = {
        {0, false, false, kBlock}, {1, false, false, kPass}, {2, false, true, kBlock},
        {3, false, true, kBlock},  {4, true, true, kBlock},
    };
    auto app = addApp("a", "/a", 4);
    select({app});
    for (const auto& c : cases) {
        // A free pop-up keeps the user's last choice.
        view().rulePopup()->selectItemAtIndex(kBlock);
        app->setRule(c.state);
        controller().openAddRecordPopover(&m_anchor);
        EXPECT_TRUE(popover().isVisible()) << c.state;
        EXPECT_EQ(view().addEveryoneBtn()->isVisibleTo(&view()), c.everyone) << c.state;
        EXPECT_EQ(view().rulePopup()->isEnabled(), c.popupEnabled) << c.state;
        EXPECT_EQ(view().rulePopup()->indexOfSelectedItem(), c.popupIndex) << c.state;
        popover().close();
    }
    // A sender that is no widget gives no place to show the popover at.
    QObject notAView;
    controller().openAddRecordPopover(&notAView);
    EXPECT_FALSE(popover().isVisible());
}

TEST_F(AddEntriesTest, CatchAllSetsTheRuleByThePopUpAndPublishes)
{
    const struct
    {
        qint64 state;
        QStringList matches;
        int choice;
        qint64 stateAfter;
        QStringList matchesAfter;
    } cases[] = {
        {4, {"@1.1.1.1", "#2.2.2.2"}, kPass, 2, {"@1.1.1.1", "#2.2.2.2"}},
        {4, {"@1.1.1.1", "#2.2.2.2"}, kBlock, 3, {"@1.1.1.1", "#2.2.2.2"}},
        {4, {"@1.1.1.1"}, kPass, 0, {}},
        {4, {}, kPass, 0, {}},
        {4, {}, kBlock, 1, {}},
        {2, {"#80"}, kBlock, 1, {}},
        {2, {"#80"}, kPass, 2, {"#80"}},
        {3, {"@80"}, kPass, 0, {}},
    };
    auto app = addApp("a", "/a", 4);
    select({app});
    int sent = ruleSetCount();
    for (const auto& c : cases) {
        const std::string label = std::to_string(c.state) + " choice " + std::to_string(c.choice);
        app->setRule(c.state);
        app->setAppMatches(c.matches);
        app->setQuiet(QStringLiteral("pass"), 600);
        ASSERT_TRUE(app->appIsQuietPass());
        controller().openAddRecordPopover(&m_anchor);
        view().rulePopup()->selectItemAtIndex(c.choice);
        controller().clickAddEveryone(view().addEveryoneBtn());
        EXPECT_FALSE(popover().isVisible()) << label;
        EXPECT_EQ(controller().addressType, c.choice) << label;
        EXPECT_EQ(app->appIsBlockedOrAllowed(), c.stateAfter) << label;
        EXPECT_EQ(app->appMatches(), c.matchesAfter) << label;
        // Setting the catch-all ends an asking app's quiet period.
        if (c.state == 4) {
            EXPECT_FALSE(app->appIsQuietPass()) << label;
        }
        ASSERT_TRUE(waitForRuleSets(++sent)) << label;
        EXPECT_EQ(lastRuleSet(),
                  QStringList{"/a " + QString::number(c.stateAfter) + ' ' + c.matchesAfter.join(',')})
            << label;
        app->expireQuiet();
    }
    // The controls follow the new state at once.
    EXPECT_FALSE(view().addEveryoneBtn()->isVisibleTo(&view()));
}

TEST_F(AddEntriesTest, HostNamesAddEachAddressOnceOrSayInvalidEntry)
{
    m_resolver.answer(QStringLiteral("two.example"), {"192.0.2.1", "2001:db8::1", "192.0.2.1"});
    m_resolver.hold(QStringLiteral("two.example"));
    auto app = addApp("a", "/a", 4, {"@2001:db8::1"});
    select({app});
    int sent = ruleSetCount();

    enter(QStringLiteral("two.example"), kBlock);
    ASSERT_TRUE(m_resolver.waitUntilAsked(QStringLiteral("two.example")));
    EXPECT_TRUE(spinning());
    EXPECT_TRUE(popover().isVisible());
    EXPECT_EQ(message(), "");
    m_resolver.release(QStringLiteral("two.example"));
    ASSERT_TRUE(processEventsUntil([&] { return !spinning(); }));
    EXPECT_EQ(app->appMatches(), (QStringList{"@2001:db8::1", "#192.0.2.1"}));
    EXPECT_FALSE(popover().isVisible());
    EXPECT_TRUE(view().newIP()->text().isEmpty());
    ASSERT_TRUE(waitForRuleSets(++sent));
    EXPECT_EQ(lastRuleSet(), QStringList{"/a 4 @2001:db8::1,#192.0.2.1"});

    // A name with no address changes nothing and says so once the spinner stops.
    enter(QStringLiteral("nowhere.example"), kPass);
    ASSERT_TRUE(processEventsUntil([&] { return !spinning(); }));
    EXPECT_EQ(message(), "invalid entry");
    EXPECT_TRUE(popover().isVisible());
    EXPECT_EQ(view().newIP()->text(), "nowhere.example");
    EXPECT_EQ(app->appMatches(), (QStringList{"@2001:db8::1", "#192.0.2.1"}));
    EXPECT_EQ(ruleSetCount(), sent);
    EXPECT_EQ(m_resolver.askedNames(), (QStringList{"two.example", "nowhere.example"}));
}

TEST_F(AddEntriesTest, StalledHostNamesHoldUpNeitherThePopoversRowsNorItsReverseLookUps)
{
    m_hostNames.answer(QStringLiteral("10.0.0.5"), {QStringLiteral("five.example")});
    auto typing = addApp("a", "/a", 4);
    auto shown = addApp("b", "/b", 4, {"@10.0.0.5", "#443"});

    // More names than the look-up pool has threads, and none answers.
    QStringList names;
    for (int i = 0; i <= PAWorkQueues::kLookUpThreads; ++i)
        names << QStringLiteral("slow%1.example").arg(i);
    select({typing});
    for (const QString& name : names) {
        m_resolver.hold(name);
        enter(name, kPass);
    }
    for (int i = 0; i < PAWorkQueues::kLookUpThreads; ++i)
        ASSERT_TRUE(m_resolver.waitUntilAsked(names[i]));

    // Another app's rows are built, and their addresses get their names,
    // while every look-up thread waits.
    select({shown});
    this->controller().openAppPopover(&m_anchor);
    const auto labels = [this] {
        QStringList out;
        for (const auto& row : this->controller().popoverPassedIPSController->arrangedObjects())
            out << row->recordLabel;
        return out;
    };
    EXPECT_TRUE(processEventsUntil([&] { return labels().contains(QStringLiteral("443")); }));
    EXPECT_TRUE(processEventsUntil([&] { return labels().contains(QStringLiteral("five.example")); }))
        << labels().join(' ').toStdString();
    EXPECT_FALSE(m_resolver.askedNames().contains(names.last())) << "it waits its turn";
    EXPECT_TRUE(spinning());

    for (const QString& name : names)
        m_resolver.release(name);
    EXPECT_TRUE(processEventsUntil([&] { return !spinning(); }));
    EXPECT_TRUE(typing->appMatches().isEmpty()) << "no name had an address";
}

// The daemon's side listens on a bus of the test's own, as the daemon would.
TEST_F(AddEntriesTest, HostNameKeepsThePassOrBlockChosenWhenItWasTyped)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    DBusDistributedNotificationCenter agentSide;
    DBusDistributedNotificationCenter daemonSide;
    QStringList heard;
    daemonSide.addObserver(QStringLiteral("newAppListReceived"), QStringLiteral("zz.tolvane"),
                           [&](const DistributedNotificationCenter::Notification& n) {
                               for (const QVariant& entry :
                                    n.userInfo.value(QStringLiteral("AppList")).toList())
                                   heard = entry.toMap().value(QStringLiteral("appMatches")).toStringList();
                           });
    DistributedNotificationCenter::setDefaultCenter(&agentSide);

    m_resolver.answer(QStringLiteral("slow.example"), {"198.51.100.7"});
    m_resolver.answer(QStringLiteral("fast.example"), {"203.0.113.9"});
    m_resolver.hold(QStringLiteral("slow.example"));
    m_resolver.hold(QStringLiteral("fast.example"));
    auto app = addApp("a", "/a", 4);
    select({app});

    // Pass for the first name; before it is found, block for the second.
    enter(QStringLiteral("slow.example"), kPass);
    ASSERT_TRUE(m_resolver.waitUntilAsked(QStringLiteral("slow.example")));
    enter(QStringLiteral("fast.example"), kBlock);
    ASSERT_TRUE(m_resolver.waitUntilAsked(QStringLiteral("fast.example")));
    EXPECT_EQ(controller().addressType, kBlock);
    // The spinner runs until the last look-up has ended.
    m_resolver.release(QStringLiteral("fast.example"));
    ASSERT_TRUE(processEventsUntil([&] { return app->appMatches().size() == 1; }));
    EXPECT_TRUE(spinning());
    m_resolver.release(QStringLiteral("slow.example"));
    ASSERT_TRUE(processEventsUntil([&] { return app->appMatches().size() == 2; }));
    EXPECT_FALSE(spinning());
    EXPECT_EQ(app->appMatches(), (QStringList{"#203.0.113.9", "@198.51.100.7"}));

    const bool arrived = processEventsUntil([&] { return heard.size() == 2; });
    DistributedNotificationCenter::setDefaultCenter(&m_center.center());
    ASSERT_TRUE(arrived);
    EXPECT_EQ(heard, (QStringList{"#203.0.113.9", "@198.51.100.7"}));
}

TEST_F(AddEntriesAgentTest, LateHostNameGoesToTheAppItWasTypedForOrNowhere)
{
    m_resolver.answer(QStringLiteral("late.example"), {"198.51.100.7"});
    m_resolver.answer(QStringLiteral("gone.example"), {"198.51.100.8"});
    m_resolver.answer(QStringLiteral("none.example"), {});
    auto typedFor = addApp("a", "/a", 4);
    auto other = addApp("b", "/b", 1);

    // The selection moves on while the name is looked up: the address still
    // goes to its own app, and the popover, now the other app's, keeps what
    // the user is typing there.
    m_resolver.hold(QStringLiteral("late.example"));
    select({typedFor});
    enter(QStringLiteral("late.example"), kPass);
    ASSERT_TRUE(m_resolver.waitUntilAsked(QStringLiteral("late.example")));
    select({other});
    controller().openAddRecordPopover(&m_anchor);
    view().newIP()->setText(QStringLiteral("10.9."));
    m_resolver.release(QStringLiteral("late.example"));
    ASSERT_TRUE(processEventsUntil([&] { return !typedFor->appMatches().isEmpty(); }));
    EXPECT_EQ(typedFor->appMatches(), QStringList{"@198.51.100.7"});
    EXPECT_TRUE(other->appMatches().isEmpty());
    EXPECT_EQ(other->appIsBlockedOrAllowed(), 1);
    EXPECT_TRUE(popover().isVisible());
    EXPECT_EQ(view().newIP()->text(), "10.9.");
    // The other app's fixed pop-up stays on pass.
    EXPECT_FALSE(view().rulePopup()->isEnabled());
    EXPECT_EQ(view().rulePopup()->indexOfSelectedItem(), kPass);
    ASSERT_TRUE(waitForRuleSets(1));
    EXPECT_EQ(lastRuleSet(), (QStringList{"/a 4 @198.51.100.7", "/b 1 "}));

    // A name without address reports nothing into another app's popover.
    m_resolver.hold(QStringLiteral("none.example"));
    select({typedFor});
    enter(QStringLiteral("none.example"), kPass);
    ASSERT_TRUE(m_resolver.waitUntilAsked(QStringLiteral("none.example")));
    select({other});
    controller().openAddRecordPopover(&m_anchor);
    m_resolver.release(QStringLiteral("none.example"));
    ASSERT_TRUE(processEventsUntil([&] { return !spinning(); }));
    EXPECT_EQ(message(), "");

    // The app is removed, and one of the same name and path takes its place,
    // before its name is found: no app gets the address.
    m_resolver.hold(QStringLiteral("gone.example"));
    select({typedFor});
    enter(QStringLiteral("gone.example"), kPass);
    ASSERT_TRUE(m_resolver.waitUntilAsked(QStringLiteral("gone.example")));
    controller().removeApp();
    auto successor = addApp("a", "/a", 4);
    select({successor});
    const int sent = ruleSetCount();
    m_resolver.release(QStringLiteral("gone.example"));
    ASSERT_TRUE(processEventsUntil([&] { return !spinning(); }));
    drainEvents();
    EXPECT_TRUE(successor->appMatches().isEmpty());
    EXPECT_TRUE(other->appMatches().isEmpty());
    EXPECT_EQ(typedFor->appMatches(), QStringList{"@198.51.100.7"});
    EXPECT_EQ(ruleSetCount(), sent);
}

TEST_F(AddEntriesAgentTest, ScreenshotOfTheAddPopoverWithAMessage)
{
    auto app = addApp("ssh", "/usr/bin/ssh", 4, {"@10.0.0.5"});
    app->setAppLocalizedName(QStringLiteral("ssh"));
    select({app});
    QMainWindow* window = controller().window();
    window->resize(900, 520);
    window->show();
    controller().openAddRecordPopover(controller().appsViewContainer());
    view().newIP()->setText(QStringLiteral("10.0.0.0/33"));
    view().rulePopup()->selectItemAtIndex(kBlock);
    controller().addNewItem();
    drainEvents();
    ASSERT_EQ(message(), "invalid IPv4 subnet");

    const QString folder = QStringLiteral(PALISOR_TEST_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    const QPixmap picture = popover().grab();
    ASSERT_FALSE(picture.isNull());
    EXPECT_TRUE(picture.save(folder + QStringLiteral("/add-entry-popover-message.png")));
}

} // namespace
