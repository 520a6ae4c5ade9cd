#include "host/PlainHost.h"

#include <memory>

namespace vantrel::host {

PlainHost::PlainHost() : owner_(std::this_thread::get_id()) {}

void PlainHost::RunPending() {
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty())
                return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

bool PlainHost::WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        RunPending();
        unsigned long long seen;
        {
            std::lock_guard lock(mutex_);
            seen = wakes_;
        }
        if (done())
            return true;
        std::unique_lock lock(mutex_);
        // A wake between the check above and this wait bumped the counter: look again.
        if (!changed_.wait_until(lock, deadline,
                                 [&] { return wakes_ != seen || !tasks_.empty(); })) {
            lock.unlock();
            RunPending();
            return done();
        }
    }
}

void PlainHost::Wake() {
    {
        std::lock_guard lock(mutex_);
        ++wakes_;
    }
    changed_.notify_all();
}

void PlainHost::RunAndWait(const std::function<void()>& task) {
    if (OnOwnerThread()) {
        task();
        return;
    }
    auto finished = std::make_shared<bool>(false);
    auto ran = std::make_shared<std::condition_variable>();
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back([this, &task, finished, ran] {
            task();
            {
                std::lock_guard inner(mutex_);
                *finished = true;
            }
            ran->notify_all();
        });
    }
    changed_.notify_all();
    std::unique_lock lock(mutex_);
    ran->wait(lock, [&] { return *finished; });
}

void PlainHost::Post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    changed_.notify_all();
}

} // namespace vantrel::host
