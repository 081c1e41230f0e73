#include "urlcache.h"

#include "folders.h"

#include <QDir>
#include <QLoggingCategory>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

Q_LOGGING_CATEGORY(lcUrlCache, "vantoro.urlcache")

namespace {
UrlCache* g_shared = nullptr;
}

UrlCache::UrlCache(qint64 memoryCapacity, qint64 diskCapacity, const QString& diskPath)
    : m_memoryCapacity(memoryCapacity), m_diskCapacity(diskCapacity), m_diskPath(diskPath) {}

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

QWebEngineProfile* UrlCache::profile() {
    if (m_profile)
        return m_profile;
    m_profile = new QWebEngineProfile(QStringLiteral("vantoro"));
    // The engine keeps its own memory cache; only the disk side is sized here.
    m_profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    m_profile->setCachePath(cacheFolder());
    m_profile->setHttpCacheMaximumSize(int(m_diskCapacity));
    // A phone shows no scroll bars beside a page; wheel, drag and swipe
    // still scroll it.
    m_profile->settings()->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    return m_profile;
}

void UrlCache::removeAllCachedResponses() {
    qCInfo(lcUrlCache) << "emptying the web cache in" << cacheFolder();
    // The engine's own clearHttpCache() leaves every page load started after
    // it hanging on this engine version, so the cache is emptied by swapping
    // the disk cache out, deleting its folder and bringing a new one in.
    // Before the engine is up, the folder is all there is.
    if (m_profile)
        m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    QDir(cacheFolder()).removeRecursively();
    if (m_profile)
        m_profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
}

QString UrlCache::cacheFolder() const {
    return Folders::caches() + u'/' + m_diskPath;
}
