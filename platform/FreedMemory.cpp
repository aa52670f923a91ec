#include "platform/FreedMemory.h"

#include "platform/MainQueue.h"

#include <atomic>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

std::atomic<bool> g_releasePending{false};

} // namespace

void FreedMemory::release()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void FreedMemory::releaseSoon()
{
    if (g_releasePending.exchange(true))
        return;
    MainQueue::async([] {
        g_releasePending = false;
        release();
    });
}
