#pragma once

#include <functional>

// Whether the desktop shows a tray for status items now. At login the tray
// may come up after the agent, so callers ask again rather than once.
class SystemTray
{
public:
    static bool isAvailable();
    // Replaces the desktop's answer (tests); an empty function restores it.
    static void setAvailability(std::function<bool()> answer);
};
