#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

// The share landing pages by their result, each rendered once while it is
// asked for: a shared result is opened by many people, mostly the same few
// results. Bounded, so that a stranger walking through every result costs
// memory only up to the bound: the least recently asked go first.
class LandingPageCache {
public:
    using Page = std::shared_ptr<const std::string>;

    explicit LandingPageCache(std::size_t capacity = kCapacity);

    // The page kept for `key`, or `render()`'s, which is then kept. Renders
    // outside the lock, so a slow page holds up no other.
    Page page(const std::string& key, const std::function<std::string()>& render);
    std::size_t size() const;

    static constexpr std::size_t kCapacity = 2048;

private:
    using Entry = std::pair<std::string, Page>;

    std::size_t m_capacity;
    mutable std::mutex m_mutex;
    // Most recently asked first.
    std::list<Entry> m_order;
    std::unordered_map<std::string, std::list<Entry>::iterator> m_index;
};
