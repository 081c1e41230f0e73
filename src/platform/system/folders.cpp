#include "platform/system/folders.h"

#include <QDir>
#include <QStandardPaths>

namespace {
QString ensured(const QString& path) {
    QDir().mkpath(path);
    return path;
}
} // namespace

QString Folders::home() {
    return ensured(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

QString Folders::documents() {
    return ensured(home() + QStringLiteral("/Documents"));
}

QString Folders::caches() {
    return ensured(QStandardPaths::writableLocation(QStandardPaths::CacheLocation));
}
