#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// First-in, first-out list of sound items for the sound player: file paths
// of pool sounds, and the pause marker.
class QMXQueue {
public:
    // The item that makes the sound player pause before the next sound.
    static QString waitMarker() { return QStringLiteral("wait"); }
    static bool isWaitMarker(const QString& item) { return item == waitMarker(); }

    void enqueue(const QString& item);
    // The oldest item, or a null string when the queue is empty.
    QString dequeue();
    void clear();
    int count() const { return int(m_array.size()); }

    // The spoken announcement of a blood-pressure reading: "your blood
    // pressure measurement result is", then systolic pressure, diastolic
    // pressure and heart rate with their numbers, pauses between the parts.
    static QMXQueue getDefaultQueueWithHp(qint32 hp, qint32 lp, qint32 mb);
    // Pool keys that say a number: hundreds ("100", "200"), tens, "0" before
    // a lone units digit, units. The pool has no hundreds word above 200, so
    // 300 and more (and negative values) are read digit by digit.
    static QStringList numberKeys(qint32 n);

private:
    QList<QString> m_array;
};
