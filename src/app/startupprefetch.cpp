#include "app/startupprefetch.h"

#include "platform/uikit/images.h"

#include <fontconfig/fontconfig.h>

StartupPrefetch::StartupPrefetch() : m_thread(&StartupPrefetch::run) {}

StartupPrefetch::~StartupPrefetch() {
    wait();
}

void StartupPrefetch::wait() {
    if (m_thread.joinable())
        m_thread.join();
}

void StartupPrefetch::run() {
    // Qt's font database reads the same configuration and caches when the
    // first label asks for a font; fontconfig keeps them for the process.
    FcInit();
    // What the lung test and the tab bar draw in the first frame.
    Images::prefetch({
        QStringLiteral("blew_Img_normal"),
        QStringLiteral("blew_Img_stick"),
        QStringLiteral("blew_Img_center"),
        QStringLiteral("energy_7"),
        QStringLiteral("new_feature_finish_button"),
        QStringLiteral("new_feature_finish_button_highlighted"),
        QStringLiteral("tab_lung"),
        QStringLiteral("tab_fog"),
        QStringLiteral("tab_hot"),
        QStringLiteral("tab_rank"),
        QStringLiteral("tabbg_new.png"),
    });
}
