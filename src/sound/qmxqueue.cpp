#include "qmxqueue.h"

void QMXQueue::enqueue(const QString& item) {
    m_array.append(item);
}

QString QMXQueue::dequeue() {
    return m_array.isEmpty() ? QString() : m_array.takeFirst();
}

void QMXQueue::clear() {
    m_array.clear();
}
