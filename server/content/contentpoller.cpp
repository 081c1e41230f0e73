#include "server/content/contentpoller.h"

ContentPoller::ContentPoller(std::chrono::milliseconds interval, std::function<void()> tick)
    : m_interval(interval), m_tick(std::move(tick)) {}

ContentPoller::~ContentPoller() {
    stop();
}

void ContentPoller::start() {
    if (m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = false;
    }
    m_thread = std::thread([this] { run(); });
}

void ContentPoller::stop() {
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void ContentPoller::run() {
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, m_interval, [this] { return m_stopping; })) {
        lock.unlock();
        m_tick();
        lock.lock();
    }
}
