#include "sound/qmxqueue.h"
#include "sound/qmxsoundpool.h"

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

    void numberSounds_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("0") << 0 << QStringList{};
        QTest::newRow("7") << 7 << QStringList{"0", "7"};
        QTest::newRow("60") << 60 << QStringList{"60"};
        QTest::newRow("72") << 72 << QStringList{"70", "2"};
        QTest::newRow("100") << 100 << QStringList{"100"};
        QTest::newRow("105") << 105 << QStringList{"100", "0", "5"};
        QTest::newRow("110") << 110 << QStringList{"100", "10"};
        QTest::newRow("118") << 118 << QStringList{"100", "10", "8"};
        QTest::newRow("120") << 120 << QStringList{"100", "20"};
        QTest::newRow("205") << 205 << QStringList{"200", "0", "5"};
        QTest::newRow("299") << 299 << QStringList{"200", "90", "9"};
        // No hundreds word above 200: read digit by digit.
        QTest::newRow("300") << 300 << QStringList{"3", "0", "0"};
        QTest::newRow("1024") << 1024 << QStringList{"1", "0", "2", "4"};
    }
    void numberSounds() {
        QFETCH(int, n);
        QFETCH(QStringList, keys);
        QCOMPARE(QMXQueue::numberKeys(n), keys);
    }

    // Every key of any announcement resolves to a sound of the pool.
    void announcementOfFourteenItems() {
        QMXQueue queue = QMXQueue::getDefaultQueueWithHp(120, 80, 72);
        QStringList items;
        while (queue.count() > 0)
            items << queue.dequeue();
        QMXSoundPool& pool = QMXSoundPool::sharedInstance();
        QStringList expected;
        for (const char* key : {"您的", "血压", "测量结果为", "wait", "收缩压", "100", "20", "wait",
                                "舒张压", "80", "wait", "心率", "70", "2"})
            expected << (QByteArray(key) == "wait" ? QMXQueue::waitMarker()
                                                   : pool.getSound(QString::fromUtf8(key)));
        QCOMPARE(items, expected);
        for (const QString& item : items)
            QVERIFY2(!item.isEmpty(), "a key of the announcement has no sound");
        // A heart rate of 0 adds nothing after its label.
        QMXQueue zero = QMXQueue::getDefaultQueueWithHp(120, 80, 0);
        QCOMPARE(zero.count(), 12);
        QMXQueue high = QMXQueue::getDefaultQueueWithHp(310, 80, 72);
        while (high.count() > 0)
            QVERIFY(!high.dequeue().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestQMXQueue)
#include "tst_qmxqueue.moc"
