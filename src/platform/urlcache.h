#pragma once

#include <QString>

class QWebEngineProfile;

// The process-wide cache that web pages load through: the browser engine
// profile's HTTP disk cache, in a folder of the caches directory.
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
    // The profile every web view of the application uses.
    QWebEngineProfile* profile() const { return m_profile; }

private:
    const qint64 m_memoryCapacity;
    const qint64 m_diskCapacity;
    const QString m_diskPath;
    QWebEngineProfile* m_profile;
};
