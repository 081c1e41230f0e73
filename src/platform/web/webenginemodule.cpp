#include "platform/web/webenginemodule.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QLoggingCategory>
#include <QOpenGLContext>
#include <QSurfaceFormat>

Q_LOGGING_CATEGORY(lcWebEngine, "vantoro.webengine")

// Qt GUI exports this for the browser engine (it is what the engine's own
// start-up calls); the public API can read the shared context but not set it.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

QStringList WebEngineModule::candidates() {
    const QString name = QStringLiteral("vantoro-webengine.so");
    return {QCoreApplication::applicationDirPath() + QStringLiteral("/../lib/vantoro/") + name,
            QStringLiteral(VANTORO_WEBENGINE_BUILD_DIR "/") + name};
}

std::unique_ptr<WebEngine> WebEngineModule::load(const WebEngine::CacheSettings& settings) {
    ensureSharedGraphicsContext();
    QStringList errors;
    for (const QString& path : candidates()) {
        if (!QFileInfo::exists(path))
            continue;
        QLibrary library(path);
        const auto create =
            reinterpret_cast<CreateWebEngineFunction>(library.resolve(kCreateWebEngineSymbol));
        if (create) {
            qCInfo(lcWebEngine) << "browser engine loaded from" << path;
            return std::unique_ptr<WebEngine>(create(settings));
        }
        errors << library.errorString();
    }
    qCWarning(lcWebEngine).noquote()
        << "no browser engine: web pages cannot be shown. Looked for"
        << candidates().join(QStringLiteral(", ")) << errors.join(QStringLiteral("; "));
    return nullptr;
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
