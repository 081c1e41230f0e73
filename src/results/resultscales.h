#pragma once

#include <QtGlobal>

// The full scales that results are measured against. The formulas, the
// screens and the content server all read them from here, so that a result
// means the same wherever it is shown.
struct ResultScales {
    // The largest capacity the formulas give, in millilitres: it beats every
    // player and fills the lung test's energy bar.
    static constexpr qint32 kCapacityScale = 6000;
    // The smog game's picture from bottom to top, in metres of smog blown
    // away before the display transform.
    static constexpr float kSmogTopDistance = 75000.0f;
};
