#pragma once

#include <QtGlobal>

// The two numbers a blow is shown as: the capacity in millilitres, from the
// blow time, and the share of players beaten, from the capacity.
class QMXBlewUtil {
public:
    // Each blow-time band maps to a band of millilitres; the value inside it
    // is drawn from the shared random source, one draw per call.
    static qint32 getTotalAirByTime(double time);
    static qint32 defeatPercent(qint32 total);
};
