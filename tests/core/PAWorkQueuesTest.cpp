#include "core/PAWorkQueues.h"

#include "support/ThreadGate.h"

#include <QScopeGuard>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <iterator>
#include <memory>
#include <mutex>

namespace {

TEST(PAWorkQueuesTest, EachPoolCarriesItsLabel)
{
    PAWorkQueues queues;
    const struct
    {
        ConcurrentQueue& queue;
        const char* label;
    } cases[] = {
        {queues.work(), "work"},
        {queues.lookUps(), "lookUps"},
        {queues.mostraQueue(), "mostraQueue"},
        {queues.findFlagQueue(), "findFlag"},
        {queues.connHostnamesQueue(), "connHostnames"},
        {queues.myOperationQueue(), "myOperationQueue"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.queue.label(), c.label);
}

// However many blocking look-ups wait, they take only their own pool's
// threads, and every other pool keeps going.
TEST(PAWorkQueuesTest, StalledLookUpsAreBoundedAndHoldUpNoOtherPool)
{
    std::mutex mutex;
    std::condition_variable done;
    int finished = 0;
    PAWorkQueues queues;
    // Look-ups that wait on the outside.
    const auto stalled = std::make_shared<ThreadGate>();
    // However the test ends, the gate opens before the pools wait for their
    // items.
    const auto openAtEnd = qScopeGuard([stalled] { stalled->open(); });

    for (int i = 0; i < 3 * PAWorkQueues::kLookUpThreads; ++i)
        queues.lookUps().async([stalled] { stalled->pass(); });
    ASSERT_TRUE(stalled->waitForWaiting(PAWorkQueues::kLookUpThreads));

    ConcurrentQueue* const others[] = {&queues.work(), &queues.mostraQueue(), &queues.findFlagQueue(),
                                       &queues.connHostnamesQueue(), &queues.myOperationQueue()};
    const int count = int(std::size(others));
    for (ConcurrentQueue* queue : others)
        queue->async([&] {
            std::lock_guard lock(mutex);
            ++finished;
            done.notify_all();
        });
    {
        std::unique_lock lock(mutex);
        EXPECT_TRUE(done.wait_for(lock, std::chrono::seconds(5), [&] { return finished == count; }))
            << finished << " of " << count << " pools ran while the look-ups were stalled";
    }
    EXPECT_FALSE(queues.waitForDone(0)) << "the look-ups are still held";

    stalled->open();
    EXPECT_TRUE(queues.waitForDone(5000));
    EXPECT_EQ(stalled->mostWaiting(), PAWorkQueues::kLookUpThreads);
}

} // namespace
