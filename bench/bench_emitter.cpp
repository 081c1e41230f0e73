// What the smog ghost's smoke costs a frame: one emitter step of 1/60 s plus
// painting the screen with the ghost and its ~60 puffs, next to a same-run
// baseline that paints the same screen with the ghost alone. Frames of both
// kinds alternate, so that drift in the machine's speed hits both alike.
// Painting is into an image at the phone's double resolution, so no display
// server is involved.
//   bench_emitter [frames] [--save FILE.png]   (2000 frames by default)

#include "platform/uikit/images.h"
#include "platform/uikit/imageview.h"
#include "samplestats.h"
#include "screens/smoggame/fogsmokelayer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QStandardPaths>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double kFrame = 1.0 / 60.0;
constexpr double kFrameMs = 1000.0 / 60.0;

void print(const std::string& key, double value, const char* note = "") {
    std::printf("%-34s %10.4f%s%s\n", key.c_str(), value, *note ? "  " : "", note);
}

void printStats(const std::string& prefix, const SampleStats& stats) {
    print(prefix + ".median_ms", stats.median());
    print(prefix + ".p95_ms", stats.percentile(95));
    print(prefix + ".max_ms", stats.max());
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    int frames = 2000;
    QString save;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--save" && i + 1 < argc)
            save = QString::fromLocal8Bit(argv[++i]);
        else
            frames = arg.toInt();
    }
    if (frames <= 0) {
        std::fprintf(stderr, "usage: %s [frames] [--save FILE.png]\n", argv[0]);
        return 2;
    }

    // The game screen's geometry on the default 320 x 568 window.
    QWidget root;
    root.resize(320, 568);
    root.setAutoFillBackground(true);
    QPalette palette = root.palette();
    palette.setColor(QPalette::Window, QColor(96, 110, 124));
    root.setPalette(palette);
    auto* ghost = new ImageView(&root);
    ghost->resize(110, 110);
    ghost->move(160 - 55, 214 - 55);
    ghost->setContentMode(ImageView::ContentMode::AspectFit);
    QPixmap ghostImage = Images::named(QStringLiteral("fog_ghost"));
    if (ghostImage.isNull())
        ghostImage = Images::named(QStringLiteral("fog_moke"));
    ghost->setImage(ghostImage);

    FogSmokeLayer* smoke = FogSmokeLayer::prepareOn(ghost, &root, 2024);
    // Steady state at full strength before measuring.
    for (int i = 0; i < 30 * 60; ++i)
        smoke->emitter().advance(kFrame);

    QImage target(root.size() * 2, QImage::Format_ARGB32_Premultiplied);
    target.setDevicePixelRatio(2.0);

    std::vector<double> baseMs, smokeMs, stepMs, counts;
    baseMs.reserve(std::size_t(frames));
    smokeMs.reserve(std::size_t(frames));
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < frames; ++i) {
        smoke->setVisible(false);
        qint64 begin = clock.nsecsElapsed();
        root.render(&target);
        baseMs.push_back(double(clock.nsecsElapsed() - begin) / 1e6);

        smoke->setVisible(true);
        begin = clock.nsecsElapsed();
        smoke->emitter().advance(kFrame);
        const qint64 stepped = clock.nsecsElapsed();
        root.render(&target);
        const qint64 end = clock.nsecsElapsed();
        smokeMs.push_back(double(end - begin) / 1e6);
        stepMs.push_back(double(stepped - begin) / 1e6);
        counts.push_back(double(smoke->emitter().particles().size()));
    }
    if (!save.isEmpty())
        target.save(save);

    const SampleStats base(baseMs), withSmoke(smokeMs), step(stepMs), live(counts);
    std::printf("platform %s, %d frames of each kind, 640 x 1136 pixels painted\n",
                qPrintable(QGuiApplication::platformName()), frames);
    print("particles.median", live.median(), "live puffs per frame");
    print("particles.max", live.max());
    printStats("ghost_alone", base);
    printStats("ghost_and_smoke", withSmoke);
    printStats("emitter_step", step);
    print("smoke_cost.median_ms", withSmoke.median() - base.median(), "step + particle paint");
    print("ratio.smoke_vs_ghost_alone", withSmoke.median() / base.median());
    print("frames_per_s.ghost_alone", 1000.0 / base.median());
    print("frames_per_s.ghost_and_smoke", 1000.0 / withSmoke.median());
    print("headroom_at_60hz.ghost_and_smoke", kFrameMs / withSmoke.median(),
          "frame interval / median frame");
    print("share_of_60hz_frame.smoke_cost", (withSmoke.median() - base.median()) / kFrameMs);
    return 0;
}
