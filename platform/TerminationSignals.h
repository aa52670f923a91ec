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

    // A reader of standard output that has gone (`| head`, a closed journal)
    // costs a line, not the program: writes to it fail with EPIPE instead of
    // raising SIGPIPE. Call first thing in main; programs started from here
    // get the default back (CommandRunner, QProcess).
    static void ignoreBrokenPipes();
};
