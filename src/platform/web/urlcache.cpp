#include "platform/web/urlcache.h"

#include "platform/system/folders.h"
#include "platform/web/webenginemodule.h"

#include <QDir>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcUrlCache, "vantoro.urlcache")

namespace {
UrlCache* g_shared = nullptr;
}

UrlCache::UrlCache(qint64 memoryCapacity, qint64 diskCapacity, const QString& diskPath)
    : m_memoryCapacity(memoryCapacity), m_diskCapacity(diskCapacity), m_diskPath(diskPath) {}

UrlCache::~UrlCache() {
    if (g_shared == this)
        g_shared = nullptr;
}

void UrlCache::setSharedURLCache(UrlCache* cache) {
    g_shared = cache;
}

UrlCache* UrlCache::sharedURLCache() {
    return g_shared;
}

WebEngine* UrlCache::engine() {
    if (!m_engineTried) {
        m_engineTried = true;
        m_engine =
            WebEngineModule::load({QStringLiteral("vantoro"), cacheFolder(), m_diskCapacity});
    }
    return m_engine.get();
}

void UrlCache::removeAllCachedResponses() {
    qCInfo(lcUrlCache) << "emptying the web cache in" << cacheFolder();
    // The engine's own cache clearing leaves every page load started after
    // it hanging on this engine version, so the cache is emptied by swapping
    // the disk cache out, deleting its folder and bringing a new one in.
    // Before the engine is up, the folder is all there is.
    if (m_engine)
        m_engine->setDiskCacheEnabled(false);
    QDir(cacheFolder()).removeRecursively();
    if (m_engine)
        m_engine->setDiskCacheEnabled(true);
}

QString UrlCache::cacheFolder() const {
    return Folders::caches() + u'/' + m_diskPath;
}
