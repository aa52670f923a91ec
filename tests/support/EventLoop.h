#pragma once

#include <functional>

// Turns the main event loop until `condition` holds or `timeoutMs` passes;
// returns whether the condition held. Tests wait with this, never with sleeps.
bool processEventsUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// Turns the event loop until everything already posted to it has been handled.
void drainEvents();
