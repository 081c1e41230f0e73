#include "results/blewfogresult.h"
#include "results/resultscales.h"

#include <QSet>
#include <QTest>

// The smog game's result rules, which the game and the content server's
// landing page both apply: the game to a blow, the page to the percent and
// variant a shared link carries.
class TestBlewFogResult : public QObject {
    Q_OBJECT
private slots:
    void commentKeys_data() {
        QTest::addColumn<int>("percent");
        QTest::addColumn<int>("variant");
        QTest::addColumn<QString>("key");
        QTest::newRow("90, 1") << 90 << 1 << "atitude_234_1";
        QTest::newRow("90, 2") << 90 << 2 << "atitude_234_2";
        QTest::newRow("91, 2") << 91 << 2 << "atitude_91_2";
        QTest::newRow("96, 1") << 96 << 1 << "atitude_96_1";
        QTest::newRow("96, 2") << 96 << 2 << "atitude_96_2";
        // From 97 up a link may still carry variant 2: the one comment stands.
        QTest::newRow("97, 2") << 97 << 2 << "atitude_97_1";
        QTest::newRow("98, 2") << 98 << 2 << "atitude_98_1";
        QTest::newRow("99, 1") << 99 << 1 << "atitude_98_1";
        // What a landing page may be asked for beyond the game's results.
        QTest::newRow("89") << 89 << 1 << "";
        QTest::newRow("100") << 100 << 1 << "";
        QTest::newRow("unparsed percent") << -1 << 1 << "";
        QTest::newRow("variant 0") << 93 << 0 << "";
        QTest::newRow("variant 3") << 93 << 3 << "";
        QTest::newRow("unparsed variant") << 99 << -1 << "";
    }
    void commentKeys() {
        QFETCH(int, percent);
        QFETCH(int, variant);
        QFETCH(QString, key);
        QCOMPARE(BlewFogResult::commentKey(percent, variant), key);
    }

    // The strings table holds one comment for each of these keys and no more.
    void sixteenCommentsInAll() {
        QSet<QString> keys;
        for (int percent = BlewFogResult::kLowestPercent; percent <= BlewFogResult::kHighestPercent;
             ++percent) {
            const int variants = BlewFogResult::hasTwoVariants(percent) ? 2 : 1;
            QCOMPARE(variants, percent <= 96 ? 2 : 1);
            for (int variant = 1; variant <= variants; ++variant)
                keys.insert(BlewFogResult::commentKey(percent, variant));
        }
        QCOMPARE(keys.size(), 16);
        QVERIFY(!keys.contains(QString()));
    }

    // Over the whole climb the percent never leaves the range the comments
    // cover and never drops as the distance grows (the formula alone would
    // give 89 just above 3500).
    void percentRisesWithinRangeOverTheClimb() {
        const int top = int(ResultScales::kSmogTopDistance);
        int previous = BlewFogResult::kLowestPercent;
        for (int distance = 0; distance <= top; ++distance) {
            const int percent = BlewFogResult::percentForDistance(distance);
            QVERIFY2(percent >= previous && percent <= BlewFogResult::kHighestPercent,
                     qPrintable(QStringLiteral("%1 m: %2").arg(distance).arg(percent)));
            previous = percent;
        }
        QCOMPARE(BlewFogResult::percentForDistance(top), BlewFogResult::kHighestPercent);
    }
};

QTEST_GUILESS_MAIN(TestBlewFogResult)
#include "tst_blewfogresult.moc"
