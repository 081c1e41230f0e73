#include "server/http/clientbuckets.h"

#include <QTest>

// Token buckets per client, on a clock the test sets: 100 a second, 1,000
// at once.
class TestClientBuckets : public QObject {
    Q_OBJECT

    using Clock = ClientBuckets::Clock;
    static Clock::time_point at(double seconds) {
        return Clock::time_point(std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(seconds + 1000)));
    }

private slots:
    void takesAreBoundedByBurstAndRate_data() {
        QTest::addColumn<QList<double>>("amounts");
        QTest::addColumn<QList<double>>("times");
        QTest::addColumn<QList<int>>("waits");
        QTest::newRow("a burst at once, then the rate")
            << QList<double>{1000, 1, 100, 100} << QList<double>{0, 0, 0.5, 1.0}
            << QList<int>{0, 1, 1, 0};
        // A refused take costs nothing: the bucket keeps filling.
        QTest::newRow("refused takes are free")
            << QList<double>{900, 500, 500, 500} << QList<double>{0, 0.1, 3.9, 4.0}
            << QList<int>{0, 4, 1, 0};
        QTest::newRow("full again after burst / rate")
            << QList<double>{1000, 1000, 1000} << QList<double>{0, 9.9, 10.0}
            << QList<int>{0, 1, 0};
        QTest::newRow("more than the burst passes only when full")
            << QList<double>{5000, 5000, 5000} << QList<double>{0, 1, 10} << QList<int>{0, 9, 0};
    }

    void takesAreBoundedByBurstAndRate() {
        QFETCH(QList<double>, amounts);
        QFETCH(QList<double>, times);
        QFETCH(QList<int>, waits);
        ClientBuckets buckets(100, 1000);
        for (qsizetype i = 0; i < amounts.size(); ++i)
            QCOMPARE(buckets.take("203.0.113.1", amounts[i], at(times[i])), waits[i]);
        // Another client's bucket is untouched.
        QCOMPARE(buckets.take("203.0.113.2", 1000, at(times.last())), 0);
    }

    void manyClientsAreForgottenOnceTheirBucketsAreFull() {
        ClientBuckets buckets(100, 1000);
        const auto take = [&](std::size_t client, double seconds) {
            return buckets.take("c" + std::to_string(client), 1000, at(seconds));
        };
        for (std::size_t i = 0; i < ClientBuckets::kMaxClients; ++i)
            QCOMPARE(take(i, 0), 0);
        // The first is still empty and remembered, while room is needed.
        QCOMPARE(take(0, 1), 9);
        // Once all are full again, the new client's arrival forgets them.
        QCOMPARE(take(ClientBuckets::kMaxClients, 20), 0);
        QCOMPARE(take(1, 20), 0);
        QCOMPARE(take(1, 20), 10);
    }
};

QTEST_GUILESS_MAIN(TestClientBuckets)
#include "tst_clientbuckets.moc"
