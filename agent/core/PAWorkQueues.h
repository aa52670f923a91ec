#pragma once

#include "platform/ConcurrentQueue.h"

// The agent's worker pools, made once by the composition root and handed to
// whoever runs work off the main thread; tests make their own. Work that only
// reads memory and local files shares one pool; whatever may wait on the
// outside (a resolver, another program, a remote server) runs on a bounded
// pool of its own, so a handful of slow names can never hold up the parse of
// connection reports, the rules popover's rows or an alert's other look-ups.
class PAWorkQueues
{
public:
    PAWorkQueues();
    // Waits for every item still running: their results go to MainQueue and
    // guard themselves, but their threads must not outlive the pools.
    ~PAWorkQueues();
    PAWorkQueues(const PAWorkQueues&) = delete;
    PAWorkQueues& operator=(const PAWorkQueues&) = delete;

    // Short work that never waits on the outside: the parse of connection
    // reports, the rules popover's rows, icon paths.
    ConcurrentQueue& work() { return m_work; }
    // Blocking look-ups: host names typed for a rule, the code-signature
    // tool, whois.
    ConcurrentQueue& lookUps() { return m_lookUps; }
    static constexpr int kLookUpThreads = 4;
    // The alert's host name and port service ("mostraQueue") and its country
    // ("findFlag").
    ConcurrentQueue& mostraQueue() { return m_mostra; }
    ConcurrentQueue& findFlagQueue() { return m_findFlag; }
    // The connections log's host names ("connHostnames"), four at once.
    ConcurrentQueue& connHostnamesQueue() { return m_connHostnames; }
    // The rules popover's reverse look-ups ("myOperationQueue"), five at once.
    ConcurrentQueue& myOperationQueue() { return m_myOperation; }

    // Waits until every pool is idle (tests, shutdown); false when one was
    // still busy after `milliseconds` (each pool gets that long).
    bool waitForDone(int milliseconds = -1);

private:
    ConcurrentQueue m_work;
    ConcurrentQueue m_lookUps;
    ConcurrentQueue m_mostra;
    ConcurrentQueue m_findFlag;
    ConcurrentQueue m_connHostnames;
    ConcurrentQueue m_myOperation;
};
