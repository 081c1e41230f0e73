// The send decision: which launches, ends of use and events ask for a report
// under each policy, and what stops one from going out at all.
#include "analytics/analyticsjob.h"

#include <QTest>

class TestAnalyticsJob : public QObject {
    Q_OBJECT

    static AnalyticsJob::Inputs ready(int kind, int policy) {
        AnalyticsJob::Inputs in;
        in.kind = kind;
        in.policy = policy;
        in.launchHasBegan = true;
        in.accessString = QStringLiteral("CellNetwork");
        in.now = 1'800'000'000;
        in.today = QStringLiteral("2026-12-08");
        in.lastPostDate = QStringLiteral("2026-12-08");
        return in;
    }

private slots:
    void table_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("policy");
        QTest::addColumn<bool>("send");
        // Policy 0 is the one this application runs with.
        QTest::newRow("launch, 0") << 0 << 0 << true;
        QTest::newRow("end of use, 0") << 1 << 0 << false;
        QTest::newRow("event, 0") << 2 << 0 << true;
        QTest::newRow("launch, 1") << 0 << 1 << true;
        QTest::newRow("event, 1") << 2 << 1 << false;
        QTest::newRow("launch, 2") << 0 << 2 << false;
        QTest::newRow("end of use, 2") << 1 << 2 << true;
        QTest::newRow("kind 3, 3") << 3 << 3 << true;
        QTest::newRow("kind 4, 0") << 4 << 0 << false;
        // No rule of their own: nothing is sent.
        QTest::newRow("launch, 5") << 0 << 5 << false;
        QTest::newRow("event, 8") << 2 << 8 << false;
        QTest::newRow("event, -1") << 2 << -1 << false;
    }
    void table() {
        QFETCH(int, kind);
        QFETCH(int, policy);
        QFETCH(bool, send);
        QCOMPARE(AnalyticsJob::shouldSend(ready(kind, policy)), send);
    }

    void nothingGoesOutWithoutANetworkOrALaunch() {
        AnalyticsJob::Inputs in = ready(AnalyticsJob::Event, 0);
        in.accessString.clear();
        QVERIFY(!AnalyticsJob::shouldSend(in));
        in = ready(AnalyticsJob::Event, 0);
        in.launchHasBegan = false;
        QVERIFY(!AnalyticsJob::shouldSend(in));
        in = ready(AnalyticsJob::Launch, 0);
        in.appBeKilling = true;
        QVERIFY(!AnalyticsJob::shouldSend(in));
    }

    // Policy 7 sends from the background only, network or not.
    void backgroundPolicy() {
        AnalyticsJob::Inputs in = ready(AnalyticsJob::Terminate, 7);
        in.accessString.clear();
        in.appInBackGround = true;
        QVERIFY(AnalyticsJob::shouldSend(in));
        in.appInBackGround = false;
        QVERIFY(!AnalyticsJob::shouldSend(in));
        in.appInBackGround = true;
        in.appBeKilling = true;
        QVERIFY(!AnalyticsJob::shouldSend(in));
    }

    void intervalPolicy() {
        AnalyticsJob::Inputs in = ready(AnalyticsJob::Terminate, 6);
        QVERIFY2(AnalyticsJob::shouldSend(in), "never sent before");
        in.lastPostInterval = in.now - 1000;
        QVERIFY2(!AnalyticsJob::shouldSend(in), "an end of use never sends once one went out");
        in.kind = AnalyticsJob::Event;
        in.sendInterval = 999;
        QVERIFY(AnalyticsJob::shouldSend(in));
        in.sendInterval = 1000;
        QVERIFY(!AnalyticsJob::shouldSend(in));
    }

    void dailyPolicy() {
        AnalyticsJob::Inputs in = ready(AnalyticsJob::Launch, 3);
        QVERIFY(!AnalyticsJob::shouldSend(in));
        in.lastPostDate = QStringLiteral("2026-12-07");
        QVERIFY(AnalyticsJob::shouldSend(in));
        in.lastPostDate.clear();
        QVERIFY(AnalyticsJob::shouldSend(in));
        in.kind = AnalyticsJob::Event;
        QVERIFY2(!AnalyticsJob::shouldSend(in), "only the launch follows the daily rule");
    }

    void wifiPolicy() {
        AnalyticsJob::Inputs in = ready(AnalyticsJob::Event, 4);
        QVERIFY(!AnalyticsJob::shouldSend(in));
        in.accessString = QStringLiteral("WiFi");
        QVERIFY(AnalyticsJob::shouldSend(in));
        in.kind = AnalyticsJob::Terminate;
        QVERIFY(!AnalyticsJob::shouldSend(in));
    }
};

QTEST_GUILESS_MAIN(TestAnalyticsJob)
#include "tst_analyticsjob.moc"
