#pragma once

#include "support/fakeanimationdriver.h"
#include "support/fakeclock.h"
#include "support/fakeplayerfactory.h"
#include "support/fixedrandom.h"
#include "support/installed.h"
#include "support/installedtransports.h"
#include "support/manualdispatch.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class QWidget;
class TabBar;
class TabBarController;
class ViewController;

// What a tab screen's test stands it in, in virtual time: a fake clock, a
// main queue the test drains, a fixed random draw, animations that move only
// when the test advances them, fake microphones that read one quiet level
// (or that no microphone is there), fake players for the sounds, and an
// outbox for the shares. Each test function shows the screen in a phone-sized
// key window, as the first of two tabs, and closes it in its clean-up.
class ScreenFixture {
public:
    // Every fake microphone reads `quietLevel` dB.
    explicit ScreenFixture(float quietLevel);
    ~ScreenFixture();
    ScreenFixture(const ScreenFixture&) = delete;
    ScreenFixture& operator=(const ScreenFixture&) = delete;

    // For init(): a 320 x 568 key window, exposed, whose tab bar controller
    // shows `screen` and a placeholder second tab; fresh players, a draw of
    // 0 and a microphone.
    void show(ViewController* screen);
    // For cleanup(): stops the detector, runs what it left in the main queue,
    // closes any alert and the window, and drops the players.
    void close();

    FakeClock& clock() { return m_clock; }
    ManualDispatch& dispatch() { return m_dispatch; }
    FixedRandom& random() { return m_random; }
    FakeAnimationDriver& animations() { return *m_animations; }
    FakePlayerFactory& players() { return *m_players; }
    // The file names of the sounds played so far, in order.
    QStringList soundsPlayed() const;
    QString outboxPath() const { return m_outbox.path(); }
    int outboxRecords() const;
    // How many recorders the screen has asked for.
    int recorders() const { return m_recorders; }
    // Without any audio input every recorder fails to prepare.
    void setNoMicrophone(bool none) { m_noMicrophone = none; }

    QWidget* window() const { return m_window; }
    TabBarController* tabs() const { return m_tabs; }
    TabBar* tabBar() const;

private:
    std::unique_ptr<FakeAnimationDriver> m_animations;
    FakeClock m_clock;
    ManualDispatch m_dispatch;
    FixedRandom m_random;
    std::unique_ptr<FakePlayerFactory> m_players;
    QTemporaryDir m_outbox;
    float m_quietLevel;
    int m_recorders = 0;
    bool m_noMicrophone = false;
    Installed<Clock> m_installedClock{&m_clock};
    Installed<Dispatch> m_installedDispatch{&m_dispatch};
    Installed<Random> m_installedRandom{&m_random};
    std::unique_ptr<Installed<AudioRecorder>> m_installedRecorders;
    std::unique_ptr<Installed<ShareTransportRegistry>> m_installedTransports;
    QWidget* m_window = nullptr;
    TabBarController* m_tabs = nullptr;
};
