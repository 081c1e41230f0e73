#include "platform/uikit/images.h"
#include "screens/lungtest/qmxrotateview.h"

#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QVariantAnimation>
#include <cmath>
#include <numbers>

// The steps are driven through their own time lines (setCurrentTime), with
// no event processing in between, so the animation timer never moves them:
// every step boundary lands exactly where the test puts it. One case runs
// the chain in real time to cover the timer-driven path.
class TestQMXRotateView : public QObject {
    Q_OBJECT

    static constexpr double kStep = QMXRotateView::kStepAngle;
    static constexpr quint32 kIn = QMXRotateView::kCurveEaseIn;
    static constexpr quint32 kOut = QMXRotateView::kCurveEaseOut;
    static constexpr quint32 kLinear = QMXRotateView::kCurveLinear;

    static QList<quint32> optionsOf(const QSignalSpy& spy) {
        QList<quint32> options;
        for (const QList<QVariant>& call : spy)
            options << call.at(0).toUInt();
        return options;
    }

    static int runningSteps(const QMXRotateView& view) {
        int running = 0;
        for (const QVariantAnimation* step : view.findChildren<QVariantAnimation*>())
            running += step->state() == QAbstractAnimation::Running;
        return running;
    }

    // Runs the step in progress to its end and returns the step that follows.
    static QVariantAnimation* finishStep(QMXRotateView& view) {
        QVariantAnimation* step = view.currentStep();
        if (!step)
            return nullptr;
        step->setCurrentTime(step->duration());
        return view.currentStep();
    }

    static bool sameImage(const QPixmap& a, const QPixmap& b) {
        return !a.isNull() && a.toImage() == b.toImage();
    }

private slots:
    void created() {
        QMXRotateView view(QRect(10, 20, 190, 438));
        QCOMPARE(view.geometry(), QRect(10, 20, 190, 438));
        QVERIFY(!view.isStart());
        QCOMPARE(view.speed(), 1);
        QCOMPARE(view.duration(), 0.10000000149011612);
        QCOMPARE(view.contentMode(), ImageView::ContentMode::AspectFit);
        QVERIFY(sameImage(view.image(), Images::named("blew_Img_normal")));
        QCOMPARE(view.currentStep(), nullptr);
        QVERIFY(std::abs(QMXRotateView::kStepAngle * 180 / std::numbers::pi - 117.0) < 1e-5);
    }

    void startTwiceRunsOneChain() {
        QMXRotateView view;
        QSignalSpy started(&view, &QMXRotateView::stepStarted);
        view.start();
        view.start();
        QCOMPARE(optionsOf(started), QList<quint32>{kIn});
        QCOMPARE(runningSteps(view), 1);
        for (int i = 0; i < 4; ++i) {
            finishStep(view);
            QCOMPARE(runningSteps(view), 1);
            view.start();
        }
        QCOMPARE(optionsOf(started), (QList<quint32>{kIn, kLinear, kLinear, kLinear, kLinear}));
        QCOMPARE(view.angle(), 4 * kStep);
        QCOMPARE(view.transformAngle(), 5 * kStep);
    }

    void stopAtRest() {
        QMXRotateView view;
        QPixmap other(8, 8);
        other.fill(Qt::red);
        view.setImage(other);
        view.setAlpha(0.25);
        view.setRotateSpeed(9);
        QSignalSpy started(&view, &QMXRotateView::stepStarted);

        view.stop();
        QVERIFY(!view.isStart());
        QCOMPARE(view.speed(), 1);
        QCOMPARE(view.duration(), 0.10000000149011612);
        QCOMPARE(view.alpha(), 1.0);
        QVERIFY(sameImage(view.image(), Images::named("blew_Img_normal")));
        QCOMPARE(started.count(), 0);
        QCOMPARE(view.currentStep(), nullptr);
        QCOMPARE(view.angle(), 0.0);
        QCOMPARE(view.transformAngle(), 0.0);
    }

    // Stopping in the middle of a linear step and in the middle of the first
    // (ease-in) step: the step in progress is not cut short, and exactly one
    // ease-out step follows it.
    void stopWindsDown_data() {
        QTest::addColumn<int>("linearSteps");
        QTest::newRow("during the ease-in step") << 0;
        QTest::newRow("during a linear step") << 1;
        QTest::newRow("after three linear steps") << 3;
    }
    void stopWindsDown() {
        QFETCH(int, linearSteps);
        QMXRotateView view;
        QSignalSpy started(&view, &QMXRotateView::stepStarted);
        QSignalSpy ended(&view, &QMXRotateView::stepEnded);
        view.start();
        for (int i = 0; i < linearSteps; ++i)
            finishStep(view);

        QVariantAnimation* current = view.currentStep();
        current->setCurrentTime(40);
        const double shown = view.angle();
        QVERIFY(shown > linearSteps * kStep && shown < (linearSteps + 1) * kStep);

        view.stop();
        QCOMPARE(view.currentStep(), current);
        QCOMPARE(current->state(), QAbstractAnimation::Running);
        QCOMPARE(view.angle(), shown);

        QVariantAnimation* last = finishStep(view);
        QVERIFY(last);
        QCOMPARE(view.angle(), (linearSteps + 1) * kStep);
        QCOMPARE(optionsOf(started).last(), kOut);
        QCOMPARE(last->startValue().toDouble(), (linearSteps + 1) * kStep);
        QCOMPARE(last->endValue().toDouble(), (linearSteps + 2) * kStep);
        QCOMPARE(last->duration(), 100);

        QCOMPARE(finishStep(view), nullptr);
        QCOMPARE(view.angle(), (linearSteps + 2) * kStep);
        QCOMPARE(started.count(), linearSteps + 2);
        QCOMPARE(ended.count(), linearSteps + 2);
        for (const QList<QVariant>& call : ended)
            QVERIFY(call.at(1).toBool());
        QCOMPARE(runningSteps(view), 0);
    }

    // Ease-in lags behind an even turn halfway through its step, ease-out is
    // ahead of it, linear is on it.
    void stepCurves() {
        QMXRotateView view;
        view.start();
        view.currentStep()->setCurrentTime(50);
        const double easeIn = view.angle() / kStep;
        finishStep(view);
        view.currentStep()->setCurrentTime(50);
        const double linear = view.angle() / kStep - 1;
        view.stop();
        finishStep(view);
        view.currentStep()->setCurrentTime(50);
        const double easeOut = view.angle() / kStep - 2;
        QVERIFY2(easeIn > 0.2 && easeIn < 0.4, qPrintable(QString::number(easeIn)));
        QVERIFY(std::abs(linear - 0.5) < 1e-9);
        QVERIFY2(easeOut > 0.6 && easeOut < 0.8, qPrintable(QString::number(easeOut)));
    }

    // A start while winding down replaces the running step: it ends as not
    // finished, starts nothing, and the new ease-in step turns on from
    // where the pinwheel is seen to one step past the replaced step's end.
    void replacedStepStartsNothing_data() {
        QTest::addColumn<bool>("inEaseOut");
        QTest::newRow("replacing the step in progress at stop") << false;
        QTest::newRow("replacing the ease-out step") << true;
    }
    void replacedStepStartsNothing() {
        QFETCH(bool, inEaseOut);
        QMXRotateView view;
        view.start();
        finishStep(view);
        view.stop();
        if (inEaseOut)
            finishStep(view);
        QPointer<QVariantAnimation> replaced = view.currentStep();
        const quint32 replacedOptions = inEaseOut ? kOut : kLinear;
        replaced->setCurrentTime(30);
        const double shown = view.angle();
        const double replacedEnd = view.transformAngle();

        QSignalSpy started(&view, &QMXRotateView::stepStarted);
        QSignalSpy ended(&view, &QMXRotateView::stepEnded);
        view.start();
        QVERIFY(view.isStart());
        QCOMPARE(ended.count(), 1);
        QCOMPARE(ended.at(0).at(0).toUInt(), replacedOptions);
        QCOMPARE(ended.at(0).at(1).toBool(), false);
        QCOMPARE(optionsOf(started), QList<quint32>{kIn});
        QCOMPARE(replaced->state(), QAbstractAnimation::Stopped);
        QCOMPARE(runningSteps(view), 1);
        QCOMPARE(view.currentStep()->startValue().toDouble(), shown);
        QCOMPARE(view.currentStep()->endValue().toDouble(), replacedEnd + kStep);

        // Still one chain: it goes on linearly and winds down once.
        finishStep(view);
        view.stop();
        finishStep(view);
        QCOMPARE(finishStep(view), nullptr);
        QCOMPARE(optionsOf(started), (QList<quint32>{kIn, kLinear, kOut}));
        QCOMPARE(view.angle(), replacedEnd + 3 * kStep);

        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(replaced.isNull());
        QVERIFY(view.findChildren<QVariantAnimation*>().isEmpty());
    }

    void speedKeepsStepLength_data() {
        QTest::addColumn<int>("speed");
        QTest::newRow("0") << 0;
        QTest::newRow("1") << 1;
        QTest::newRow("5") << 5;
        QTest::newRow("-3") << -3;
        QTest::newRow("1000") << 1000;
    }
    void speedKeepsStepLength() {
        QFETCH(int, speed);
        QMXRotateView view;
        view.setRotateSpeed(speed);
        QCOMPARE(view.speed(), speed);
        QCOMPARE(view.duration(), 0.10000000149011612);
        view.start();
        QCOMPARE(view.currentStep()->duration(), 100);
        view.setRotateSpeed(speed + 1);
        QCOMPARE(finishStep(view)->duration(), 100);
        QCOMPARE(view.speed(), speed + 1);
    }

    void secondRunStartsWhereTheFirstRested() {
        QMXRotateView view;
        view.start();
        finishStep(view);
        finishStep(view);
        view.stop();
        finishStep(view);
        finishStep(view);
        QCOMPARE(view.currentStep(), nullptr);
        const double rest = view.angle();
        QCOMPARE(rest, 4 * kStep);

        view.start();
        QCOMPARE(view.angle(), rest);
        QCOMPARE(view.currentStep()->startValue().toDouble(), rest);
        view.currentStep()->setCurrentTime(1);
        QVERIFY(view.angle() >= rest && view.angle() < rest + 0.01);
        finishStep(view);
        QCOMPARE(view.angle(), rest + kStep);
    }

    // Drawn like a view transform: about the centre, clockwise, with the
    // image fitted into the frame.
    void paintsTurnedAboutTheCentre() {
        QPixmap halves(40, 40);
        halves.fill(Qt::blue);
        {
            QPainter painter(&halves);
            painter.fillRect(0, 0, 40, 20, Qt::red);
        }
        QMXRotateView view(QRect(0, 0, 100, 200));
        view.setImage(halves);
        const auto colourAt = [&view](double degrees, double radius) {
            const QImage shot = view.grab().toImage();
            const double a = degrees * std::numbers::pi / 180;
            const QPoint p(qRound(50 + radius * std::sin(a)), qRound(100 - radius * std::cos(a)));
            return shot.pixelColor(p * shot.devicePixelRatio());
        };
        QCOMPARE(colourAt(0, 30), QColor(Qt::red));
        QCOMPARE(colourAt(180, 30), QColor(Qt::blue));
        // Above the fitted square only the background shows.
        QCOMPARE(colourAt(0, 70), view.palette().color(QPalette::Window));

        view.start();
        finishStep(view); // 117 degrees clockwise
        QCOMPARE(colourAt(117, 30), QColor(Qt::red));
        QCOMPARE(colourAt(297, 30), QColor(Qt::blue));
        QCOMPARE(colourAt(0, 30), QColor(Qt::blue));
    }

    // The same chain on the animation timer: a short run, then a stop.
    void runsInRealTime() {
        QMXRotateView view(QRect(0, 0, 190, 438));
        QSignalSpy started(&view, &QMXRotateView::stepStarted);
        QSignalSpy ended(&view, &QMXRotateView::stepEnded);
        view.start();
        // The way in and at least one full-speed step before the stop.
        QTRY_VERIFY_WITH_TIMEOUT(started.count() >= 2, 2000);
        view.stop();
        QTRY_VERIFY_WITH_TIMEOUT(view.currentStep() == nullptr, 2000);

        const QList<quint32> options = optionsOf(started);
        QVERIFY(options.size() >= 3);
        QCOMPARE(options.first(), kIn);
        QCOMPARE(options.last(), kOut);
        for (qsizetype i = 1; i + 1 < options.size(); ++i)
            QCOMPARE(options.at(i), kLinear);
        QCOMPARE(ended.count(), started.count());
        for (const QList<QVariant>& call : ended)
            QVERIFY(call.at(1).toBool());
        QVERIFY(std::abs(view.angle() - options.size() * kStep) < 1e-9);
    }
};

QTEST_MAIN(TestQMXRotateView)
#include "tst_qmxrotateview.moc"
