#pragma once

#include <chrono>
#include <functional>

namespace vantrel::host {

// "Wait until this holds or this time has passed, keeping the user interface alive."
// The GUI thread waits through it for the worker; the worker calls Wake after each change
// a waiter may be waiting for. Implementations sleep, they never spin on a clock.
class Pump {
public:
    virtual ~Pump() = default;

    // Returns whether done() held when the wait ended.
    virtual bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) = 0;

    // Any thread: something changed, waiters look again.
    virtual void Wake() = 0;
};

// Run a call on the GUI thread. RunAndWait blocks the calling thread until the call has run
// there; Post hands it over and returns at once. Calls made on the GUI thread run directly.
class GuiDispatch {
public:
    virtual ~GuiDispatch() = default;
    virtual void RunAndWait(const std::function<void()>& task) = 0;
    virtual void Post(std::function<void()> task) = 0;
};

} // namespace vantrel::host
