#include "blow/qmxblewutil.h"
#include "support/fixedrandom.h"
#include "support/installed.h"

#include <QTest>
#include <cmath>
#include <limits>

class TestQMXBlewUtil : public QObject {
    Q_OBJECT

    FixedRandom m_random;
    Installed<Random> m_installedRandom{&m_random};

private slots:
    void workedValues_data() {
        QTest::addColumn<double>("time");
        QTest::addColumn<quint32>("r");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("percent");
        QTest::newRow("2.0 r0") << 2.0 << 0u << 100 << 1;
        QTest::newRow("2.0 rmax") << 2.0 << 4294967295u << 354 << 5;
        QTest::newRow("4.2") << 4.2 << 1000u << 1397 << 23;
        QTest::newRow("7.0") << 7.0 << 123456789u << 2645 << 44;
        QTest::newRow("8.3") << 8.3 << 7u << 2957 << 49;
        QTest::newRow("9.45") << 9.45 << 2024u << 3286 << 54;
        QTest::newRow("12.5") << 12.5 << 99u << 3799 << 63;
        QTest::newRow("21.0") << 21.0 << 100u << 4600 << 76;
        QTest::newRow("35.0") << 35.0 << 2000u << 5997 << 99;
    }
    void workedValues() {
        QFETCH(double, time);
        QFETCH(quint32, r);
        QFETCH(int, capacity);
        QFETCH(int, percent);
        m_random.setValue(r);
        const int got = QMXBlewUtil::getTotalAirByTime(time);
        QCOMPARE(got, capacity);
        QCOMPARE(QMXBlewUtil::defeatPercent(got), percent);
    }

    // Each row is probed with r = 0 (the band's base) and with r = count - 1
    // (its top), which pins both the base and the count of the band.
    void bandEdges_data() {
        QTest::addColumn<double>("time");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("0 s, closed below") << 0.0 << 100 << 500;
        QTest::newRow("3.0 s, first band") << 3.0 << 100 << 500;
        QTest::newRow("just above 3") << 3.0000001 << 500 << 1000;
        QTest::newRow("3.5") << 3.5 << 500 << 1000;
        QTest::newRow("6.5") << 6.5 << 2500 << 2600;
        QTest::newRow("7.3") << 7.3 << 2700 << 2800;
        QTest::newRow("8.0") << 8.0 << 2900 << 2950;
        QTest::newRow("8.3 closed above") << 8.3 << 2950 << 3000;
        QTest::newRow("8.6") << 8.6 << 3000 << 3150;
        QTest::newRow("9.6, base 3251") << 9.6 << 3251 << 3301;
        QTest::newRow("10.0") << 10.0 << 3300 << 3350;
        QTest::newRow("12.0") << 12.0 << 3600 << 3700;
        QTest::newRow("22.0, two seconds wide") << 22.0 << 4500 << 4600;
        QTest::newRow("20.0001") << 20.0001 << 4500 << 4600;
        QTest::newRow("31.0") << 31.0 << 5400 << 5500;
        QTest::newRow("just above 31") << 31.0000001 << 5500 << 6000;
        QTest::newRow("negative") << -0.001 << 5500 << 6000;
        QTest::newRow("not a number") << nan << 5500 << 6000;
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << 5500 << 6000;
    }
    void bandEdges() {
        QFETCH(double, time);
        QFETCH(int, low);
        QFETCH(int, high);
        m_random.setValue(0);
        QCOMPARE(QMXBlewUtil::getTotalAirByTime(time), low);
        m_random.setValue(quint32(high - low));
        QCOMPARE(QMXBlewUtil::getTotalAirByTime(time), high);
        // One more than the count wraps around to the base.
        m_random.setValue(quint32(high - low + 1));
        QCOMPARE(QMXBlewUtil::getTotalAirByTime(time), low);
    }

    // Every band joins the next without a gap or overlap in time, and the
    // capacity never leaves 100..6000 whatever the draw.
    void capacityStaysInRange() {
        for (quint32 r : {0u, 1u, 250u, 4294967295u}) {
            m_random.setValue(r);
            for (double t = -1.0; t <= 40.0; t += 0.01) {
                const int capacity = QMXBlewUtil::getTotalAirByTime(t);
                QVERIFY2(capacity >= 100 && capacity <= 6000, qPrintable(QString::number(t)));
                const int percent = QMXBlewUtil::defeatPercent(capacity);
                QVERIFY(percent >= 1 && percent <= 100);
            }
        }
    }

    void percentile_data() {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("percent");
        QTest::newRow("6000") << 6000 << 100;
        QTest::newRow("5999") << 5999 << 99;
        QTest::newRow("120") << 120 << 2;
        QTest::newRow("100") << 100 << 1;
        QTest::newRow("59") << 59 << 0;
        QTest::newRow("0") << 0 << 0;
    }
    void percentile() {
        QFETCH(int, capacity);
        QFETCH(int, percent);
        QCOMPARE(QMXBlewUtil::defeatPercent(capacity), percent);
    }

    void percentileIsCapacityOverSixty() {
        for (int m = 0; m <= 6000; ++m)
            QCOMPARE(QMXBlewUtil::defeatPercent(m), m / 60);
    }
};

QTEST_GUILESS_MAIN(TestQMXBlewUtil)
#include "tst_qmxblewutil.moc"
