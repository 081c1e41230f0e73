// How evenly the pinwheel is drawn while it spins: paints counted over a
// stretch of spinning, their rate, the gaps between them and the share of
// frames that come later than 1.5 frame intervals, next to a same-run
// baseline: a plain widget of the same size repainted by a 16 ms timer.
// The frame interval is the screen's refresh interval, and 1/60 s as well.
//   bench_pinwheel [seconds]   (5 by default; run under xvfb-run for a real
//                               display server, otherwise offscreen)

#include "benchoutput.h"
#include "cpuusage.h"
#include "samplestats.h"
#include "screens/lungtest/qmxrotateview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPainter>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Paint timestamps and the time spent painting, for either widget.
struct FrameLog {
    QElapsedTimer clock;
    std::vector<double> stamps; // ms
    double paintMs = 0;

    template <typename Paint> void record(Paint&& paint) {
        const double begin = clock.nsecsElapsed() / 1e6;
        paint();
        const double end = clock.nsecsElapsed() / 1e6;
        stamps.push_back(begin);
        paintMs += end - begin;
    }
};

class CountingPinwheel : public QMXRotateView {
public:
    using QMXRotateView::QMXRotateView;
    FrameLog* log = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override {
        if (log)
            log->record([&] { QMXRotateView::paintEvent(event); });
        else
            QMXRotateView::paintEvent(event);
    }
};

// The baseline: the same picture, unturned, redrawn on a plain timer.
class TimerWidget : public QWidget {
public:
    using QWidget::QWidget;
    FrameLog* log = nullptr;
    QPixmap picture;

protected:
    void paintEvent(QPaintEvent*) override {
        const auto draw = [&] {
            QPainter painter(this);
            const QSizeF size =
                picture.deviceIndependentSize().scaled(QSizeF(this->size()), Qt::KeepAspectRatio);
            painter.drawPixmap(
                QRectF(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size),
                picture, QRectF(picture.rect()));
        };
        if (log)
            log->record(draw);
        else
            draw();
    }
};

struct Cadence {
    double fps = 0;
    double lateShare = 0;   // gaps > 1.5 screen intervals
    double lateShare60 = 0; // gaps > 1.5 / 60 s
    double medianGap = 0, p95Gap = 0, maxGap = 0;
    double paintMeanMs = 0;
    double cpuPercent = 0;
    std::size_t frames = 0;
};

Cadence measure(FrameLog& log, double seconds, double intervalMs, const CpuUsage& cpuStart) {
    Cadence c;
    c.cpuPercent = CpuUsage::sample().percentOfCoreSince(cpuStart);
    c.frames = log.stamps.size();
    if (c.frames < 2)
        return c;
    std::vector<double> gaps;
    for (std::size_t i = 1; i < log.stamps.size(); ++i)
        gaps.push_back(log.stamps[i] - log.stamps[i - 1]);
    std::size_t late = 0, late60 = 0;
    for (double gap : gaps) {
        late += gap > 1.5 * intervalMs;
        late60 += gap > 1.5 * 1000.0 / 60.0;
    }
    c.fps = double(c.frames) / seconds;
    c.lateShare = double(late) / double(gaps.size());
    c.lateShare60 = double(late60) / double(gaps.size());
    const SampleStats stats(gaps);
    c.medianGap = stats.median();
    c.p95Gap = stats.percentile(95);
    c.maxGap = stats.max();
    c.paintMeanMs = log.paintMs / double(c.frames);
    return c;
}

void printCadence(const std::string& prefix, const Cadence& c) {
    benchPrint(prefix + ".frames", double(c.frames));
    benchPrint(prefix + ".frames_per_s", c.fps);
    benchPrint(prefix + ".late_share_screen", c.lateShare, "gaps > 1.5 screen intervals");
    benchPrint(prefix + ".late_share_60hz", c.lateShare60, "gaps > 25 ms");
    benchPrint(prefix + ".gap_median_ms", c.medianGap);
    benchPrint(prefix + ".gap_p95_ms", c.p95Gap);
    benchPrint(prefix + ".gap_max_ms", c.maxGap);
    benchPrint(prefix + ".paint_mean_ms", c.paintMeanMs);
    benchPrint(prefix + ".cpu_percent", c.cpuPercent, "of one core, whole process");
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const double seconds = argc > 1 ? QByteArray(argv[1]).toDouble() : 5.0;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: %s [seconds]\n", argv[0]);
        return 2;
    }

    // The lung test's geometry on the default 320 x 568 window.
    const int W = 320, H = 568;
    QWidget window;
    window.resize(W, H);
    window.setStyleSheet(QStringLiteral("background: rgb(252,252,252)"));
    const QRect frame(0, 0, W - 130, H - 130);
    const QPoint centre(W / 2 - 15, (H - 130) / 2 + 20);

    auto* baseline = new TimerWidget(&window);
    baseline->picture = QMXRotateView().image();
    baseline->setGeometry(frame);
    baseline->move(centre - QRect(frame).center());
    auto* pinwheel = new CountingPinwheel(frame, &window);
    pinwheel->move(centre - QRect(frame).center());
    pinwheel->hide();
    window.show();
    runEventLoop(0.5);

    QScreen* screen = window.screen();
    const double refresh = screen && screen->refreshRate() > 1 ? screen->refreshRate() : 60.0;
    const double intervalMs = 1000.0 / refresh;
    std::printf("platform %s, screen refresh %.2f Hz, device pixel ratio %.2f\n",
                qPrintable(QGuiApplication::platformName()), refresh, window.devicePixelRatioF());
    std::printf("measuring %.1f s of a 16 ms timer widget, then %.1f s of spinning\n", seconds,
                seconds);
    std::fflush(stdout);

    FrameLog baseLog;
    baseLog.clock.start();
    baseline->log = &baseLog;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, baseline, qOverload<>(&QWidget::update));
    CpuUsage cpuStart = CpuUsage::sample();
    timer.start(16);
    runEventLoop(seconds);
    timer.stop();
    const Cadence base = measure(baseLog, seconds, intervalMs, cpuStart);
    baseline->log = nullptr;
    baseline->hide();

    pinwheel->show();
    pinwheel->start();
    runEventLoop(0.3); // past the first, accelerating step
    FrameLog spinLog;
    spinLog.clock.start();
    pinwheel->log = &spinLog;
    cpuStart = CpuUsage::sample();
    runEventLoop(seconds);
    const Cadence spin = measure(spinLog, seconds, intervalMs, cpuStart);
    pinwheel->log = nullptr;
    pinwheel->stop();
    runEventLoop(0.3);

    benchPrint("pinwheel.window_s", seconds);
    benchPrint("pinwheel.frame_interval_ms", intervalMs, "screen refresh interval");
    printCadence("baseline", base);
    printCadence("spinning", spin);
    if (base.fps > 0)
        benchPrint("ratio.frames_per_s", spin.fps / base.fps, "spinning / baseline");
    if (base.lateShare > 0)
        benchPrint("ratio.late_share_screen", spin.lateShare / base.lateShare,
                   "spinning / baseline");
    else
        std::printf("%-40s %10s  baseline had no late frames\n", "ratio.late_share_screen", "n/a");
    if (base.paintMeanMs > 0)
        benchPrint("ratio.paint_mean", spin.paintMeanMs / base.paintMeanMs, "spinning / baseline");
    return 0;
}
