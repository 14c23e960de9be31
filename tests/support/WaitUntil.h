#pragma once
// Waiting in tests: for a condition, never for a guessed time. A condition met
// early ends the wait at once, so a generous deadline costs nothing on a fast
// machine and keeps a loaded one (sanitizers, parallel runs) from failing.
#include <functional>

namespace testsupport {

// Whether the Qt event loop runs while waiting.
enum class Events {
    Run,  // on the application object's thread (when there is one): posted
          // events, timers and socket notifiers make progress between checks
    Hold, // never: what the code under test posts stays queued meanwhile
};

// Checks cond until it holds or timeoutMs pass; returns whether it held.
// pollMs is the pause between checks: keep it short for cheap conditions,
// longer for ones that read files. Without an application object, or off its
// thread, it only sleeps between checks.
bool WaitUntil(const std::function<bool()>& cond, int timeoutMs = 5000, int pollMs = 1,
               Events events = Events::Run);

// Runs the event loop until a timer of ms, started now, has fired (false when
// that took over timeoutMs). Qt fires a thread's timers in the order they fall
// due, so by then every timer of this thread due no later has fired too: the
// way to show that a timer of the code under test, running with at most ms
// left, did not do something, without guessing a time that is long enough.
bool WaitForTimersDue(int ms, int timeoutMs = 10000);

// Runs the event loop for ms milliseconds. Only for letting a component settle
// before a step, never to show that something did not happen: for that, wait
// for the event that would have to come first.
void Pump(int ms);

} // namespace testsupport
