#include "qmxqueue.h"

#include <QTest>

class TestQMXQueue : public QObject {
    Q_OBJECT

private slots:
    void itemsComeOutInTheOrderTheyWentIn() {
        QMXQueue queue;
        QCOMPARE(queue.count(), 0);
        QVERIFY(queue.dequeue().isNull());
        QCOMPARE(queue.count(), 0);

        queue.enqueue(QStringLiteral("/a.mp3"));
        queue.enqueue(QMXQueue::waitMarker());
        queue.enqueue(QStringLiteral("/b.mp3"));
        QCOMPARE(queue.count(), 3);
        QCOMPARE(queue.dequeue(), QStringLiteral("/a.mp3"));
        QCOMPARE(queue.count(), 2);
        const QString marker = queue.dequeue();
        QVERIFY(QMXQueue::isWaitMarker(marker));
        QCOMPARE(marker, QStringLiteral("wait"));
        QCOMPARE(queue.dequeue(), QStringLiteral("/b.mp3"));
        QCOMPARE(queue.count(), 0);
        QVERIFY(queue.dequeue().isNull());
        QCOMPARE(queue.count(), 0);
    }

    void clearEmptiesAndTheQueueStaysUsable() {
        QMXQueue queue;
        queue.enqueue(QStringLiteral("/a.mp3"));
        queue.enqueue(QStringLiteral("/b.mp3"));
        queue.clear();
        QCOMPARE(queue.count(), 0);
        QVERIFY(queue.dequeue().isNull());
        queue.enqueue(QStringLiteral("/c.mp3"));
        QCOMPARE(queue.count(), 1);
        QCOMPARE(queue.dequeue(), QStringLiteral("/c.mp3"));
        QVERIFY(!QMXQueue::isWaitMarker(QStringLiteral("/wait")));
    }
};

QTEST_GUILESS_MAIN(TestQMXQueue)
#include "tst_qmxqueue.moc"
