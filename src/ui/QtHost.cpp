#include "ui/QtHost.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

namespace vantrel::ui {

QtHost::QtHost() : gui_(QThread::currentThread()) {}

QtHost::~QtHost() = default;

bool QtHost::WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + timeout;

    if (!OnGuiThread()) {
        std::unique_lock lock(mutex_);
        for (;;) {
            const unsigned long long seen = wakes_;
            lock.unlock();
            if (done())
                return true;
            lock.lock();
            if (!changed_.wait_until(lock, deadline, [&] { return wakes_ != seen; })) {
                lock.unlock();
                return done();
            }
        }
    }

    // The deadline is a timer event like any other, so the dispatcher's sleep ends at the
    // latest when the time is up. A wake that comes between the check of done() and the
    // sleep is not lost: the dispatcher keeps it and returns at once.
    QTimer deadlineTimer;
    deadlineTimer.setSingleShot(true);
    deadlineTimer.setTimerType(Qt::PreciseTimer);
    for (;;) {
        if (done())
            return true;
        const auto remaining =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (remaining.count() <= 0)
            return done();
        deadlineTimer.start(static_cast<int>(remaining.count()) + 1);
        {
            std::lock_guard lock(mutex_);
            ++rounds_;
        }
        QEventLoop::ProcessEventsFlags flags =
            QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents;
        if (heldUserInput_ > 0)
            flags |= QEventLoop::ExcludeUserInputEvents;
        QCoreApplication::processEvents(flags);
    }
}

void QtHost::Wake() {
    {
        std::lock_guard lock(mutex_);
        ++wakes_;
    }
    changed_.notify_all();
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(gui_))
        dispatcher->wakeUp();
}

unsigned long long QtHost::Wakes() const {
    std::lock_guard lock(mutex_);
    return wakes_;
}

void QtHost::RunAndWait(const std::function<void()>& task) {
    if (OnGuiThread()) {
        task();
        return;
    }
    // The GUI thread runs it from its event loop, or from a wait that pumps it.
    QMetaObject::invokeMethod(
        &context_, [&task] { task(); }, Qt::BlockingQueuedConnection);
}

void QtHost::Post(std::function<void()> task) {
    QMetaObject::invokeMethod(&context_, std::move(task), Qt::QueuedConnection);
}

} // namespace vantrel::ui
