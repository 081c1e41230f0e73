#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A few threads for work that must not run on a network thread (a report's
// parsing and its transaction), with a queue of fixed length: work that
// finds the queue full is refused at once, so a flood of costly requests
// waits nowhere and holds nothing.
class WorkerPool {
public:
    WorkerPool(int threads, std::size_t maxQueued);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // False when the queue is full or the pool has stopped.
    bool trySubmit(std::function<void()> job);
    // Finishes the jobs under way, drops the queued ones (destroying them
    // here) and joins the threads.
    void stop();
    // Jobs waiting for a thread.
    std::size_t queued() const;

private:
    void run();

    const std::size_t m_maxQueued;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    std::vector<std::thread> m_threads;
    bool m_stopping = false;
};
