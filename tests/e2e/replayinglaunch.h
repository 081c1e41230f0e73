#pragma once

#include "app/launcher.h"

#include <QDir>
#include <QFile>
#include <memory>

// The application launched in this process as its executable launches it,
// with a level trace of `levels` (lines of "seconds dB", written into
// `folder`) replayed instead of the microphone, and a content server that
// answers nothing. Null, with the reason in `error`, when the trace is
// refused.
inline std::unique_ptr<Launcher> launchReplaying(const QString& folder, const QByteArray& levels,
                                                 QString* error) {
    const QString trace = QDir(folder).filePath(QStringLiteral("blow.txt"));
    QFile file(trace);
    if (!file.open(QIODevice::WriteOnly) || file.write(levels) != levels.size()) {
        *error = QStringLiteral("cannot write %1").arg(trace);
        return nullptr;
    }
    file.close();
    const RunOptions options = RunOptions::parse(
        {"vantoro", "--level-trace", trace, "--content-base", "http://127.0.0.1:9"});
    const auto loaded = Launcher::loadLevelTrace(options, error);
    if (!loaded)
        return nullptr;
    Launcher::installLevelSource(options, loaded);
    auto launcher = std::make_unique<Launcher>();
    launcher->launch(options);
    return launcher;
}
