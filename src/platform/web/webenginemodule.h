#pragma once

#include "platform/web/webengine.h"

#include <QStringList>
#include <memory>

// Loads the browser engine module. The engine needs one OpenGL context
// that every other context shares with; made at start-up, as the engine's
// library would do if it were linked in, it brings the whole GL driver
// stack along (some 60 MB resident under a software rasteriser) for runs
// that never show a page. Here it is made just before the module is loaded.
class WebEngineModule {
public:
    // Null, with a log line naming what was tried, when no module loads.
    static std::unique_ptr<WebEngine> load(const WebEngine::CacheSettings& settings);
    // Where the module is looked for: beside an installed application, then
    // in the build tree.
    static QStringList candidates();

private:
    static void ensureSharedGraphicsContext();
};
