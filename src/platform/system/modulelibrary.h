#pragma once

#include <QFunctionPointer>
#include <QString>
#include <QStringList>

// The application's own modules (the browser engine, the audio devices),
// loaded on first use rather than linked: each is looked for beside an
// installed application (../lib/vantoro/ from its folder), then in the
// build tree.
class ModuleLibrary {
public:
    static QStringList candidates(const QString& fileName, const QString& buildFolder);
    // The entry point `symbol` of the first candidate that loads, with its
    // path in `loaded`; null, with every candidate tried and why it failed
    // in `error`, when none does.
    static QFunctionPointer resolve(const QStringList& candidates, const char* symbol,
                                    QString* loaded, QString* error);
};
