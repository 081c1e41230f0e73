#include "platform/effects/particleemitter.h"

#include "platform/system/random.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

using FloatMember = float ParticleEmitter::Cell::*;

constexpr std::pair<const char*, FloatMember> kCellNumbers[] = {
    {"birthRate", &ParticleEmitter::Cell::birthRate},
    {"lifetime", &ParticleEmitter::Cell::lifetime},
    {"lifetimeRange", &ParticleEmitter::Cell::lifetimeRange},
    {"emissionLongitude", &ParticleEmitter::Cell::emissionLongitude},
    {"emissionRange", &ParticleEmitter::Cell::emissionRange},
    {"velocity", &ParticleEmitter::Cell::velocity},
    {"velocityRange", &ParticleEmitter::Cell::velocityRange},
    {"xAcceleration", &ParticleEmitter::Cell::xAcceleration},
    {"yAcceleration", &ParticleEmitter::Cell::yAcceleration},
    {"spin", &ParticleEmitter::Cell::spin},
    {"spinRange", &ParticleEmitter::Cell::spinRange},
    {"scale", &ParticleEmitter::Cell::scale},
    {"scaleRange", &ParticleEmitter::Cell::scaleRange},
    {"scaleSpeed", &ParticleEmitter::Cell::scaleSpeed},
    {"alphaSpeed", &ParticleEmitter::Cell::alphaSpeed},
};

} // namespace

ParticleEmitter::ParticleEmitter(quint32 seed) : m_generator(seed) {}

void ParticleEmitter::setEmitterCells(std::vector<Cell> cells) {
    m_cells = std::move(cells);
    m_pending.assign(m_cells.size(), 0.0);
    m_particles.clear();
}

const ParticleEmitter::Cell* ParticleEmitter::cellNamed(const QString& name) const {
    for (const Cell& cell : m_cells)
        if (cell.name == name)
            return &cell;
    return nullptr;
}

bool ParticleEmitter::setValueForKeyPath(const QString& keyPath, float value) {
    const QStringList keys = keyPath.split(u'.');
    if (keys.size() != 3 || keys[0] != QLatin1String("emitterCells"))
        return false;
    auto cell = std::find_if(m_cells.begin(), m_cells.end(),
                             [&](const Cell& c) { return c.name == keys[1]; });
    if (cell == m_cells.end())
        return false;
    for (const auto& [key, member] : kCellNumbers) {
        if (keys[2] == QLatin1String(key)) {
            (*cell).*member = value;
            return true;
        }
    }
    return false;
}

bool ParticleEmitter::setCellLifetime(const QString& name, float lifetime) {
    return setValueForKeyPath(QStringLiteral("emitterCells.%1.lifetime").arg(name), lifetime);
}

bool ParticleEmitter::setCellBirthRate(const QString& name, float birthRate) {
    return setValueForKeyPath(QStringLiteral("emitterCells.%1.birthRate").arg(name), birthRate);
}

double ParticleEmitter::uniform() {
    const std::uint32_t draw = m_random ? m_random->next() : m_generator.generate();
    return double(draw) / double(std::numeric_limits<std::uint32_t>::max()) * 2.0 - 1.0;
}

void ParticleEmitter::advance(double dt) {
    if (!(dt > 0))
        return;
    m_time += dt;

    for (Particle& particle : m_particles) {
        particle.age += dt;
        place(particle);
    }
    std::erase_if(m_particles, [](const Particle& p) { return p.age >= p.lifetime; });

    for (std::size_t i = 0; i < m_cells.size(); ++i) {
        const double rate = double(m_cells[i].birthRate) * double(m_birthRate);
        if (!(rate > 0))
            continue;
        // Birth k of this step happens when the carried fraction plus
        // rate * t reaches k, i.e. at t = (k - carried) / rate.
        const double carried = m_pending[i];
        const double total = carried + rate * dt;
        const auto births = static_cast<long long>(std::floor(total));
        for (long long k = 1; k <= births; ++k)
            spawn(int(i), dt - (double(k) - carried) / rate);
        m_pending[i] = total - double(births);
    }
}

void ParticleEmitter::spawn(int cellIndex, double age) {
    const Cell& cell = m_cells[std::size_t(cellIndex)];
    Particle particle;
    particle.cell = cellIndex;
    // Always five draws in the same order, so that a seed fixes the whole run.
    particle.lifetime =
        (double(cell.lifetime) + double(cell.lifetimeRange) * uniform()) * double(m_lifetime);
    const double direction =
        double(cell.emissionLongitude) + double(cell.emissionRange) * 0.5 * uniform();
    const double speed = double(cell.velocity) + double(cell.velocityRange) * uniform();
    particle.spin = double(cell.spin) + double(cell.spinRange) * uniform();
    particle.birthScale = double(cell.scale) + double(cell.scaleRange) * uniform();

    if (!(particle.lifetime > age))
        return; // born and gone within the same step

    particle.birthPosition = m_position;
    particle.birthVelocity = QPointF(speed * std::cos(direction), speed * std::sin(direction));
    particle.acceleration = QPointF(cell.xAcceleration, cell.yAcceleration);
    particle.scaleSpeed = cell.scaleSpeed;
    particle.alphaSpeed = cell.alphaSpeed;
    particle.color = cell.color;
    particle.age = std::max(0.0, age);
    place(particle);
    m_particles.push_back(particle);
}

void ParticleEmitter::place(Particle& p) {
    const double t = p.age;
    p.position = p.birthPosition + p.birthVelocity * t + p.acceleration * (0.5 * t * t);
    p.angle = p.birthAngle + p.spin * t;
    // A size factor that would turn negative stops at nothing rather than
    // flipping the picture.
    p.scale = std::max(0.0, p.birthScale + p.scaleSpeed * t);
    p.alpha = std::clamp(double(p.color.alpha) + p.alphaSpeed * t, 0.0, 1.0);
}
