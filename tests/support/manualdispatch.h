#pragma once

#include "platform/system/dispatch.h"

#include <deque>
#include <mutex>

// Runs global-queue blocks at once on the calling thread (the loops then
// play out in virtual time inside the call that started them) and keeps
// main-queue blocks until the test runs them.
class ManualDispatch : public Dispatch {
public:
    void main(Block block) override;
    void global(Block block) override { block(); }

    // Runs queued main blocks in order, including those they queue; returns
    // how many ran.
    int drainMain();
    // Runs at most `count` queued main blocks, for flows whose blocks queue
    // more of themselves for ever (a game that listens again on timeout).
    int runMain(int count);
    int pendingMain() const;

private:
    mutable std::mutex m_mutex;
    std::deque<Block> m_main;
};
