#include "support/recordingdelegate.h"

#include "platform/system/clock.h"

#include <algorithm>

void RecordingDelegate::BlowAirstart(bool started) {
    add(QStringLiteral("start"), started);
    if (m_onStart)
        m_onStart(started);
}

void RecordingDelegate::BlowAirupdataState(float level) {
    add(QStringLiteral("level"), level);
}

void RecordingDelegate::BlowCurrentTotal(int capacity) {
    add(QStringLiteral("total"), capacity);
}

void RecordingDelegate::BlowAirOver(int capacity, int ranking) {
    add(QStringLiteral("over"), capacity, ranking);
    emit ended();
}

void RecordingDelegate::wasInterrupt() {
    add(QStringLiteral("interrupt"));
}

void RecordingDelegate::waitBlewTimeOut() {
    add(QStringLiteral("timeout"));
    emit ended();
}

void RecordingDelegate::add(const QString& name, double a, double b) {
    m_events.push_back({name, a, b, Clock::shared().now()});
}

int RecordingDelegate::count(const QString& name) const {
    return int(std::count_if(m_events.begin(), m_events.end(),
                             [&](const Event& e) { return e.name == name; }));
}

QVector<double> RecordingDelegate::values(const QString& name) const {
    QVector<double> out;
    for (const Event& e : m_events)
        if (e.name == name)
            out.push_back(e.a);
    return out;
}

QList<bool> RecordingDelegate::starts() const {
    QList<bool> out;
    for (double started : values(QStringLiteral("start")))
        out.append(started != 0);
    return out;
}

QList<RecordingDelegate::Level> RecordingDelegate::levels() const {
    QList<Level> out;
    for (const Event& e : m_events)
        if (e.name == QLatin1String("level"))
            out.append({e.at, float(e.a)});
    return out;
}

QList<int> RecordingDelegate::totals() const {
    QList<int> out;
    for (double total : values(QStringLiteral("total")))
        out.append(int(total));
    return out;
}

QList<RecordingDelegate::End> RecordingDelegate::ends() const {
    QList<End> out;
    for (const Event& e : m_events)
        if (e.name == QLatin1String("over"))
            out.append({e.at, int(e.a), int(e.b)});
    return out;
}
