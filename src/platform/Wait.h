#pragma once

#include <QtGlobal>
#include <functional>

// Waits that keep the user interface alive. They run a local event loop that
// wakes on events and on a short timer; they never spin. Waits nest: a handler
// entered from inside a wait may start another wait.
namespace Wait {

// Processes pending events once (the "DoEvents" of the windows).
void processEventsOnce();

// Runs a local event loop until done() returns true. done() is checked after
// every wake-up; pollMs bounds the time between checks when no event arrives.
void until(const std::function<bool()>& done, int pollMs = 20);

// Sleeps on events for ms milliseconds of real time.
void forMs(int ms);

} // namespace Wait
