#include "platform/effects/particleemitter.h"
#include "screens/smoggame/fogsmokelayer.h"
#include "support/fixedrandom.h"

#include <QTest>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

// The emitter model on its own: no display, time stepped by hand. The cell
// used throughout has the smog ghost's smoke values, so that the figures the
// game relies on (about 60 puffs, gone after about 4.17 s, ...) are checked
// on the model that produces them.
class TestParticleEmitter : public QObject {
    Q_OBJECT

    static constexpr double kFrame = 1.0 / 60.0;
    static constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();

    // The smog game's own cell, not a copy of its values.
    static ParticleEmitter::Cell smoke() { return FogSmokeLayer::smokeCell(); }

    static void run(ParticleEmitter& emitter, double seconds, double step = kFrame) {
        for (double t = 0; t < seconds - 1e-9; t += step)
            emitter.advance(step);
    }

    static std::size_t visible(const ParticleEmitter& emitter) {
        return std::size_t(std::count_if(emitter.particles().begin(), emitter.particles().end(),
                                         [](const auto& p) { return p.alpha > 0; }));
    }

private slots:
    void steadyStateAtFullStrength() {
        ParticleEmitter emitter(7);
        emitter.setEmitterPosition(QPointF(55, 55));
        emitter.setEmitterCells({smoke()});
        run(emitter, 30);
        // 6 a second for 10 s each.
        QVERIFY2(emitter.particles().size() >= 59 && emitter.particles().size() <= 61,
                 QByteArray::number(qulonglong(emitter.particles().size())));
        // Only those younger than 0.5 / 0.12 s can still be seen: about 25.
        QVERIFY(visible(emitter) >= 24 && visible(emitter) <= 26);
        for (const auto& p : emitter.particles()) {
            QVERIFY(p.age < 10.0);
            QCOMPARE(p.lifetime, 10.0);
        }
    }

    void fadesAndGrowsWithAge() {
        ParticleEmitter emitter(1);
        emitter.setEmitterCells({smoke()});
        run(emitter, 12);
        for (const auto& p : emitter.particles()) {
            QVERIFY(std::abs(p.alpha - std::max(0.0, 0.5 - 0.12 * p.age)) < 1e-6);
            QVERIFY(std::abs(p.scale - (0.1 + 0.7 * p.age)) < 1e-6);
            QCOMPARE(p.color, (ParticleEmitter::Color{0.7f, 0.7f, 0.7f, 0.5f}));
        }

        // Follow one puff through its fade.
        ParticleEmitter one(1);
        auto cell = smoke();
        cell.birthRate = 1.0f;
        one.setEmitterCells({cell});
        one.advance(1.0); // born exactly at the end of this step
        QCOMPARE(one.particles().size(), std::size_t(1));
        one.advance(4.15);
        QVERIFY(one.particles()[0].alpha > 0 && one.particles()[0].alpha < 0.003);
        one.advance(0.02);
        const auto& p =
            *std::max_element(one.particles().begin(), one.particles().end(),
                              [](const auto& a, const auto& b) { return a.age < b.age; });
        QCOMPARE(p.alpha, 0.0);
        QVERIFY(std::abs(p.scale - 3.0) < 0.03);
    }

    void thinsAndRecovers() {
        ParticleEmitter emitter(3);
        emitter.setEmitterCells({smoke()});
        run(emitter, 20);

        // Halfway up the picture: lifetime 5, 3 a second. Puffs alive at the
        // change keep the 10 s they were born with.
        QVERIFY(emitter.setValueForKeyPath(QStringLiteral("emitterCells.smoke.lifetime"), 5.0f));
        QVERIFY(emitter.setValueForKeyPath(QStringLiteral("emitterCells.smoke.birthRate"), 3.0f));
        QCOMPARE(emitter.cellNamed(QStringLiteral("smoke"))->lifetime, 5.0f);
        run(emitter, 1.0);
        QVERIFY(std::any_of(emitter.particles().begin(), emitter.particles().end(),
                            [](const auto& p) { return p.age > 5.0 && p.lifetime == 10.0; }));
        run(emitter, 19.0);
        QVERIFY2(emitter.particles().size() >= 14 && emitter.particles().size() <= 16,
                 QByteArray::number(qulonglong(emitter.particles().size())));
        for (const auto& p : emitter.particles())
            QCOMPARE(p.lifetime, 5.0);

        // The top of the picture: nothing new, and the puffs drain away.
        QVERIFY(emitter.setCellLifetime(QStringLiteral("smoke"), 0.0f));
        QVERIFY(emitter.setCellBirthRate(QStringLiteral("smoke"), 0.0f));
        std::size_t last = emitter.particles().size();
        for (int frame = 0; frame < 6 * 60; ++frame) {
            emitter.advance(kFrame);
            QVERIFY(emitter.particles().size() <= last);
            last = emitter.particles().size();
        }
        QCOMPARE(emitter.particles().size(), std::size_t(0));

        // A new game: back to full strength at once.
        emitter.setCellLifetime(QStringLiteral("smoke"), 10.0f);
        emitter.setCellBirthRate(QStringLiteral("smoke"), 6.0f);
        run(emitter, 2.0);
        QVERIFY(emitter.particles().size() >= 11 && emitter.particles().size() <= 13);
        run(emitter, 10.0);
        QVERIFY(emitter.particles().size() >= 59 && emitter.particles().size() <= 61);
    }

    void lifetimeZeroBirthsNothing() {
        // Birth rate left on, lifetime 0: a puff would die as it is born.
        ParticleEmitter emitter(5);
        auto cell = smoke();
        cell.lifetime = 0.0f;
        emitter.setEmitterCells({cell});
        run(emitter, 3);
        QVERIFY(emitter.particles().empty());
    }

    void fractionalBirths() {
        ParticleEmitter emitter(9);
        auto cell = smoke();
        cell.birthRate = 0.5f;
        emitter.setEmitterCells({cell});
        run(emitter, 1.5, 0.25);
        QVERIFY(emitter.particles().empty());
        run(emitter, 0.5, 0.25); // t = 2: the first birth
        QCOMPARE(emitter.particles().size(), std::size_t(1));
        run(emitter, 1.75, 0.25);
        QCOMPARE(emitter.particles().size(), std::size_t(1));
        run(emitter, 0.25, 0.25); // t = 4
        QCOMPARE(emitter.particles().size(), std::size_t(2));
        QCOMPARE(emitter.particles()[0].age, 2.0);
    }

    void layerFactors() {
        ParticleEmitter emitter(2);
        emitter.setEmitterCells({smoke()});
        emitter.setBirthRate(2.0f);
        emitter.setLifetime(0.5f);
        run(emitter, 20);
        // 12 a second for 5 s.
        QVERIFY(emitter.particles().size() >= 59 && emitter.particles().size() <= 61);
        for (const auto& p : emitter.particles())
            QCOMPARE(p.lifetime, 5.0);
    }

    void velocityWithinRange() {
        ParticleEmitter emitter(11);
        emitter.setEmitterCells({smoke()});
        const double halfCone = 0.7853982 / 2;
        double lowest = 1e9, highest = -1e9;
        int upward = 0, downward = 0;
        for (int frame = 0; frame < 60 * 60; ++frame) {
            const std::size_t before = emitter.particles().size();
            emitter.advance(kFrame);
            for (std::size_t i = before; i < emitter.particles().size(); ++i) {
                const auto& p = emitter.particles()[i];
                const QPointF v = p.birthVelocity;
                const double speed = std::hypot(v.x(), v.y());
                // Signed speed along the cone's axis (up the screen).
                const double signedSpeed = v.y() < 0 ? speed : -speed;
                // The angle off the vertical line, either way along it.
                const double off = std::atan2(std::abs(v.x()), std::abs(v.y()));
                QVERIFY(signedSpeed >= -100.0001 && signedSpeed <= 20.0001);
                QVERIFY(off <= halfCone + 1e-6);
                lowest = std::min(lowest, signedSpeed);
                highest = std::max(highest, signedSpeed);
                (v.y() < 0 ? upward : downward) += 1;
            }
        }
        // The whole range is used, and most puffs start downward (the range
        // is mostly below zero).
        QVERIFY(lowest < -95 && highest > 15);
        QVERIFY(downward > 3 * upward && upward > 0);

        // The ends of the draws: speed -100 and 20, cone edges at -pi/2 -+ pi/8.
        FixedRandom low(0), high(kMax);
        ParticleEmitter pinned(0);
        pinned.setEmitterCells({smoke()});
        pinned.setRandom(&low);
        pinned.advance(1.0 / 6.0 + 1e-12);
        pinned.setRandom(&high);
        pinned.advance(1.0 / 6.0);
        QCOMPARE(pinned.particles().size(), std::size_t(2));
        const double up = -std::numbers::pi / 2;
        const QPointF slow = pinned.particles()[0].birthVelocity;
        const QPointF fast = pinned.particles()[1].birthVelocity;
        QVERIFY(std::abs(slow.x() - -100 * std::cos(up - halfCone)) < 1e-3);
        QVERIFY(std::abs(slow.y() - -100 * std::sin(up - halfCone)) < 1e-3);
        QVERIFY(std::abs(fast.x() - 20 * std::cos(up + halfCone)) < 1e-3);
        QVERIFY(std::abs(fast.y() - 20 * std::sin(up + halfCone)) < 1e-3);
        QVERIFY(slow.y() > 0 && fast.y() < 0); // down and up the screen
        // Spin is 1 -+ 6 at the ends too.
        QVERIFY(std::abs(pinned.particles()[0].spin - -5.0) < 1e-6);
        QVERIFY(std::abs(pinned.particles()[1].spin - 7.0) < 1e-6);
    }

    void gravityBendsPathsDown() {
        // The fastest upward puff still turns and falls back below the emitter.
        FixedRandom high(kMax);
        ParticleEmitter emitter(0);
        emitter.setEmitterPosition(QPointF(55, 55));
        auto cell = smoke();
        cell.birthRate = 1.0f;
        emitter.setEmitterCells({cell});
        emitter.setRandom(&high);
        emitter.advance(1.0);
        emitter.setRandom(nullptr);
        QCOMPARE(emitter.particles()[0].position, QPointF(55, 55));
        emitter.advance(0.1);
        const auto early = emitter.particles()[0];
        QVERIFY(early.position.y() < 55);
        emitter.advance(0.9);
        const auto later = emitter.particles()[0];
        QVERIFY(later.position.y() > 55);
        // x keeps its speed; y gains 100 pt/s^2: displacement 0.5 * 100 * t^2
        // on top of the straight line.
        const double t = later.age;
        QVERIFY(std::abs(later.position.x() - (55 + later.birthVelocity.x() * t)) < 1e-9);
        QVERIFY(std::abs(later.position.y() - (55 + later.birthVelocity.y() * t + 50 * t * t)) <
                1e-9);
        // The angle turns by the particle's spin.
        QVERIFY(std::abs(later.angle - later.spin * t) < 1e-9);

        // An x acceleration bends sideways the same way.
        ParticleEmitter side(0);
        cell.xAcceleration = -30.0f;
        cell.yAcceleration = 0.0f;
        side.setEmitterCells({cell});
        side.setRandom(&high);
        side.advance(3.0);
        for (const auto& p : side.particles())
            QVERIFY(std::abs(p.position.x() - (p.birthVelocity.x() * p.age - 15 * p.age * p.age)) <
                    1e-9);
    }

    void sameSeedSameRun() {
        ParticleEmitter a(42), b(42), c(43);
        for (ParticleEmitter* e : {&a, &b, &c}) {
            e->setEmitterPosition(QPointF(55, 55));
            e->setEmitterCells({smoke()});
        }
        for (int frame = 0; frame < 600; ++frame) {
            for (ParticleEmitter* e : {&a, &b, &c})
                e->advance(kFrame);
            if (frame == 300)
                for (ParticleEmitter* e : {&a, &b, &c})
                    e->setCellBirthRate(QStringLiteral("smoke"), 3.0f);
        }
        QCOMPARE(a.particles().size(), b.particles().size());
        bool differs = false;
        for (std::size_t i = 0; i < a.particles().size(); ++i) {
            QCOMPARE(a.particles()[i].position, b.particles()[i].position);
            QCOMPARE(a.particles()[i].angle, b.particles()[i].angle);
            QCOMPARE(a.particles()[i].scale, b.particles()[i].scale);
            QCOMPARE(a.particles()[i].alpha, b.particles()[i].alpha);
            if (i < c.particles().size() && c.particles()[i].position != a.particles()[i].position)
                differs = true;
        }
        QVERIFY(differs);
    }

    void stepSizeDoesNotMatter() {
        // Births land at their own instants and motion is closed-form, so
        // one long step and many short ones give the same puffs.
        ParticleEmitter coarse(5), fine(5);
        for (ParticleEmitter* e : {&coarse, &fine})
            e->setEmitterCells({smoke()});
        coarse.advance(6.0);
        run(fine, 6.0, 0.25);
        QCOMPARE(coarse.particles().size(), fine.particles().size());
        QCOMPARE(coarse.particles().size(), std::size_t(36));
        for (std::size_t i = 0; i < coarse.particles().size(); ++i) {
            const auto& p = coarse.particles()[i];
            const auto& q = fine.particles()[i];
            QVERIFY(std::abs(p.age - q.age) < 1e-9);
            QVERIFY(std::hypot(p.position.x() - q.position.x(), p.position.y() - q.position.y()) <
                    1e-6);
        }
    }

    void rangesAndKeyPaths() {
        ParticleEmitter emitter(8);
        auto cell = smoke();
        cell.lifetimeRange = 2.0f;
        cell.scaleRange = 0.05f;
        emitter.setEmitterCells({cell});
        run(emitter, 5);
        double minLife = 1e9, maxLife = 0, minScale = 1e9, maxScale = 0;
        for (const auto& p : emitter.particles()) {
            minLife = std::min(minLife, p.lifetime);
            maxLife = std::max(maxLife, p.lifetime);
            minScale = std::min(minScale, p.birthScale);
            maxScale = std::max(maxScale, p.birthScale);
        }
        QVERIFY(minLife >= 8.0 - 1e-6 && maxLife <= 12.0 + 1e-6 && maxLife - minLife > 1.0);
        QVERIFY(minScale >= 0.05 - 1e-6 && maxScale <= 0.15 + 1e-6 && maxScale > minScale);

        // Unknown cells and properties change nothing.
        QVERIFY(!emitter.setValueForKeyPath(QStringLiteral("emitterCells.fog.lifetime"), 1.0f));
        QVERIFY(!emitter.setValueForKeyPath(QStringLiteral("emitterCells.smoke.colour"), 1.0f));
        QVERIFY(!emitter.setValueForKeyPath(QStringLiteral("smoke.lifetime"), 1.0f));
        QVERIFY(!emitter.setCellBirthRate(QStringLiteral("fog"), 1.0f));
        QCOMPARE(emitter.cellNamed(QStringLiteral("smoke"))->lifetime, 10.0f);
        QCOMPARE(emitter.cellNamed(QStringLiteral("smoke"))->birthRate, 6.0f);
        QCOMPARE(emitter.cellNamed(QStringLiteral("fog")), nullptr);
        QVERIFY(emitter.setValueForKeyPath(QStringLiteral("emitterCells.smoke.velocity"), 5.0f));
        QCOMPARE(emitter.cellNamed(QStringLiteral("smoke"))->velocity, 5.0f);

        // Non-positive steps do nothing.
        const auto before = emitter.particles().size();
        const double time = emitter.time();
        emitter.advance(0);
        emitter.advance(-1);
        emitter.advance(std::numeric_limits<double>::quiet_NaN());
        QCOMPARE(emitter.particles().size(), before);
        QCOMPARE(emitter.time(), time);
    }
};

QTEST_APPLESS_MAIN(TestParticleEmitter)
#include "tst_particleemitter.moc"
