#include "platform/NotificationCenter.h"

#include <QObject>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

namespace {

using Notification = NotificationCenter::Notification;

TEST(NotificationCenterTest, DeliversByNameInTheOrderObserversWereAdded)
{
    NotificationCenter center;
    QStringList calls;
    center.addObserver(QStringLiteral("changed"), [&](const Notification& n) {
        calls << QStringLiteral("first:") + n.userInfo.value(QStringLiteral("row")).toString();
    });
    center.addObserver(QStringLiteral("other"),
                       [&](const Notification&) { calls << QStringLiteral("other"); });
    center.addObserver(QStringLiteral("changed"),
                       [&](const Notification& n) { calls << QStringLiteral("second:") + n.name; });

    center.post(QStringLiteral("changed"), {{QStringLiteral("row"), 4}});
    EXPECT_EQ(calls, (QStringList{QStringLiteral("first:4"), QStringLiteral("second:changed")}));
}

TEST(NotificationCenterTest, HandlersMayChangeTheCentreWhileAPostIsUnderWay)
{
    NotificationCenter center;
    QStringList calls;
    NotificationCenter::ObserverToken second = 0;
    center.addObserver(QStringLiteral("changed"), [&](const Notification&) {
        calls << QStringLiteral("first");
        center.removeObserver(second);
        // Added during the post: heard from the next post on.
        center.addObserver(QStringLiteral("changed"),
                           [&](const Notification&) { calls << QStringLiteral("late"); });
        center.post(QStringLiteral("nested"));
    });
    second = center.addObserver(QStringLiteral("changed"),
                                [&](const Notification&) { calls << QStringLiteral("second"); });
    center.addObserver(QStringLiteral("nested"),
                       [&](const Notification&) { calls << QStringLiteral("nested"); });

    center.post(QStringLiteral("changed"));
    EXPECT_EQ(calls, (QStringList{QStringLiteral("first"), QStringLiteral("nested")}));

    calls.clear();
    center.post(QStringLiteral("changed"));
    EXPECT_EQ(calls,
              (QStringList{QStringLiteral("first"), QStringLiteral("nested"), QStringLiteral("late")}));
}

TEST(NotificationCenterTest, ObserverGoesAwayWithItsContext)
{
    NotificationCenter center;
    int calls = 0;
    auto context = std::make_unique<QObject>();
    center.addObserver(QStringLiteral("changed"), context.get(), [&](const Notification&) { ++calls; });
    center.post(QStringLiteral("changed"));
    context.reset();
    center.post(QStringLiteral("changed"));
    EXPECT_EQ(calls, 1);

    // A context that outlives its centre is destroyed without touching it.
    auto survivor = std::make_unique<QObject>();
    {
        NotificationCenter shortLived;
        shortLived.addObserver(QStringLiteral("changed"), survivor.get(), [](const Notification&) {});
    }
    survivor.reset();
}

} // namespace
