#include "results/blewresultstring.h"
#include "support/fixedrandom.h"

#include <QCryptographicHash>
#include <QSet>
#include <QTest>

class TestBlewResultString : public QObject {
    Q_OBJECT

    BlewResultString& book() { return BlewResultString::sharedInstance(); }

    // Every entry in band and index order, "key<TAB>text<LF>" each, as UTF-8.
    QByteArray tableDump() {
        QByteArray dump;
        for (qint32 band = 0; band < 4; ++band) {
            for (qint32 index = 0; index < BlewResultString::countFor(band); ++index) {
                const QString key = BlewResultString::Pick{band, index}.key();
                dump += key.toUtf8() + '\t' + book().getResultString(key).toUtf8() + '\n';
            }
        }
        return dump;
    }

private slots:
    void cleanup() { book().releaseBook(); }

    void bands_data() {
        QTest::addColumn<qint32>("capacity");
        QTest::addColumn<qint32>("band");
        QTest::newRow("negative") << -5 << 0;
        QTest::newRow("100") << 100 << 0;
        QTest::newRow("1499") << 1499 << 0;
        QTest::newRow("1500") << 1500 << 1;
        QTest::newRow("2999") << 2999 << 1;
        QTest::newRow("3000") << 3000 << 2;
        QTest::newRow("4499") << 4499 << 2;
        QTest::newRow("4500") << 4500 << 3;
        QTest::newRow("6000") << 6000 << 3;
    }
    void bands() {
        QFETCH(qint32, capacity);
        QFETCH(qint32, band);
        QCOMPARE(BlewResultString::bandFor(capacity), band);
        QCOMPARE(BlewResultString::pick(capacity, 0).band, band);
    }

    void indices_data() {
        QTest::addColumn<qint32>("capacity");
        QTest::addColumn<quint32>("r");
        QTest::addColumn<QString>("shortKey");
        QTest::newRow("band 0, r max") << 1000 << 4294967295u << "0_15";
        QTest::newRow("band 1, r max") << 2000 << 4294967295u << "1_5";
        QTest::newRow("band 2, r max") << 3500 << 4294967295u << "2_0";
        QTest::newRow("band 3, r max") << 5000 << 4294967295u << "3_5";
        // Band 0 keeps the low four bits; the others wrap at their count.
        QTest::newRow("band 0, low bits") << 1499 << 0x12345671u << "0_1";
        QTest::newRow("band 1, top") << 1500 << 18u << "1_18";
        QTest::newRow("band 1, wraps") << 2999 << 19u << "1_0";
        QTest::newRow("band 2, top") << 3000 << 16u << "2_16";
        QTest::newRow("band 2, wraps") << 4499 << 17u << "2_0";
        QTest::newRow("band 3, top") << 4500 << 18u << "3_18";
        QTest::newRow("band 3, wraps") << 6000 << 38u << "3_0";
    }
    void indices() {
        QFETCH(qint32, capacity);
        QFETCH(quint32, r);
        QFETCH(QString, shortKey);
        const BlewResultString::Pick pick = BlewResultString::pick(capacity, r);
        QCOMPARE(pick.shortKey(), shortKey);
        QCOMPARE(pick.key(), "BlewLvl_" + shortKey);
        QCOMPARE(BlewResultString::keyForShortKey(shortKey), pick.key());

        FixedRandom random(r);
        Random::setShared(&random);
        const BlewResultString::Pick drawn = BlewResultString::pick(capacity);
        Random::setShared(nullptr);
        QCOMPARE(drawn.shortKey(), shortKey);
    }

    // Every key a pick can produce names an entry, and the table holds no other.
    void picksCoverTheTable() {
        book().loadBook();
        QSet<QString> reached;
        for (qint32 capacity : {100, 2000, 3500, 6000}) {
            for (quint32 r = 0; r < 64; ++r) {
                const QString key = BlewResultString::pick(capacity, r).key();
                QVERIFY2(!book().getResultString(key).isEmpty(), qPrintable(key));
                reached.insert(key);
            }
        }
        QCOMPARE(reached.size(), 71);
        QCOMPARE(QSet<QString>(book().resultBook()->keyBegin(), book().resultBook()->keyEnd()),
                 reached);
    }

    void lifecycle() {
        QVERIFY(!book().resultBook());
        QVERIFY(book().getResultString("BlewLvl_0_0").isNull());

        book().loadBook();
        book().loadBook();
        QCOMPARE(book().resultBook()->size(), 71);

        const std::shared_ptr<BlewResultString::Book> held = book().resultBook();
        book().releaseBook();
        QVERIFY(!book().resultBook());
        QVERIFY(held->isEmpty());
        for (const char* key : {"BlewLvl_0_0", "BlewLvl_1_18", "BlewLvl_3_18"})
            QVERIFY(book().getResultString(key).isNull());

        book().loadBook();
        QCOMPARE(book().resultBook()->size(), 71);
        QVERIFY(book().getResultString("BlewLvl_4_0").isNull());
        QVERIFY(book().getResultString("BlewLvl_0_16").isNull());
        QVERIFY(book().getResultString("0_0").isNull());
    }

    // Texts whose punctuation is easy to normalise by mistake.
    void texts_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::newRow("ASCII brackets, !!?") << "BlewLvl_0_0"
                                             << "您一定是像林黛玉一样的娇弱女子(你确定吹了吗!!?)";
        QTest::newRow("ASCII comma and full stop") << "BlewLvl_0_1"
                                                   << "你这口气吹得太低调，使劲儿点,别有顾虑.";
        QTest::newRow("ASCII ?") << "BlewLvl_0_8"
                                 << "你确定是对着我吹的吗?";
        QTest::newRow("full-width ？") << "BlewLvl_0_4"
                                       << "你确定刚才是用嘴吹的？";
        QTest::newRow("full-width ～ and quotes") << "BlewLvl_1_11"
                                                  << "乖～别闹，用“嘴”再吹一次。";
        QTest::newRow("ASCII ~ after a blank") << "BlewLvl_1_14"
                                               << "你的嘴和中国足球一样，咋就那么不争气呢 ~";
        QTest::newRow("ellipsis and ！？") << "BlewLvl_1_8"
                                           << "你这肺活量…能挣点气不！平时吹牛咋那么有劲呢！？";
        QTest::newRow("!!!") << "BlewLvl_1_16"
                             << "再使劲点吹！吹气又不会怀孕!!!";
        QTest::newRow("no final stop")
            << "BlewLvl_1_17"
            << "我知道你是好面子的人，所以婉转点说：我打个嗝都比你吹得高";
        QTest::newRow("full-width brackets") << "BlewLvl_3_10"
                                             << "你听，海哭的声音；你吹，海笑（啸）了";
        QTest::newRow("last") << "BlewLvl_3_18"
                              << "老实交代，到底是几个人一起吹的？";
    }
    void texts() {
        QFETCH(QString, key);
        QFETCH(QString, text);
        book().loadBook();
        QCOMPARE(book().getResultString(key), text);
    }

    // The digest of the whole table as published; any changed byte in any
    // of the 71 texts shows here.
    void wholeTable() {
        book().loadBook();
        const QByteArray dump = tableDump();
        QCOMPARE(dump.count('\n'), 71);
        QCOMPARE(QCryptographicHash::hash(dump, QCryptographicHash::Sha256).toHex(),
                 QByteArray("38d21c87e979ae6049b1e64291574d647f8d4d92a86e361dec0e7ac5e5192069"));
    }
};

QTEST_GUILESS_MAIN(TestBlewResultString)
#include "tst_blewresultstring.moc"
