#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QVector>
#include <functional>

// A delegate of the blow detector that answers every operation and writes
// down what it was told, in order, each event with the shared clock's time
// at which it arrived. Tests read it back by event name ("start", "level",
// "total", "over", "interrupt", "timeout") or through the typed views below.
class RecordingDelegate : public QObject {
    Q_OBJECT
public:
    struct Event {
        QString name;
        double a = 0;
        double b = 0;
        double at = 0;
    };
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

    const QVector<Event>& events() const { return m_events; }
    int count(const QString& name) const;
    // The first value of every event of that name.
    QVector<double> values(const QString& name) const;

    QList<bool> starts() const;
    QList<Level> levels() const;
    QList<int> totals() const;
    QList<End> ends() const;
    int interrupts() const { return count(QStringLiteral("interrupt")); }
    int timeouts() const { return count(QStringLiteral("timeout")); }
    // The detector has nothing more to say about this start.
    bool finished() const { return !ends().isEmpty() || timeouts() > 0; }

signals:
    // A blow ended or the wait gave up.
    void ended();

private:
    void add(const QString& name, double a = 0, double b = 0);

    std::function<void(bool)> m_onStart;
    QVector<Event> m_events;
};
