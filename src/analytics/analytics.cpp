#include "analytics.h"

#include <QLoggingCategory>
#include <mutex>

Q_LOGGING_CATEGORY(lcAnalytics, "vantoro.analytics")

namespace {

struct State {
    std::mutex mutex;
    bool logEnabled = false;
    bool started = false;
    QString appKey;
    QString appVersion;
    QString channelId;
    int reportPolicy = 0;
    QStringList events;
};

State& state() {
    static State s;
    return s;
}

} // namespace

void Analytics::setLogEnabled(bool enabled) {
    std::lock_guard lock(state().mutex);
    state().logEnabled = enabled;
    qCInfo(lcAnalytics) << "setLogEnabled" << enabled;
}

void Analytics::setAppVersion(const QString& version) {
    std::lock_guard lock(state().mutex);
    state().appVersion = version;
    qCInfo(lcAnalytics) << "setAppVersion" << version;
}

void Analytics::startWithAppkey(const QString& appKey, int reportPolicy, const QString& channelId) {
    std::lock_guard lock(state().mutex);
    State& s = state();
    s.appKey = appKey;
    s.reportPolicy = reportPolicy;
    s.channelId = channelId;
    s.started = true;
    qCInfo(lcAnalytics) << "startWithAppkey" << appKey << "reportPolicy" << reportPolicy
                        << "channelId" << (channelId.isNull() ? QStringLiteral("nil") : channelId);
}

void Analytics::event(const QString& eventId) {
    std::lock_guard lock(state().mutex);
    State& s = state();
    if (!s.started) {
        qCWarning(lcAnalytics) << "event" << eventId << "dropped: analytics not started";
        return;
    }
    s.events.append(eventId);
    if (s.logEnabled)
        qCInfo(lcAnalytics) << "event" << eventId;
}

bool Analytics::isStarted() {
    std::lock_guard lock(state().mutex);
    return state().started;
}

QString Analytics::appKey() {
    std::lock_guard lock(state().mutex);
    return state().appKey;
}

QString Analytics::appVersion() {
    std::lock_guard lock(state().mutex);
    return state().appVersion;
}

int Analytics::reportPolicy() {
    std::lock_guard lock(state().mutex);
    return state().reportPolicy;
}

QStringList Analytics::acceptedEvents() {
    std::lock_guard lock(state().mutex);
    return state().events;
}
