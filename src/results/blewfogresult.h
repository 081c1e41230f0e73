#pragma once

#include <QString>

// The smog game's result: the share of players beaten from the distance the
// smog was blown, and the strings-table key of the comment for it. The game
// shows the comment and the content server's landing page shows it again
// from the percent and variant in the shared link, so both go through here.
class BlewFogResult {
public:
    // Every result beats at least 90 % and at most 99 %.
    static constexpr int kLowestPercent = 90;
    static constexpr int kHighestPercent = 99;

    // Percent for a final distance in metres (0 at the bottom of the
    // picture, ResultScales::kSmogTopDistance at its top).
    static int percentForDistance(int finalDistance);
    // Whether the comment for a percent comes in two variants, 1 and 2, or
    // in variant 1 alone.
    static bool hasTwoVariants(int percent);
    // The key for a percent of 90..99 and a variant of 1 or 2; empty for
    // anything else. A percent with one comment takes it whatever the variant.
    static QString commentKey(int percent, int variant);
};
