#include "platform/system/maintimer.h"

#include <QPointer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cmath>
#include <unordered_map>

namespace {
std::atomic<MainTimer*> g_override{nullptr};

// Only the GUI thread schedules and cancels, so the table needs no lock.
std::unordered_map<MainTimer::Id, QPointer<QTimer>>& pending() {
    static std::unordered_map<MainTimer::Id, QPointer<QTimer>> timers;
    return timers;
}
MainTimer::Id g_lastId = 0;
} // namespace

MainTimer::Id MainTimer::schedule(double seconds, Block block) {
    const Id id = ++g_lastId;
    auto* timer = new QTimer;
    timer->setSingleShot(true);
    // A coarse timer may fire up to 5% early or late; a pause between
    // spoken words is heard.
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, id, block = std::move(block)] {
        pending().erase(id);
        timer->deleteLater();
        block();
    });
    pending().emplace(id, timer);
    timer->start(std::chrono::milliseconds(std::llround(std::max(0.0, seconds) * 1000.0)));
    return id;
}

void MainTimer::cancel(Id id) {
    const auto it = pending().find(id);
    if (it == pending().end())
        return;
    if (QTimer* timer = it->second) {
        timer->stop();
        timer->deleteLater();
    }
    pending().erase(it);
}

MainTimer& MainTimer::shared() {
    static MainTimer real;
    MainTimer* override = g_override.load();
    return override ? *override : real;
}

void MainTimer::setShared(MainTimer* timer) {
    g_override.store(timer);
}
