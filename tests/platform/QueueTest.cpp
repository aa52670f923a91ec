#include "platform/ConcurrentQueue.h"
#include "platform/MainQueue.h"
#include "platform/SerialQueue.h"
#include "platform/ThreadQueue.h"
#include "support/EventLoop.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

namespace {

class SerialQueueTest : public ::testing::Test
{
protected:
    void record(const std::string& event)
    {
        std::lock_guard lock(mutex);
        events.push_back(event);
    }
    std::vector<std::string> recorded()
    {
        std::lock_guard lock(mutex);
        return events;
    }

    SerialQueue queue{QStringLiteral("test")};
    std::mutex mutex;
    std::vector<std::string> events;
};

TEST_F(SerialQueueTest, RunsItemsOnTheMainThreadInSubmissionOrder)
{
    std::atomic<int> offMain{0};
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            queue.async([&, i] {
                if (!MainQueue::isMainThread())
                    ++offMain;
                record(std::to_string(i));
            });
    });
    worker.join();
    EXPECT_TRUE(recorded().empty()) << "async must never run inline";

    ASSERT_TRUE(processEventsUntil([&] { return recorded().size() == 50; }));
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(recorded()[i], std::to_string(i));
    EXPECT_EQ(offMain, 0);
}

TEST_F(SerialQueueTest, SuspensionHoldsLaterItemsAndIsCounted)
{
    queue.async([&] {
        record("request");
        queue.suspend();
    });
    queue.asyncBarrier([&] { record("quit"); });
    drainEvents();
    EXPECT_EQ(recorded(), std::vector<std::string>{"request"});
    EXPECT_TRUE(queue.isSuspended());

    queue.suspend();
    EXPECT_TRUE(queue.resume());
    drainEvents();
    EXPECT_EQ(recorded().size(), 1u) << "one resume of two suspensions must not release the queue";

    EXPECT_TRUE(queue.resume());
    ASSERT_TRUE(processEventsUntil([&] { return recorded().size() == 2; }));
    EXPECT_EQ(recorded()[1], "quit");
}

TEST_F(SerialQueueTest, ResumeSchedulesTheNextItemInsteadOfRunningIt)
{
    queue.suspend();
    queue.async([&] { record("next"); });
    EXPECT_TRUE(queue.resume());
    // What the resuming code does right after (clearing the alert flag, say)
    // happens before the next item starts.
    record("after resume");
    EXPECT_EQ(queue.pendingCount(), 1);
    ASSERT_TRUE(processEventsUntil([&] { return recorded().size() == 2; }));
    EXPECT_EQ(recorded(), (std::vector<std::string>{"after resume", "next"}));
}

TEST_F(SerialQueueTest, ResumeWithoutSuspendIsIgnored)
{
    EXPECT_FALSE(queue.resume());
    EXPECT_FALSE(queue.isSuspended());
    // The stray resume did not bank a credit: the next suspension holds.
    queue.suspend();
    queue.async([&] { record("held"); });
    drainEvents();
    EXPECT_TRUE(recorded().empty());
    EXPECT_TRUE(queue.resume());
    EXPECT_TRUE(processEventsUntil([&] { return recorded().size() == 1; }));
}

TEST_F(SerialQueueTest, SyncBarrierRunsPendingItemsThenItsOwnInline)
{
    queue.async([&] { record("publish"); });
    queue.async([&] { record("edit"); });
    EXPECT_TRUE(queue.syncBarrier([&] { record("load"); }));
    EXPECT_EQ(recorded(), (std::vector<std::string>{"publish", "edit", "load"}));
    EXPECT_EQ(queue.pendingCount(), 0);
}

TEST_F(SerialQueueTest, SyncBarrierRefusesOnASuspendedQueue)
{
    queue.suspend();
    queue.async([&] { record("pending"); });
    EXPECT_FALSE(queue.syncBarrier([&] { record("load"); }));
    EXPECT_TRUE(recorded().empty());
    EXPECT_EQ(queue.pendingCount(), 1);
    queue.resume();
    EXPECT_TRUE(processEventsUntil([&] { return recorded().size() == 1; }));
}

TEST_F(SerialQueueTest, SyncBarrierStopsWhenAPendingItemSuspends)
{
    queue.async([&] {
        record("request");
        queue.suspend();
    });
    queue.async([&] { record("later"); });
    EXPECT_FALSE(queue.syncBarrier([&] { record("load"); }));
    EXPECT_EQ(recorded(), std::vector<std::string>{"request"});
    EXPECT_EQ(queue.pendingCount(), 1);
    queue.resume();
    EXPECT_TRUE(processEventsUntil([&] { return recorded().size() == 2; }));
    EXPECT_EQ(recorded()[1], "later");
}

TEST_F(SerialQueueTest, SyncBarrierRefusesInsideARunningItem)
{
    bool inner = true;
    queue.async([&] {
        inner = queue.syncBarrier([&] { record("nested"); });
        record("outer");
    });
    ASSERT_TRUE(processEventsUntil([&] { return !recorded().empty(); }));
    EXPECT_FALSE(inner);
    EXPECT_EQ(recorded(), std::vector<std::string>{"outer"});
}

TEST_F(SerialQueueTest, SyncBarrierFromAnotherThreadRunsOnTheMainThread)
{
    std::atomic<bool> done{false};
    std::atomic<bool> ranOnMain{false};
    bool result = false;
    std::thread worker([&] {
        result = queue.syncBarrier([&] { ranOnMain = MainQueue::isMainThread(); });
        done = true;
    });
    ASSERT_TRUE(processEventsUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_TRUE(ranOnMain);
}

TEST_F(SerialQueueTest, NestedEventLoopInsideAnItemStartsNoOtherItem)
{
    queue.async([&] {
        record("modal opens");
        // Work queued while the item runs (a window posting a publication)...
        queue.async([&] { record("second"); });
        // ...must wait through a modal dialog's nested loop, which turns the
        // event loop where queued drains are delivered.
        QEventLoop loop;
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec();
        record("modal closes");
    });
    ASSERT_TRUE(processEventsUntil([&] { return recorded().size() == 3; }));
    EXPECT_EQ(recorded(), (std::vector<std::string>{"modal opens", "modal closes", "second"}));
}

TEST_F(SerialQueueTest, AThrowingItemDoesNotStopTheQueue)
{
    queue.async([] { throw std::runtime_error("boom"); });
    queue.async([&] { record("after"); });
    EXPECT_TRUE(processEventsUntil([&] { return recorded().size() == 1; }));
    EXPECT_FALSE(queue.isRunningItem());
}

TEST(SerialQueueLifetime, ADrainQueuedForADestroyedQueueIsHarmless)
{
    bool ran = false;
    {
        SerialQueue queue(QStringLiteral("short-lived"));
        queue.async([&] { ran = true; });
    }
    drainEvents();
    EXPECT_FALSE(ran);
}

TEST(MainQueueTest, SyncRunsInlineOnMainAndOnMainFromWorkers)
{
    bool inlineRan = false;
    MainQueue::sync([&] { inlineRan = true; });
    EXPECT_TRUE(inlineRan);

    std::atomic<bool> onMain{false};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        MainQueue::sync([&] { onMain = MainQueue::isMainThread(); });
        done = true;
    });
    ASSERT_TRUE(processEventsUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_TRUE(onMain);
}

TEST(MainQueueTest, AsyncAfterFromAWorkerFiresOnTheMainThread)
{
    std::atomic<bool> onMain{false};
    std::atomic<bool> fired{false};
    std::thread([&] {
        MainQueue::asyncAfter(10, [&] {
            onMain = MainQueue::isMainThread();
            fired = true;
        });
    }).join();
    ASSERT_TRUE(processEventsUntil([&] { return fired.load(); }));
    EXPECT_TRUE(onMain);
}

TEST(ConcurrentQueueTest, ItemsRunConcurrentlyOffTheMainThread)
{
    ConcurrentQueue queue(QStringLiteral("lookups"));
    // Each item waits for the other: only concurrent execution finishes.
    std::binary_semaphore first{0}, second{0};
    std::atomic<int> finished{0};
    std::atomic<int> onMain{0};
    queue.async([&] {
        onMain += MainQueue::isMainThread();
        second.release();
        if (first.try_acquire_for(std::chrono::seconds(5)))
            ++finished;
    });
    queue.async([&] {
        onMain += MainQueue::isMainThread();
        first.release();
        if (second.try_acquire_for(std::chrono::seconds(5)))
            ++finished;
    });
    ASSERT_TRUE(queue.waitForDone(10000));
    EXPECT_EQ(finished, 2);
    EXPECT_EQ(onMain, 0);
}

TEST(ThreadQueueTest, RunsItemsInOrderOnOneDedicatedThread)
{
    std::mutex mutex;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    std::atomic<int> done{0};
    {
        ThreadQueue queue(QStringLiteral("recv"));
        for (int i = 0; i < 20; ++i)
            queue.async([&, i] {
                std::lock_guard lock(mutex);
                order.push_back(i);
                threads.push_back(std::this_thread::get_id());
                ++done;
            });
        ASSERT_TRUE(processEventsUntil([&] { return done == 20; }));
    }
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(order[i], i);
    for (const auto& id : threads) {
        EXPECT_EQ(id, threads.front());
        EXPECT_NE(id, std::this_thread::get_id());
    }
}

TEST(ThreadQueueTest, DestroyingAQueueInsideABlockingItemDoesNotHang)
{
    // The state the blocked thread uses outlives the queue object.
    auto release = std::make_shared<std::binary_semaphore>(0);
    auto started = std::make_shared<std::binary_semaphore>(0);
    {
        ThreadQueue queue(QStringLiteral("blocking"));
        queue.async([release, started] {
            started->release();
            release->acquire();
        });
        ASSERT_TRUE(started->try_acquire_for(std::chrono::seconds(5)));
    }
    release->release();
}

} // namespace
