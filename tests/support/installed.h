#pragma once

#include "support/installslot.h"

#include <utility>

// Puts a stand-in in the place of a shared object for as long as it lives and
// then puts back whatever was there before, so that a test function leaves
// nothing behind for the next one, even when an assertion returns early:
//
//   FakeClock clock;
//   Installed<Clock> installed(&clock);
//   Installed<AudioRecorder> recorders([](const QString&, const QVariantMap&) { ... });
//
// Which objects can be replaced, and with what, is told by InstallSlot.
template <typename Shared> class Installed {
public:
    using Slot = InstallSlot<Shared>;
    using Value = typename Slot::Value;

    explicit Installed(Value standIn) : m_previous(Slot::current()) {
        Slot::install(std::move(standIn));
    }
    ~Installed() { Slot::install(std::move(m_previous)); }

    Installed(const Installed&) = delete;
    Installed& operator=(const Installed&) = delete;

private:
    Value m_previous;
};
