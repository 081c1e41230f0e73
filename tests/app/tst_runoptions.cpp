#include "app/runoptions.h"

#include <QTest>

class TestRunOptions : public QObject {
    Q_OBJECT

    static RunOptions parse(const QStringList& args) {
        return RunOptions::parse(QStringList{QStringLiteral("vantoro")} + args);
    }

private slots:
    void defaults() {
        const RunOptions o = parse({});
        QVERIFY(o.error.isEmpty());
        QCOMPARE(o.screenSize, QSizeF(320, 568));
        QCOMPARE(o.screenScale, 2.0);
        QVERIFY(o.levelTracePath.isEmpty());
        QVERIFY(o.contentBase.isEmpty());
        QVERIFY(o.openUrl.isEmpty());
    }

    void everything() {
        const RunOptions o =
            parse({"--level-trace", "blow.txt", "--screen", "375x667@3", "--content-base",
                   "http://127.0.0.1:8080/", "wx0f9e8d7c6b5a4f3e://oauth?code=1"});
        QVERIFY2(o.error.isEmpty(), qPrintable(o.error));
        QCOMPARE(o.levelTracePath, QStringLiteral("blow.txt"));
        QCOMPARE(o.screenSize, QSizeF(375, 667));
        QCOMPARE(o.screenScale, 3.0);
        QCOMPARE(o.contentBase.host(), QStringLiteral("127.0.0.1"));
        QCOMPARE(o.contentBase.port(), 8080);
        QCOMPARE(o.openUrl.scheme(), QStringLiteral("wx0f9e8d7c6b5a4f3e"));
    }

    void screenWithoutScaleKeepsDefaultScale() {
        const RunOptions o = parse({"--screen", "320x480"});
        QCOMPARE(o.screenSize, QSizeF(320, 480));
        QCOMPARE(o.screenScale, 2.0);
    }

    void rejects_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("screen garbage") << QStringList{"--screen", "big"};
        QTest::newRow("screen scale 0") << QStringList{"--screen", "320x568@0"};
        QTest::newRow("missing trace value") << QStringList{"--level-trace"};
        QTest::newRow("content base not http") << QStringList{"--content-base", "ftp://x"};
        QTest::newRow("content base no host") << QStringList{"--content-base", "http://"};
        QTest::newRow("unknown option") << QStringList{"--fast"};
        QTest::newRow("two urls") << QStringList{"a://b", "c://d"};
    }
    void rejects() {
        QFETCH(QStringList, args);
        QVERIFY(!parse(args).error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRunOptions)
#include "tst_runoptions.moc"
