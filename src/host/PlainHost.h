#pragma once

#include "host/Pump.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace vantrel::host {

// Pump and dispatch for a program without an event loop (the command-line tool, tests):
// the thread that created it is the "GUI" thread; it runs handed-over calls while it waits.
class PlainHost final : public Pump, public GuiDispatch {
public:
    PlainHost();

    bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) override;
    void Wake() override;

    void RunAndWait(const std::function<void()>& task) override;
    void Post(std::function<void()> task) override;

    // Runs the calls handed over so far (on the owning thread).
    void RunPending();

private:
    bool OnOwnerThread() const { return std::this_thread::get_id() == owner_; }

    std::thread::id owner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> tasks_;
    unsigned long long wakes_ = 0;
};

} // namespace vantrel::host
