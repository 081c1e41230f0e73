#pragma once

#include <QObject>
#include <functional>
#include <vector>

// A delegate of the blow detector for the benchmarks: it keeps the clock
// time and blow level of every update and tells when the detector is done.
class BenchDelegate : public QObject {
    Q_OBJECT
public:
    struct Update {
        double at;
        int level;
    };

    void setOnStart(std::function<void(bool started)> onStart) { m_onStart = std::move(onStart); }

    Q_INVOKABLE void BlowAirstart(bool started);
    Q_INVOKABLE void BlowAirupdataState(float level);
    Q_INVOKABLE void BlowCurrentTotal(int capacity);
    Q_INVOKABLE void BlowAirOver(int capacity, int ranking);
    Q_INVOKABLE void wasInterrupt();
    Q_INVOKABLE void waitBlewTimeOut();

    const std::vector<Update>& updates() const { return m_updates; }
    int ends() const { return m_ends; }
    int timeouts() const { return m_timeouts; }
    int lastCapacity() const { return m_lastCapacity; }

signals:
    void finished();

private:
    std::function<void(bool)> m_onStart;
    std::vector<Update> m_updates;
    int m_ends = 0;
    int m_timeouts = 0;
    int m_lastCapacity = 0;
};
