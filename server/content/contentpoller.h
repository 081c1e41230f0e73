#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Calls a function at a steady interval on a thread of its own until stopped.
// The content folder uses it to look at its files' listing: polling works on
// every file system, network and container mounts included, where change
// notification (inotify) is not delivered.
class ContentPoller {
public:
    ContentPoller(std::chrono::milliseconds interval, std::function<void()> tick);
    ~ContentPoller();
    ContentPoller(const ContentPoller&) = delete;
    ContentPoller& operator=(const ContentPoller&) = delete;

    void start();
    // Returns once a tick under way has finished; no tick runs after it.
    void stop();

private:
    void run();

    const std::chrono::milliseconds m_interval;
    const std::function<void()> m_tick;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};
