#pragma once

#include "platform/web/webengine.h"

class QWebEngineProfile;

// The engine Qt ships, with the application's one profile: a named profile
// whose HTTP cache is on disk in the folder and of the size start-up chose.
class ChromiumWebEngine : public WebEngine {
public:
    explicit ChromiumWebEngine(const CacheSettings& settings);
    ~ChromiumWebEngine() override;

    std::unique_ptr<WebEnginePage> createPage(QWidget* parent) override;
    void setDiskCacheEnabled(bool enabled) override;

private:
    QWebEngineProfile* m_profile;
};
