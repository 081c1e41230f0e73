#pragma once

#include <thread>

// Work that the first frame waits for but that needs no window system: the
// font configuration and the pictures of the first tab. Started first thing
// in main, it runs on the second core while the application object
// connects to the display (some 10 ms), so that the first tab finds both
// ready. Joined by wait() or when the object goes, at the latest before the
// application object goes.
class StartupPrefetch {
public:
    StartupPrefetch();
    ~StartupPrefetch();

    // Returns once the work is done.
    void wait();

    StartupPrefetch(const StartupPrefetch&) = delete;
    StartupPrefetch& operator=(const StartupPrefetch&) = delete;

private:
    static void run();

    std::thread m_thread;
};
