#pragma once

// Wall time in seconds since the platform reference date (2001-01-01 UTC),
// and the sleep the detector's loops take between polls. Tests install a
// virtual clock so that a 10 s timeout costs no real time.
class Clock {
public:
    virtual ~Clock() = default;

    virtual double now() const;
    virtual void sleep(double seconds);

    static Clock& shared();
    // Not owned; pass nullptr to go back to the real clock.
    static void setShared(Clock* clock);

    static constexpr double kReferenceDateUnixSeconds = 978307200.0;
};
