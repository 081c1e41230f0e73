#pragma once

#include <QtGlobal>
#include <functional>

// One-shot timers on the GUI thread, as the platform's non-repeating run-loop
// timers. Callers schedule and cancel from the GUI thread. Tests install a
// timer that fires in virtual time, so a pause costs no real time.
class MainTimer {
public:
    using Block = std::function<void()>;
    // 0 is never a timer, so it can stand for "no timer".
    using Id = quint64;

    virtual ~MainTimer() = default;

    // Runs the block once on the GUI thread after this many seconds.
    virtual Id schedule(double seconds, Block block);
    // Does nothing for a timer that has fired or was cancelled already.
    virtual void cancel(Id id);

    static MainTimer& shared();
    // Not owned; pass nullptr to go back to the Qt timers.
    static void setShared(MainTimer* timer);
};
