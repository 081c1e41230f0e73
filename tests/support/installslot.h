#pragma once

#include "platform/audio/audioplayer.h"
#include "platform/audio/audiorecorder.h"
#include "platform/system/clock.h"
#include "platform/system/dispatch.h"
#include "platform/system/maintimer.h"
#include "platform/system/random.h"

// How Installed<Shared> reads and replaces one shared object: a Value type,
// current() and install(Value). Specialised for every object a test may
// replace; the ones outside the platform's system and audio rooms are in
// headers of their own (installednetworkflags.h, installedtransports.h), so
// that a test links only what it uses.
template <typename Shared> struct InstallSlot;

// For shared objects that can be set but not read back: the guards remember
// what they installed, so an inner guard hands back the outer guard's
// stand-in, and the outermost one the default (the real object, or no
// factory at all). Stand-ins are installed through the guards only.
template <typename V, void (*Set)(V)> struct RememberedSlot {
    using Value = V;
    static Value current() { return s_installed; }
    static void install(Value value) {
        s_installed = value;
        Set(std::move(value));
    }

private:
    static inline Value s_installed{};
};

template <> struct InstallSlot<Clock> : RememberedSlot<Clock*, &Clock::setShared> {};
template <> struct InstallSlot<Dispatch> : RememberedSlot<Dispatch*, &Dispatch::setShared> {};
template <> struct InstallSlot<Random> : RememberedSlot<Random*, &Random::setShared> {};
template <> struct InstallSlot<MainTimer> : RememberedSlot<MainTimer*, &MainTimer::setShared> {};
// The factory that every AudioRecorder::create goes to.
template <>
struct InstallSlot<AudioRecorder>
    : RememberedSlot<AudioRecorder::Factory, &AudioRecorder::setFactory> {};
// The factory that every AudioPlayer::create goes to.
template <>
struct InstallSlot<AudioPlayer> : RememberedSlot<AudioPlayer::Factory, &AudioPlayer::setFactory> {};
