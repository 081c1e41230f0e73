#pragma once

#include <QList>
#include <QObject>
#include <functional>

// A delegate of the blow detector that keeps every event it is given, each
// with the clock time at which it arrived.
class BlowEvents : public QObject {
    Q_OBJECT
public:
    struct Level {
        double at;
        float level;
    };
    struct End {
        double at;
        int capacity;
        int ranking;
    };

    // Runs inside BlowAirstart, that is while the detector is starting.
    void setOnStart(std::function<void(bool started)> onStart) { m_onStart = std::move(onStart); }

    Q_INVOKABLE void BlowAirstart(bool started);
    Q_INVOKABLE void BlowAirupdataState(float level);
    Q_INVOKABLE void BlowCurrentTotal(int capacity);
    Q_INVOKABLE void BlowAirOver(int capacity, int ranking);
    Q_INVOKABLE void wasInterrupt();
    Q_INVOKABLE void waitBlewTimeOut();

    const QList<bool>& starts() const { return m_starts; }
    const QList<Level>& levels() const { return m_levels; }
    const QList<int>& totals() const { return m_totals; }
    const QList<End>& ends() const { return m_ends; }
    int interrupts() const { return m_interrupts; }
    int timeouts() const { return m_timeouts; }
    bool finished() const { return !m_ends.isEmpty() || m_timeouts > 0; }

private:
    std::function<void(bool)> m_onStart;
    QList<bool> m_starts;
    QList<Level> m_levels;
    QList<int> m_totals;
    QList<End> m_ends;
    int m_interrupts = 0;
    int m_timeouts = 0;
};
