#include "platform/system/maintimer.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

// The real main-thread timers, with delays of a few tens of milliseconds.
class TestMainTimer : public QObject {
    Q_OBJECT

private slots:
    void timersFireOnceInOrderOnTheGuiThread() {
        MainTimer& timers = MainTimer::shared();
        QStringList fired;
        QElapsedTimer clock;
        clock.start();
        qint64 lateAt = 0;
        timers.schedule(0.08, [&] {
            QVERIFY(QThread::currentThread() == qApp->thread());
            lateAt = clock.elapsed();
            fired << QStringLiteral("late");
        });
        timers.schedule(0.02, [&] { fired << QStringLiteral("early"); });
        const MainTimer::Id cancelled =
            timers.schedule(0.04, [&] { fired << QStringLiteral("x"); });
        timers.cancel(cancelled);

        QTRY_COMPARE_WITH_TIMEOUT(fired.size(), 2, 2000);
        QCOMPARE(fired, (QStringList{QStringLiteral("early"), QStringLiteral("late")}));
        QVERIFY2(lateAt >= 75, qPrintable(QString::number(lateAt)));

        // Fired and cancelled timers stay quiet; cancelling them again is harmless.
        timers.cancel(cancelled);
        timers.cancel(0);
        QTest::qWait(100);
        QCOMPARE(fired.size(), 2);
    }

    void aTimerCanBeCancelledFromAnotherTimersBlock() {
        MainTimer& timers = MainTimer::shared();
        int secondRan = 0;
        MainTimer::Id second = 0;
        timers.schedule(0.01, [&] { timers.cancel(second); });
        second = timers.schedule(0.05, [&] { ++secondRan; });
        bool done = false;
        timers.schedule(0.1, [&] { done = true; });
        QTRY_VERIFY_WITH_TIMEOUT(done, 2000);
        QCOMPARE(secondRan, 0);
    }
};

QTEST_GUILESS_MAIN(TestMainTimer)
#include "tst_maintimer.moc"
