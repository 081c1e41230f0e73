#include "server/pages/landingpagecache.h"

LandingPageCache::LandingPageCache(std::size_t capacity) : m_capacity(capacity) {}

LandingPageCache::Page LandingPageCache::page(const std::string& key,
                                              const std::function<std::string()>& render) {
    {
        std::lock_guard lock(m_mutex);
        if (const auto found = m_index.find(key); found != m_index.end()) {
            m_order.splice(m_order.begin(), m_order, found->second);
            return found->second->second;
        }
    }
    Page rendered = std::make_shared<const std::string>(render());
    std::lock_guard lock(m_mutex);
    // Another thread may have rendered it meanwhile: one copy is kept.
    if (const auto found = m_index.find(key); found != m_index.end())
        return found->second->second;
    m_order.emplace_front(key, rendered);
    m_index.emplace(key, m_order.begin());
    if (m_order.size() > m_capacity) {
        m_index.erase(m_order.back().first);
        m_order.pop_back();
    }
    return rendered;
}

std::size_t LandingPageCache::size() const {
    std::lock_guard lock(m_mutex);
    return m_order.size();
}
