#pragma once

#include <functional>

// SIGTERM, SIGHUP and SIGINT (how the login helper, systemd and the session
// end the agent) become one call on the main thread, where the agent runs its
// termination handler and quits. The handler itself only writes a byte.
class TerminationSignals
{
public:
    // Installs the handlers; `onSignal` runs on the main thread, once per
    // signal received.
    static bool install(std::function<void(int signal)> onSignal);
    static void uninstall();
};
