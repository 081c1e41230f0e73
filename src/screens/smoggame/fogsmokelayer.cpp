#include "screens/smoggame/fogsmokelayer.h"

#include <QWidget>

FogSmokeLayer::FogSmokeLayer(quint32 seed) : EmitterView(seed) {}

FogSmokeLayer* FogSmokeLayer::layer(quint32 seed) {
    return new FogSmokeLayer(seed);
}

ParticleEmitter::Cell FogSmokeLayer::smokeCell() {
    ParticleEmitter::Cell cell;
    cell.name = QStringLiteral("smoke");
    cell.birthRate = kFullBirthRate;
    cell.emissionLongitude = -1.5707964f; // up the screen
    cell.lifetime = kFullLifetime;
    // Negative: the puffs start out moving down, then the emission direction
    // and the spread fan them out between -100 and 20 points a second.
    cell.velocity = -40.0f;
    cell.velocityRange = 60.0f;
    cell.emissionRange = 0.7853982f;
    cell.spin = 1.0f;
    cell.spinRange = 6.0f;
    cell.yAcceleration = 100.0f;
    cell.contents = QStringLiteral("fog_moke");
    cell.scale = 0.1f;
    cell.alphaSpeed = -0.12f;
    cell.scaleSpeed = 0.7f;
    cell.color = {0.7f, 0.7f, 0.7f, 0.5f};
    return cell;
}

FogSmokeLayer* FogSmokeLayer::prepareOn(QWidget* ghost, QWidget* overlayParent, quint32 seed) {
    FogSmokeLayer* smoke = layer(seed);
    ParticleEmitter& emitter = smoke->emitter();
    if (ghost)
        emitter.setEmitterPosition(QPointF(ghost->width() * 0.5, ghost->height() * 0.5));
    emitter.setEmitterMode(ParticleEmitter::Mode::Points);
    emitter.setEmitterCells({smokeCell()});
    smoke->attachTo(ghost, overlayParent);
    return smoke;
}

void FogSmokeLayer::updateWithLifeTime(float lifetime, float birthRate) {
    emitter().setValueForKeyPath(QStringLiteral("emitterCells.smoke.lifetime"), lifetime);
    emitter().setValueForKeyPath(QStringLiteral("emitterCells.smoke.birthRate"), birthRate);
}

void FogSmokeLayer::remove() {
    hide();
    setParent(nullptr);
    deleteLater();
}
