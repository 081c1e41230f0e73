#include "sound/qmxqueue.h"

#include "sound/qmxsoundpool.h"

void QMXQueue::enqueue(const QString& item) {
    m_array.append(item);
}

QString QMXQueue::dequeue() {
    return m_array.isEmpty() ? QString() : m_array.takeFirst();
}

void QMXQueue::clear() {
    m_array.clear();
}

QStringList QMXQueue::numberKeys(qint32 n) {
    QStringList keys;
    if (n >= 300 || n < 0) {
        for (const QChar digit : QString::number(qAbs(qint64(n))))
            keys << QString(digit);
        return keys;
    }
    const qint32 h = n % 100;
    const qint32 u = h % 10;
    if (n >= 100)
        keys << QString::number(n - h);
    if (h >= 10)
        keys << QString::number(h - u);
    else if (h >= -9 && u >= 1)
        keys << QStringLiteral("0");
    if (u >= 1)
        keys << QString::number(u);
    return keys;
}

QMXQueue QMXQueue::getDefaultQueueWithHp(qint32 hp, qint32 lp, qint32 mb) {
    QMXQueue queue;
    QMXSoundPool& pool = QMXSoundPool::sharedInstance();
    const auto say = [&](const QString& key) { queue.enqueue(pool.getSound(key)); };
    const auto sayNumber = [&](qint32 n) {
        for (const QString& key : numberKeys(n))
            say(key);
    };
    say(QStringLiteral("您的"));
    say(QStringLiteral("血压"));
    say(QStringLiteral("测量结果为"));
    queue.enqueue(waitMarker());
    say(QStringLiteral("收缩压"));
    sayNumber(hp);
    queue.enqueue(waitMarker());
    say(QStringLiteral("舒张压"));
    sayNumber(lp);
    queue.enqueue(waitMarker());
    say(QStringLiteral("心率"));
    sayNumber(mb);
    return queue;
}
