#include "urlcache.h"

#include "folders.h"

#include <QDir>
#include <QLoggingCategory>
#include <QWebEngineProfile>

Q_LOGGING_CATEGORY(lcUrlCache, "vantoro.urlcache")

namespace {
UrlCache* g_shared = nullptr;
}

UrlCache::UrlCache(qint64 memoryCapacity, qint64 diskCapacity, const QString& diskPath)
    : m_memoryCapacity(memoryCapacity), m_diskCapacity(diskCapacity), m_diskPath(diskPath),
      m_profile(new QWebEngineProfile(QStringLiteral("vantoro"))) {
    // The engine keeps its own memory cache; only the disk side is sized here.
    m_profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    m_profile->setCachePath(cacheFolder());
    m_profile->setHttpCacheMaximumSize(int(m_diskCapacity));
}

UrlCache::~UrlCache() {
    if (g_shared == this)
        g_shared = nullptr;
    delete m_profile;
}

void UrlCache::setSharedURLCache(UrlCache* cache) {
    g_shared = cache;
}

UrlCache* UrlCache::sharedURLCache() {
    return g_shared;
}

void UrlCache::removeAllCachedResponses() {
    qCInfo(lcUrlCache) << "emptying the web cache in" << cacheFolder();
    // The engine's own clearHttpCache() leaves every page load started after
    // it hanging on this engine version, so the cache is emptied by swapping
    // the disk cache out, deleting its folder and bringing a new one in.
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    QDir(cacheFolder()).removeRecursively();
    m_profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
}

QString UrlCache::cacheFolder() const {
    return Folders::caches() + u'/' + m_diskPath;
}
