#pragma once

#include <QPointF>
#include <QRandomGenerator>
#include <QString>
#include <vector>

class Random;

// The platform's emitter layer and its cells as a pure model: particles are
// born, moved, turned, scaled and faded by the cells' values as time is
// advanced, and nothing is drawn here (EmitterView paints them).
//
// Geometry is the phone's: points, y growing down the screen, angles in
// radians measured from +x towards +y. A cell's emission direction is
// emissionLongitude plus a uniform offset in [-emissionRange/2,
// +emissionRange/2], so emissionRange is the full width of the cone. A
// particle's initial velocity is velocity * (cos, sin) of that direction, so
// with longitude -pi/2 (up) a negative velocity moves it down. The ranges of
// lifetime, velocity, spin and scale vary their value uniformly by up to the
// range either way.
//
// The emitter is point-shaped with zero size, so in every emitter mode
// particles are born at emitterPosition; moving the emitter affects only
// particles born afterwards.
//
// Randomness comes from the emitter's own generator, seeded at construction,
// so one seed always gives the same particles for the same sequence of
// advance() steps. A Random can be injected instead (tests pin draws with it).
class ParticleEmitter {
public:
    struct Color {
        float red = 1, green = 1, blue = 1, alpha = 1;
        bool operator==(const Color&) const = default;
    };

    struct Cell {
        QString name;
        float birthRate = 0;
        float lifetime = 0;
        float lifetimeRange = 0;
        float emissionLongitude = 0;
        float emissionRange = 0;
        float velocity = 0;
        float velocityRange = 0;
        float xAcceleration = 0;
        float yAcceleration = 0;
        float spin = 0;
        float spinRange = 0;
        float scale = 1;
        float scaleRange = 0;
        float scaleSpeed = 0;
        float alphaSpeed = 0;
        Color color;
        // Names the particle's picture; the model only carries it.
        QString contents;
    };

    struct Particle {
        int cell = 0; // index into cells()
        QPointF position;
        double angle = 0; // radians
        double scale = 0;
        double alpha = 0; // colour alpha + alphaSpeed * age, clamped to [0, 1]
        Color color;      // the cell's colour, alpha included unchanged
        double age = 0;
        double lifetime = 0; // fixed at birth

        // Birth state, copied from the cell so that later changes to the
        // cell reach only new particles. The motion is closed-form in the
        // age, so the result does not depend on how time was split into steps.
        QPointF birthPosition;
        QPointF birthVelocity;
        QPointF acceleration;
        double birthAngle = 0;
        double spin = 0;
        double birthScale = 0;
        double scaleSpeed = 0;
        double alphaSpeed = 0;
    };

    enum class Mode { Points, Outline, Surface, Volume };

    explicit ParticleEmitter(quint32 seed = 0);

    // Not owned; nullptr goes back to the emitter's own seeded generator.
    void setRandom(Random* random) { m_random = random; }

    QPointF emitterPosition() const { return m_position; }
    void setEmitterPosition(const QPointF& position) { m_position = position; }
    Mode emitterMode() const { return m_mode; }
    void setEmitterMode(Mode mode) { m_mode = mode; }

    // Layer-wide factors on every cell's birth rate and lifetime.
    float birthRate() const { return m_birthRate; }
    void setBirthRate(float factor) { m_birthRate = factor; }
    float lifetime() const { return m_lifetime; }
    void setLifetime(float factor) { m_lifetime = factor; }

    const std::vector<Cell>& emitterCells() const { return m_cells; }
    // Replaces the cells; particles of the old cells are dropped.
    void setEmitterCells(std::vector<Cell> cells);
    // The cell of that name, or nullptr.
    const Cell* cellNamed(const QString& name) const;

    // "emitterCells.NAME.PROPERTY" for any numeric cell property (birthRate,
    // lifetime, velocity, ...). Takes effect for particles born from now on;
    // a live particle keeps the lifetime and motion it was born with. False,
    // and nothing changed, for an unknown cell or property.
    bool setValueForKeyPath(const QString& keyPath, float value);
    bool setCellLifetime(const QString& name, float lifetime);
    bool setCellBirthRate(const QString& name, float birthRate);

    // Steps time by dt seconds (ignored unless positive): ages and moves the
    // live particles, drops those past their lifetime and adds those born
    // during the step, each already aged by the part of the step after its
    // birth.
    void advance(double dt);
    double time() const { return m_time; }

    const std::vector<Particle>& particles() const { return m_particles; }

private:
    double uniform(); // in [-1, 1]
    void spawn(int cellIndex, double age);
    static void place(Particle& particle);

    QRandomGenerator m_generator;
    Random* m_random = nullptr;
    QPointF m_position;
    Mode m_mode = Mode::Points;
    float m_birthRate = 1;
    float m_lifetime = 1;
    std::vector<Cell> m_cells;
    std::vector<double> m_pending; // fractional births carried per cell
    std::vector<Particle> m_particles;
    double m_time = 0;
};
