#include "results/blewfogresult.h"

#include <algorithm>

namespace {
// The percents from 97 up have a single comment each, 98 and 99 the same one.
constexpr int kLastWithTwoVariants = 96;
constexpr int kLastOwnRow = 98;
// The weakest result's comments are filed under a row of their own.
constexpr int kWeakestRow = 234;
} // namespace

// Distances of 3500 to 3699 would come out as 89 by the formula, below the 90
// of the shorter blows around them: they count as 90 as well.
int BlewFogResult::percentForDistance(int f) {
    if (f < 3700)
        return kLowestPercent;
    const float g = float(f * 100 - 370000) / 71500.0f / 10.0f;
    if (f - 200 > 6000 && g < 1)
        return kLowestPercent + 1;
    return int(g + 90.0f);
}

bool BlewFogResult::hasTwoVariants(int percent) {
    return percent <= kLastWithTwoVariants;
}

QString BlewFogResult::commentKey(int percent, int variant) {
    if (percent < kLowestPercent || percent > kHighestPercent || (variant != 1 && variant != 2))
        return {};
    if (!hasTwoVariants(percent))
        variant = 1;
    const int row = percent == kLowestPercent ? kWeakestRow : std::min(percent, kLastOwnRow);
    return QStringLiteral("atitude_%1_%2").arg(row).arg(variant);
}
