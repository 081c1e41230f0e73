// The smog game's running costs: one scroll step (offset, thumb, metres and
// the smoke update) as a share of the 20 ms tick, the frame time of the
// whole screen with about 60 live puffs as a share of a 16.7 ms frame, and
// the resident memory with the tab shown and after leaving it (the tall
// picture must be released). Baselines from the same run: a step-free
// loop of the same length, and a frame of the screen with no smoke.
//   QT_QPA_PLATFORM=offscreen bench_smoggame

#include "benchoutput.h"
#include "platform/uikit/keywindow.h"
#include "platform/uikit/mainscreen.h"
#include "platform/uikit/scrollview.h"
#include "platform/uikit/tabbarcontroller.h"
#include "samplestats.h"
#include "screens/placeholderviewcontroller.h"
#include "screens/smoggame/blewfogviewcontroller.h"
#include "screens/smoggame/fogsmokelayer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <malloc.h>

namespace {

constexpr double kTickMs = 20.0;
constexpr double kFrameMs = 1000.0 / 60.0;

double residentMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

double frameMs(QWidget* window, QImage& target) {
    QElapsedTimer timer;
    timer.start();
    QPainter painter(&target);
    window->render(&painter);
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    MainScreen::set({320, 568}, 2);

    const double before = residentMiB();
    auto* window = new QWidget;
    window->resize(320, 568);
    auto* tabs = new TabBarController(window);
    tabs->setGeometry(window->rect());
    auto* game = new BlewFogViewController;
    tabs->setViewControllers({new PlaceholderViewController("other", ""), game});
    KeyWindow::makeKeyAndVisible(window);
    tabs->setSelectedIndex(1);
    QTest::qWait(4000); // the fog return settles, the smoke reaches its steady state
    const double shown = residentMiB();

    // Scroll steps from the bottom, as the timer would make them at level 4.
    game->BlowAirupdataState(4);
    game->timer()->stop();
    std::vector<double> steps;
    std::vector<double> baseline;
    for (int i = 0; i < 300; ++i) {
        QElapsedTimer timer;
        timer.start();
        game->timerTick();
        steps.push_back(timer.nsecsElapsed() / 1e6);
        timer.restart();
        QApplication::processEvents();
        baseline.push_back(timer.nsecsElapsed() / 1e6);
    }
    game->BlowAirOver(0, 0);
    // Full strength again, long enough for a steady population (10 s lives).
    game->updateFogWithLifeTime(10, 6);
    QTest::qWait(10500);

    QImage target(640, 1136, QImage::Format_ARGB32_Premultiplied);
    target.setDevicePixelRatio(2);
    std::vector<double> withSmoke;
    std::vector<double> withoutSmoke;
    for (int i = 0; i < 120; ++i) {
        game->smokeLayer()->show();
        withSmoke.push_back(frameMs(window, target));
        game->smokeLayer()->hide();
        withoutSmoke.push_back(frameMs(window, target));
    }
    game->smokeLayer()->show();
    const int particles = int(game->smokeLayer()->emitter().particles().size());

    tabs->setSelectedIndex(0);
    QTest::qWait(200);
    malloc_trim(0);
    const double left = residentMiB();

    benchPrint("step.median_ms", SampleStats(steps).median());
    benchPrint("step.share_of_20ms_tick_percent", SampleStats(steps).median() / kTickMs * 100,
               "target < 10 %");
    benchPrint("step.event_loop_baseline_ms", SampleStats(baseline).median(),
               "same run: one processEvents");
    benchPrint("frame.live_particles", particles);
    benchPrint("frame.with_smoke_median_ms", SampleStats(withSmoke).median());
    benchPrint("frame.share_of_16.7ms_percent", SampleStats(withSmoke).median() / kFrameMs * 100,
               "target < 25 %");
    benchPrint("frame.without_smoke_median_ms", SampleStats(withoutSmoke).median(),
               "same run baseline");
    benchPrint("frame.smoke_over_baseline_ratio",
               SampleStats(withSmoke).median() / SampleStats(withoutSmoke).median());
    benchPrint("memory.before_window_mib", before);
    benchPrint("memory.smog_tab_shown_mib", shown);
    benchPrint("memory.after_leaving_mib", left, "the picture is released on leaving");
    benchPrint("memory.released_mib", shown - left);
    delete window;
    return 0;
}
