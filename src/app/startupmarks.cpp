#include "app/startupmarks.h"

#include <QList>
#include <ctime>
#include <utility>

namespace {
// Marks are made on the GUI thread, during the start only.
QList<std::pair<const char*, double>>& marks() {
    static QList<std::pair<const char*, double>> list;
    return list;
}
} // namespace

double StartupMarks::nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

void StartupMarks::mark(const char* name) {
    marks().append({name, nowMs()});
}

QString StartupMarks::summary() {
    QString text;
    for (const auto& [name, ms] : marks())
        text += QStringLiteral("%1%2=%3").arg(text.isEmpty() ? "" : " ", name).arg(ms, 0, 'f', 3);
    return text;
}
