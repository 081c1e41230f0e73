#pragma once

#include <functional>

// The two queues the detector uses: the main queue (a queued call onto the
// GUI thread) and the default-priority global queue (Qt's global thread
// pool). Tests install their own dispatch to run blocks in a chosen order.
class Dispatch {
public:
    using Block = std::function<void()>;

    virtual ~Dispatch() = default;

    virtual void main(Block block);
    virtual void global(Block block);

    static Dispatch& shared();
    // Not owned; pass nullptr to go back to the Qt queues.
    static void setShared(Dispatch* dispatch);
};
