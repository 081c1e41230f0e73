#pragma once

#include "platform/effects/emitterview.h"

class QWidget;

// The smog ghost's smoke: an emitter with one cell, "smoke", whose grey puffs
// rise from the ghost's centre, fall back under their own weight, turn, grow
// and fade out within about 4 s. The screen builds one on each appearance
// with prepareOn(), thins it while the view climbs with updateWithLifeTime()
// and takes it away with remove().
class FogSmokeLayer : public EmitterView {
    Q_OBJECT
public:
    static constexpr float kFullLifetime = 10.0f;
    static constexpr float kFullBirthRate = 6.0f;

    // A bare emitter: no cells, at the origin, not attached anywhere.
    static FogSmokeLayer* layer(quint32 seed = 0);
    // The smoke cell with its fixed values.
    static ParticleEmitter::Cell smokeCell();

    // Builds a new emitter at full strength, centred on ghost (its frame's
    // centre; the origin when ghost is null) and laid over overlayParent
    // directly above the ghost, so that whatever lies above the ghost also
    // lies above the smoke while the puffs leave the ghost's frame freely.
    // overlayParent is an ancestor of the ghost that the smoke may cover
    // (the screen's root view). Owned by overlayParent.
    static FogSmokeLayer* prepareOn(QWidget* ghost, QWidget* overlayParent, quint32 seed);

    // Sets the smoke cell's lifetime and birth rate; live puffs keep theirs.
    void updateWithLifeTime(float lifetime, float birthRate);

    // Takes the emitter off the screen at once and deletes it later; the
    // pointer must not be used afterwards.
    void remove();

private:
    explicit FogSmokeLayer(quint32 seed);
};
