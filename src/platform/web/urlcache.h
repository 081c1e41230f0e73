#pragma once

#include "platform/web/webengine.h"

#include <QString>
#include <memory>

// The process-wide cache that web pages load through: the browser engine
// profile's HTTP disk cache, in a folder of the caches directory. Start-up
// configures it; the engine behind it (well over 100 MB resident) is brought
// up only when a web view first asks for it.
class UrlCache {
public:
    UrlCache(qint64 memoryCapacity, qint64 diskCapacity, const QString& diskPath);
    ~UrlCache();

    static void setSharedURLCache(UrlCache* cache);
    // nullptr until start-up has installed one.
    static UrlCache* sharedURLCache();

    void removeAllCachedResponses();

    qint64 memoryCapacity() const { return m_memoryCapacity; }
    qint64 diskCapacity() const { return m_diskCapacity; }
    QString diskPath() const { return m_diskPath; }
    // Full path of the cache folder.
    QString cacheFolder() const;
    // The browser engine every web view of the application uses, with its
    // disk cache in `cacheFolder()`; loaded on first call. Null when it
    // cannot be loaded.
    WebEngine* engine();
    bool hasEngine() const { return m_engine != nullptr; }

private:
    const qint64 m_memoryCapacity;
    const qint64 m_diskCapacity;
    const QString m_diskPath;
    std::unique_ptr<WebEngine> m_engine;
    bool m_engineTried = false;
};
