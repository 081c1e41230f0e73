#include "platform/system/modulelibrary.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>

QStringList ModuleLibrary::candidates(const QString& fileName, const QString& buildFolder) {
    return {QCoreApplication::applicationDirPath() + QStringLiteral("/../lib/vantoro/") + fileName,
            buildFolder + u'/' + fileName};
}

QFunctionPointer ModuleLibrary::resolve(const QStringList& candidates, const char* symbol,
                                        QString* loaded, QString* error) {
    QStringList errors;
    for (const QString& path : candidates) {
        if (!QFileInfo::exists(path))
            continue;
        QLibrary library(path);
        if (const QFunctionPointer entry = library.resolve(symbol)) {
            *loaded = path;
            return entry;
        }
        errors << library.errorString();
    }
    *error = QStringLiteral("looked for %1 %2")
                 .arg(candidates.join(QStringLiteral(", ")), errors.join(QStringLiteral("; ")));
    return nullptr;
}
