#include "platform/system/bundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <mutex>

#ifndef VANTORO_VERSION
#define VANTORO_VERSION "0.0.0"
#endif

namespace {
std::mutex g_mutex;
QString g_override;

// The running executable's folder, also before the application object
// exists (start-up reads pictures on a thread of its own while it is made).
QString executableFolder() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).path();
}

QString locate() {
    // Beside the executable in the build tree (tests and benchmarks sit a
    // few folders below it), or in share/ of the install tree.
    const QString exeDir = executableFolder();
    QDir dir(exeDir);
    for (int up = 0; up < 4; ++up) {
        if (dir.exists(QStringLiteral("resources")))
            return dir.canonicalPath() + QStringLiteral("/resources");
        if (dir.exists(QStringLiteral("share/vantoro")))
            return dir.canonicalPath() + QStringLiteral("/share/vantoro");
        if (!dir.cdUp())
            break;
    }
    return exeDir + QStringLiteral("/resources");
}
} // namespace

QString Bundle::resourcePath() {
    std::lock_guard lock(g_mutex);
    if (!g_override.isEmpty())
        return g_override;
    static const QString found = locate();
    return found;
}

void Bundle::setResourcePath(const QString& path) {
    std::lock_guard lock(g_mutex);
    g_override = path;
}

QString Bundle::pathForResource(const QString& name, const QString& type) {
    if (name.isEmpty())
        return {};
    const QString file = type.isEmpty() ? name : name + u'.' + type;
    const QString root = resourcePath();
    // Resources are grouped by kind in the bundle; a name is unique across them.
    for (const char* sub : {"", "images/", "sounds/", "strings/", "data/"}) {
        const QString path = root + u'/' + QLatin1String(sub) + file;
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

QVariant Bundle::infoValue(const QString& key) {
    if (key == QLatin1String("CFBundleShortVersionString") ||
        key == QLatin1String("CFBundleVersion"))
        return QStringLiteral(VANTORO_VERSION);
    if (key == QLatin1String("CFBundleDisplayName"))
        return QStringLiteral("Vantoro");
    if (key == QLatin1String("CFBundleIdentifier"))
        return bundleIdentifier();
    return {};
}

QString Bundle::bundleIdentifier() {
    return QStringLiteral("app.vantoro.Vantoro");
}
