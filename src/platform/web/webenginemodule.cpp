#include "platform/web/webenginemodule.h"

#include "platform/system/modulelibrary.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QOpenGLContext>
#include <QSurfaceFormat>

Q_LOGGING_CATEGORY(lcWebEngine, "vantoro.webengine")

// Qt GUI exports this for the browser engine (it is what the engine's own
// start-up calls); the public API can read the shared context but not set it.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

QStringList WebEngineModule::candidates() {
    return ModuleLibrary::candidates(QStringLiteral("vantoro-webengine.so"),
                                     QStringLiteral(VANTORO_WEBENGINE_BUILD_DIR));
}

std::unique_ptr<WebEngine> WebEngineModule::load(const WebEngine::CacheSettings& settings) {
    ensureSharedGraphicsContext();
    QString path;
    QString error;
    const auto create = reinterpret_cast<CreateWebEngineFunction>(
        ModuleLibrary::resolve(candidates(), kCreateWebEngineSymbol, &path, &error));
    if (!create) {
        qCWarning(lcWebEngine).noquote()
            << "no browser engine: web pages cannot be shown;" << error;
        return nullptr;
    }
    qCInfo(lcWebEngine) << "browser engine loaded from" << path;
    return std::unique_ptr<WebEngine>(create(settings));
}

void WebEngineModule::ensureSharedGraphicsContext() {
    if (QOpenGLContext::globalShareContext())
        return;
    auto* context = new QOpenGLContext(qApp);
    context->setFormat(QSurfaceFormat::defaultFormat());
    if (!context->create())
        qCWarning(lcWebEngine) << "no OpenGL context; the browser engine draws in software";
    qt_gl_set_global_share_context(context);
}
