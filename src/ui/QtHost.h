#pragma once

// Pump and dispatch on the Qt event loop. A wait sleeps in the event dispatcher until an
// event, a wake from the worker or its own deadline timer arrives; nothing polls a clock.

#include "host/Pump.h"

#include <QObject>
#include <QThread>

#include <condition_variable>
#include <mutex>

namespace vantrel::ui {

class QtHost final : public host::Pump, public host::GuiDispatch {
public:
    // Create on the GUI thread, after the application object.
    QtHost();
    ~QtHost() override;

    bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) override;
    void Wake() override;

    void RunAndWait(const std::function<void()>& task) override;
    void Post(std::function<void()> task) override;

    // Wakes counted so far (for tests that check a wait sleeps instead of spinning).
    unsigned long long Wakes() const;
    // Event-loop rounds the waits have taken so far.
    unsigned long long Rounds() const { return rounds_; }
    // While held, a wait keeps the user's clicks and keys for later (they are not lost): a
    // background read that pumps must not have a run started inside its transaction.
    void HoldUserInput(bool hold) { heldUserInput_ += hold ? 1 : -1; }

private:
    bool OnGuiThread() const { return QThread::currentThread() == gui_; }

    QThread* gui_;
    QObject context_; // lives on the GUI thread: the target of handed-over calls

    // For a wait on some other thread, which has no event loop of ours to sleep in.
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    unsigned long long wakes_ = 0;
    unsigned long long rounds_ = 0;
    int heldUserInput_ = 0;
};

} // namespace vantrel::ui
