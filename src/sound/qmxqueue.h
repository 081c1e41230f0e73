#pragma once

#include <QList>
#include <QString>

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

private:
    QList<QString> m_array;
};
