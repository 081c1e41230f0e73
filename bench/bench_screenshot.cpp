// What the share screenshot costs on the tap: a 320 x 568 point window at
// scale 2 with a screen's worth of content (picture background, labels,
// image buttons, a result card, the tab bar) captured, cut to 640 x 1136
// pixels and encoded as PNG. Each stage is timed on its own, 20 runs each,
// and set against the bare capture of the window measured in the same run.
// The photo-album copy is written off the GUI thread; the full procedure
// waits for it between runs (untimed) so that runs do not overlap, and is
// timed once more with the copy held back until after each run.

#include "platform/system/dispatch.h"
#include "platform/uikit/keywindow.h"
#include "platform/uikit/photoalbum.h"
#include "platform/uikit/tabbar.h"
#include "samplestats.h"
#include "share/blewcommonutil.h"
#include "share/sheet/imagehelpers.h"
#include "support/installed.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLinearGradient>
#include <QLoggingCategory>
#include <QPainter>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <functional>
#include <optional>

namespace {

constexpr int kRuns = 20;
constexpr int kWarmUp = 2;
constexpr int W = 320;
constexpr int H = 568;

QPixmap backdrop() {
    QPixmap pixmap(W * 2, H * 2);
    pixmap.setDevicePixelRatio(2);
    QPainter painter(&pixmap);
    QLinearGradient sky(0, 0, 0, H);
    sky.setColorAt(0, QColor(0x6a, 0xb7, 0xe8));
    sky.setColorAt(1, QColor(0xe8, 0xe2, 0xc8));
    painter.fillRect(QRect(0, 0, W, H), sky);
    // Some texture, so the encoder has real work to do.
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 60; ++i) {
        painter.setBrush(QColor::fromHsv((i * 37) % 360, 60, 240, 90));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF((i * 53) % W, (i * 97) % H), 10 + i % 25, 8 + i % 17);
    }
    return pixmap;
}

QWidget* buildWindow() {
    auto* window = new QWidget;
    window->setFixedSize(W, H);
    auto* background = new QLabel(window);
    background->setGeometry(0, 0, W, H);
    background->setPixmap(backdrop());

    auto* title = new QLabel(QStringLiteral("肺活量测试"), window);
    title->setGeometry(0, 30, W, 30);
    title->setAlignment(Qt::AlignCenter);
    title->setStyleSheet(QStringLiteral("font-size: 20px; color: #333;"));

    auto* card = new QWidget(window);
    card->setGeometry(40, 250, 240, 130);
    card->setStyleSheet(QStringLiteral("background: #f2f2f2;"));
    auto* value = new QLabel(QStringLiteral("肺活量  3200毫升"), card);
    value->setGeometry(18, 10, 200, 20);
    auto* comment = new QLabel(
        QStringLiteral(
            "超越了全球53%的环保卫士,一口气吹灭了生日蛋糕上所有的蜡烛,还顺便把邻居家的也吹灭了"),
        card);
    comment->setGeometry(5, 40, 230, 50);
    comment->setWordWrap(true);
    const QString buttonSheet =
        ImageHelpers::buttonStyleSheet(
            ImageHelpers::resizedImageWithName(QStringLiteral("new_feature_finish_button")),
            ImageHelpers::resizedImageWithName(
                QStringLiteral("new_feature_finish_button_highlighted"))) +
        QStringLiteral("QPushButton { color: white; font-size: 14px; }");
    auto* share = new QPushButton(QStringLiteral("分享"), card);
    share->setGeometry(18, 90, 93, 30);
    share->setStyleSheet(buttonSheet);
    auto* again = new QPushButton(QStringLiteral("再吹一次"), card);
    again->setGeometry(129, 90, 93, 30);
    again->setStyleSheet(buttonSheet);

    auto* start = new QPushButton(QStringLiteral("点我开始测试"), window);
    start->setGeometry(15, 440, W - 30, 40);
    start->setStyleSheet(buttonSheet);

    auto* bar = new TabBar(window);
    bar->setGeometry(0, H - TabBar::kHeight, W, TabBar::kHeight);
    for (const char* item : {"肺活量", "吹雾霾", "热点", "排行"})
        bar->addItem(QString::fromUtf8(item), QPixmap());
    bar->setSelectedIndex(0);
    return window;
}

// Holds the global queue's blocks until the benchmark runs them between
// timed runs: the procedure's own cost, without the album copy's encoding
// running beside it on the other core.
class HeldDispatch : public Dispatch {
public:
    void global(Block block) override { m_held.push_back(std::move(block)); }
    void runHeld() {
        for (auto& block : m_held)
            block();
        m_held.clear();
    }

private:
    std::vector<Block> m_held;
};

double timeMs(const std::function<void()>& step) {
    QElapsedTimer timer;
    timer.start();
    step();
    return timer.nsecsElapsed() / 1e6;
}

SampleStats sample(
    const std::function<void()>& step, const std::function<void()>& between = [] {}) {
    std::vector<double> values;
    for (int i = 0; i < kWarmUp + kRuns; ++i) {
        const double ms = timeMs(step);
        if (i >= kWarmUp)
            values.push_back(ms);
        between();
    }
    return SampleStats(std::move(values));
}

QByteArray encode(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

void print(const char* key, const SampleStats& stats, double baseline) {
    std::printf("%-34s median %8.2f ms  max %8.2f ms  x%5.2f of the capture\n", key, stats.median(),
                stats.max(), stats.median() / baseline);
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
        qputenv("QT_SCALE_FACTOR", "2");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QLoggingCategory::setFilterRules(QStringLiteral("vantoro.photoalbum.info=false"));
    QTemporaryDir album;
    PhotoAlbum::setFolder(album.path());

    QWidget* window = buildWindow();
    KeyWindow::makeKeyAndVisible(window);
    QCoreApplication::processEvents();

    const QSizeF size(W, H);
    const double scale = window->devicePixelRatioF();
    QImage captured;
    QImage cut;
    QByteArray png;

    const SampleStats grab = sample([&] { captured = window->grab().toImage(); });
    const SampleStats crop =
        sample([&] { cut = BlewCommonUtil::shareImageOf(captured, size, scale); });
    const SampleStats encoding = sample([&] { png = encode(cut); });
    int albumCopies = 0;
    const SampleStats full = sample(
        [&] { png = BlewCommonUtil().getScreenShotDataWith(size); },
        [&] {
            ++albumCopies;
            // Wait (untimed) for the album copy, so it does not share the
            // next run's time.
            QElapsedTimer waited;
            waited.start();
            while (QDir(album.path()).entryList({QStringLiteral("*.png")}, QDir::Files).size() <
                       albumCopies &&
                   waited.elapsed() < 5000)
                QThread::msleep(1);
        });

    HeldDispatch held;
    std::optional<Installed<Dispatch>> installed(&held);
    const SampleStats alone = sample([&] { png = BlewCommonUtil().getScreenShotDataWith(size); },
                                     [&] { held.runHeld(); });
    installed.reset();

    const QImage result = QImage::fromData(png, "PNG");
    std::printf("window %dx%d points at scale %.0f; share image %dx%d pixels, PNG %lld bytes; "
                "%d runs each\n",
                W, H, scale, result.width(), result.height(), static_cast<long long>(png.size()),
                kRuns);
    const double baseline = grab.median();
    print("capture (grab + toImage), baseline", grab, baseline);
    print("cut to 2W x 2H (opaque copy)", crop, baseline);
    print("PNG encoding", encoding, baseline);
    print("getScreenShotDataWith, whole", full, baseline);
    print("  the same, album copy held back", alone, baseline);
    std::printf("%-34s %8.2f\n", "encoding / whole", encoding.median() / full.median());
    delete window;
    return 0;
}
