#include "platform/uikit/imageview.h"
#include "screens/smoggame/fogsmokelayer.h"

#include <QImage>
#include <QPointer>
#include <QTest>
#include <cmath>
#include <memory>
#include <numbers>

// The smog ghost's smoke on a stand-in of the game screen: a 320 x 568 root
// view with the 110 x 110 ghost centred at (160, 214) and a full-screen fog
// backdrop made after it, as the screen lays them out.
class TestFogSmokeLayer : public QObject {
    Q_OBJECT

    struct Screen {
        std::unique_ptr<QWidget> root = std::make_unique<QWidget>();
        ImageView* ghost = nullptr;
        ImageView* fogBg = nullptr;
        QWidget* later = nullptr; // an element made after the backdrop

        Screen() {
            root->resize(320, 568);
            root->setAutoFillBackground(true);
            QPalette palette = root->palette();
            palette.setColor(QPalette::Window, QColor(20, 40, 160));
            root->setPalette(palette);
            ghost = new ImageView(root.get());
            ghost->resize(110, 110);
            ghost->move(160 - 55, 214 - 55);
            ghost->setBackgroundColor(Qt::black);
            fogBg = new ImageView(root.get());
            fogBg->setGeometry(root->rect());
            fogBg->setBackgroundColor(QColor(200, 0, 0));
            fogBg->hide();
            later = new QWidget(root.get());
            later->setGeometry(10, 10, 5, 5);
        }

        QList<EmitterView*> emitters() const { return root->findChildren<EmitterView*>(); }
    };

    // Pixels of the image, outside the ghost's frame, that the smoke covers.
    static int smokeOutsideGhost(const QImage& image, const QRect& ghost, bool onBackground) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (ghost.contains(x, y))
                    continue;
                const QColor c = image.pixelColor(x, y);
                if (onBackground ? c != QColor(20, 40, 160) : c.alpha() > 0)
                    ++count;
            }
        }
        return count;
    }

    static QImage renderAlone(EmitterView* view) {
        QImage image(view->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        view->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    }

private slots:
    void smokeCellAsTabled() {
        const ParticleEmitter::Cell cell = FogSmokeLayer::smokeCell();
        QCOMPARE(cell.name, QStringLiteral("smoke"));
        QCOMPARE(cell.birthRate, 6.0f);
        QCOMPARE(cell.emissionLongitude, float(-std::numbers::pi / 2));
        QCOMPARE(cell.emissionLongitude, -1.5707964f);
        QCOMPARE(cell.lifetime, 10.0f);
        QCOMPARE(cell.lifetimeRange, 0.0f);
        QCOMPARE(cell.velocity, -40.0f);
        QCOMPARE(cell.velocityRange, 60.0f);
        QCOMPARE(cell.emissionRange, float(std::numbers::pi / 4));
        QCOMPARE(cell.emissionRange, 0.7853982f);
        QCOMPARE(cell.spin, 1.0f);
        QCOMPARE(cell.spinRange, 6.0f);
        QCOMPARE(cell.xAcceleration, 0.0f);
        QCOMPARE(cell.yAcceleration, 100.0f);
        QCOMPARE(cell.contents, QStringLiteral("fog_moke"));
        QCOMPARE(cell.scale, 0.1f);
        QCOMPARE(cell.scaleRange, 0.0f);
        QCOMPARE(cell.alphaSpeed, -0.12f);
        QCOMPARE(cell.scaleSpeed, 0.7f);
        QCOMPARE(cell.color, (ParticleEmitter::Color{0.7f, 0.7f, 0.7f, 0.5f}));
    }

    void preparedOnTheGhost() {
        Screen screen;
        FogSmokeLayer* smoke = FogSmokeLayer::prepareOn(screen.ghost, screen.root.get(), 1);
        QVERIFY(smoke);
        const ParticleEmitter& emitter = smoke->emitter();
        QCOMPARE(emitter.emitterPosition(), QPointF(55, 55));
        QCOMPARE(emitter.emitterMode(), ParticleEmitter::Mode::Points);
        QCOMPARE(emitter.birthRate(), 1.0f);
        QCOMPARE(emitter.lifetime(), 1.0f);
        QCOMPARE(emitter.emitterCells().size(), std::size_t(1));
        QCOMPARE(emitter.emitterCells()[0].name, QStringLiteral("smoke"));

        // Covers the whole root view, its origin mapped to the ghost's corner.
        QCOMPARE(smoke->parentWidget(), screen.root.get());
        QCOMPARE(smoke->geometry(), screen.root->rect());
        QCOMPARE(smoke->hostOrigin(), QPointF(105, 159));
        // Directly above the ghost, below what was laid above the ghost.
        const QObjectList& order = screen.root->children();
        QCOMPARE(order.indexOf(smoke), order.indexOf(screen.ghost) + 1);
        QVERIFY(order.indexOf(smoke) < order.indexOf(screen.fogBg));
        QVERIFY(order.indexOf(smoke) < order.indexOf(screen.later));
        // Touches pass through to what lies under the smoke.
        QCOMPARE(screen.root->childAt(160, 214), screen.ghost);

        // Follows the root view's size and the ghost's moves.
        screen.root->resize(375, 667);
        screen.root->show();
        QCOMPARE(smoke->geometry(), QRect(0, 0, 375, 667));
        screen.root->resize(320, 568);
        QCOMPARE(smoke->geometry(), QRect(0, 0, 320, 568));
        screen.root->hide();
        screen.ghost->move(10, 20);
        QCOMPARE(smoke->hostOrigin(), QPointF(10, 20));

        // No ghost: the emitter sits at the origin and shows nothing.
        FogSmokeLayer* orphan = FogSmokeLayer::prepareOn(nullptr, screen.root.get(), 1);
        QCOMPARE(orphan->emitter().emitterPosition(), QPointF(0, 0));
        orphan->emitter().advance(2.0);
        QVERIFY(!orphan->emitter().particles().empty());
        QCOMPARE(smokeOutsideGhost(renderAlone(orphan), QRect(), false), 0);
    }

    void paintsGreySmokeAroundTheGhost() {
        Screen screen;
        FogSmokeLayer* smoke = FogSmokeLayer::prepareOn(screen.ghost, screen.root.get(), 4);
        smoke->emitter().advance(3.0);
        QVERIFY(smoke->emitter().particles().size() >= 17);
        const QRect ghost = screen.ghost->geometry();

        // Alone: every pixel the smoke leaves is grey, and much of it lies
        // outside the ghost's frame, mostly below the emitter.
        const QImage alone = renderAlone(smoke);
        int grey = 0, coloured = 0, above = 0, below = 0;
        for (int y = 0; y < alone.height(); ++y) {
            for (int x = 0; x < alone.width(); ++x) {
                const QColor c = alone.pixelColor(x, y);
                // Faint edges are left out: unpremultiplying a low alpha
                // magnifies rounding in the colour channels.
                if (c.alpha() < 40 || ghost.contains(x, y))
                    continue;
                const bool isGrey = std::abs(c.red() - c.green()) <= 6 &&
                                    std::abs(c.green() - c.blue()) <= 6 && c.red() <= 190;
                (isGrey ? grey : coloured) += 1;
                (y < 214 ? above : below) += 1;
            }
        }
        QVERIFY2(grey > 2000, QByteArray::number(grey));
        QCOMPARE(coloured, 0);
        QVERIFY(below > above);
        QVERIFY(smoke->particlesRect().intersects(QRectF(ghost)));
        QVERIFY(!QRectF(ghost).contains(smoke->particlesRect()));

        // On the screen: the smoke changes pixels outside the ghost.
        const QImage clear = screen.root->grab().toImage();
        QVERIFY(smokeOutsideGhost(clear, ghost, true) > 2000);
        // An opaque backdrop made after the ghost lies above the smoke.
        screen.fogBg->show();
        const QImage covered = screen.root->grab().toImage();
        int notBackdrop = 0;
        for (int y = 0; y < covered.height(); ++y)
            for (int x = 0; x < covered.width(); ++x)
                notBackdrop += covered.pixelColor(x, y) != QColor(200, 0, 0);
        QCOMPARE(notBackdrop, 0);
        screen.fogBg->hide();

        // A hidden ghost hides its smoke.
        screen.ghost->hide();
        QCOMPARE(smokeOutsideGhost(screen.root->grab().toImage(), ghost, true), 0);
    }

    void thinsOnUpdate() {
        Screen screen;
        FogSmokeLayer* smoke = FogSmokeLayer::prepareOn(screen.ghost, screen.root.get(), 6);
        smoke->updateWithLifeTime(5.0f, 3.0f);
        const ParticleEmitter::Cell* cell = smoke->emitter().cellNamed(QStringLiteral("smoke"));
        QCOMPARE(cell->lifetime, 5.0f);
        QCOMPARE(cell->birthRate, 3.0f);
        for (int frame = 0; frame < 20 * 60; ++frame)
            smoke->emitter().advance(1.0 / 60);
        QVERIFY(smoke->emitter().particles().size() >= 14 &&
                smoke->emitter().particles().size() <= 16);
        // Only these two values change.
        QCOMPARE(cell->velocity, -40.0f);
        QCOMPARE(cell->color, (ParticleEmitter::Color{0.7f, 0.7f, 0.7f, 0.5f}));

        smoke->updateWithLifeTime(0.0f, 0.0f);
        for (int frame = 0; frame < 6 * 60; ++frame)
            smoke->emitter().advance(1.0 / 60);
        QVERIFY(smoke->emitter().particles().empty());
        QCOMPARE(smokeOutsideGhost(renderAlone(smoke), QRect(), false), 0);

        smoke->updateWithLifeTime(10.0f, 6.0f);
        smoke->emitter().advance(1.0);
        QCOMPARE(smoke->emitter().particles().size(), std::size_t(6));
    }

    void removeAndPrepareAgain() {
        Screen screen;
        QPointer<FogSmokeLayer> first =
            FogSmokeLayer::prepareOn(screen.ghost, screen.root.get(), 1);
        first->remove();
        QVERIFY(screen.emitters().isEmpty());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(first.isNull());

        // Shown twice in a row: remove, then prepare, each time.
        FogSmokeLayer* smoke = FogSmokeLayer::prepareOn(screen.ghost, screen.root.get(), 2);
        smoke->remove();
        smoke = FogSmokeLayer::prepareOn(screen.ghost, screen.root.get(), 3);
        QCOMPARE(screen.emitters().size(), 1);
        QCOMPARE(screen.emitters().first(), smoke);
        const QObjectList& order = screen.root->children();
        QCOMPARE(order.indexOf(smoke), order.indexOf(screen.ghost) + 1);
    }

    void runsOnTheDisplayTimerWhileShown() {
        Screen screen;
        FogSmokeLayer* smoke = FogSmokeLayer::prepareOn(screen.ghost, screen.root.get(), 5);
        screen.root->show();
        QVERIFY(QTest::qWaitForWindowExposed(screen.root.get()));
        // Real time: a few hundred milliseconds at 6 a second.
        QTRY_VERIFY_WITH_TIMEOUT(smoke->emitter().particles().size() >= 2, 2000);
        QVERIFY(smoke->emitter().time() > 0.2);

        screen.root->hide();
        const double stopped = smoke->emitter().time();
        QTest::qWait(300);
        QCOMPARE(smoke->emitter().time(), stopped);

        // Back on screen: it carries on without replaying the hidden time.
        screen.root->show();
        QTRY_VERIFY_WITH_TIMEOUT(smoke->emitter().time() > stopped, 1000);
        QVERIFY(smoke->emitter().time() < stopped + 0.25);
    }
};

QTEST_MAIN(TestFogSmokeLayer)
#include "tst_fogsmokelayer.moc"
