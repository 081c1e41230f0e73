#include "blow/qmxblewutil.h"

#include "platform/system/random.h"
#include "results/resultscales.h"

#include <array>

namespace {

struct Band {
    double upper; // the band holds (previous upper, upper]
    qint32 base;
    quint32 count;
};

// The first band is closed below as well: it starts at exactly 0 s.
constexpr std::array<Band, 42> kBands{{
    {3, 100, 401},    {3.5, 500, 501},  {4, 1000, 301},   {4.5, 1300, 301}, {5, 1600, 301},
    {5.5, 1900, 301}, {6, 2200, 301},   {6.5, 2500, 101}, {7, 2600, 101},   {7.3, 2700, 101},
    {7.6, 2800, 101}, {8, 2900, 51},    {8.3, 2950, 51},  {8.6, 3000, 151}, {9, 3150, 51},
    {9.3, 3200, 51},  {9.6, 3251, 51},  {10, 3300, 51},   {10.3, 3350, 51}, {10.6, 3400, 51},
    {11, 3450, 51},   {11.3, 3500, 51}, {11.6, 3550, 51}, {12, 3600, 101},  {13, 3700, 101},
    {14, 3800, 101},  {15, 3900, 101},  {16, 4000, 101},  {17, 4100, 101},  {18, 4200, 101},
    {19, 4300, 101},  {20, 4400, 101},  {22, 4500, 101},  {23, 4600, 101},  {24, 4700, 101},
    {25, 4800, 101},  {26, 4900, 101},  {27, 5000, 101},  {28, 5100, 101},  {29, 5200, 101},
    {30, 5300, 101},  {31, 5400, 101},
}};

// Above 31 s, below 0 s and not a number.
constexpr Band kOutside{0, 5500, 501};

const Band& bandFor(double time) {
    double lower = 0;
    for (const Band& band : kBands) {
        const bool inside = &band == &kBands.front() ? time >= 0 && time <= band.upper
                                                     : time > lower && time <= band.upper;
        if (inside)
            return band;
        lower = band.upper;
    }
    return kOutside;
}

} // namespace

qint32 QMXBlewUtil::getTotalAirByTime(double time) {
    const Band& band = bandFor(time);
    const quint32 r = Random::shared().next();
    return band.base + qint32(r % band.count);
}

qint32 QMXBlewUtil::defeatPercent(qint32 total) {
    // Rounded through single precision before truncation, which for every
    // capacity from 0 to the scale's 6000 equals total / 60.
    const float percent = float(double(total) / double(ResultScales::kCapacityScale) * 100.0);
    return qint32(percent);
}
