#pragma once

#include <QObject>
#include <QString>
#include <QVector>
#include <functional>

// A detector delegate that answers every operation and writes down what it
// was told, in order.
class RecordingDelegate : public QObject {
    Q_OBJECT
public:
    struct Event {
        QString name;
        double a = 0;
        double b = 0;
    };

    Q_INVOKABLE void BlowAirstart(bool started) { add(QStringLiteral("start"), started); }
    Q_INVOKABLE void BlowAirupdataState(float level) { add(QStringLiteral("level"), level); }
    Q_INVOKABLE void BlowCurrentTotal(int capacity) { add(QStringLiteral("total"), capacity); }
    Q_INVOKABLE void BlowAirOver(int capacity, int ranking) {
        add(QStringLiteral("over"), capacity, ranking);
    }
    Q_INVOKABLE void wasInterrupt() { add(QStringLiteral("interrupt")); }
    Q_INVOKABLE void waitBlewTimeOut();

    int count(const QString& name) const;
    QVector<double> values(const QString& name) const;
    const QVector<Event>& events() const { return m_events; }

    std::function<void()> onTimeout;

private:
    void add(const QString& name, double a = 0, double b = 0) { m_events.push_back({name, a, b}); }

    QVector<Event> m_events;
};

// Answers nothing: every call to it must be skipped.
class SilentDelegate : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    int received = 0;
    void BlowAirstart(bool) { ++received; }
    void waitBlewTimeOut() { ++received; }
};
