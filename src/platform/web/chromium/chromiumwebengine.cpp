#include "platform/web/chromium/chromiumwebengine.h"

#include "platform/web/chromium/chromiumwebpage.h"

#include <QWebEngineProfile>
#include <QWebEngineSettings>

ChromiumWebEngine::ChromiumWebEngine(const CacheSettings& settings)
    : m_profile(new QWebEngineProfile(settings.storageName)) {
    // The engine keeps its own memory cache; only the disk side is sized here.
    m_profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    m_profile->setCachePath(settings.folder);
    m_profile->setHttpCacheMaximumSize(int(settings.maximumBytes));
    // A phone shows no scroll bars beside a page; wheel, drag and swipe
    // still scroll it.
    m_profile->settings()->setAttribute(QWebEngineSettings::ShowScrollBars, false);
}

ChromiumWebEngine::~ChromiumWebEngine() {
    delete m_profile;
}

std::unique_ptr<WebEnginePage> ChromiumWebEngine::createPage(QWidget* parent) {
    return std::make_unique<ChromiumWebPage>(m_profile, parent);
}

void ChromiumWebEngine::setDiskCacheEnabled(bool enabled) {
    m_profile->setHttpCacheType(enabled ? QWebEngineProfile::DiskHttpCache
                                        : QWebEngineProfile::MemoryHttpCache);
}

extern "C" Q_DECL_EXPORT WebEngine*
vantoroCreateWebEngine(const WebEngine::CacheSettings& settings) {
    return new ChromiumWebEngine(settings);
}
