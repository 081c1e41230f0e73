#include "support/fakeanimationdriver.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>

FakeAnimationDriver::FakeAnimationDriver() {
    install();
    m_keeper.setStartValue(0.0);
    m_keeper.setEndValue(1.0);
    m_keeper.setDuration(1000);
    m_keeper.setLoopCount(-1);
    m_keeper.start();
    // The real time that passed before the first start goes to the keeper
    // alone.
    startPendingAnimations();
    advanceAnimation();
}

FakeAnimationDriver::~FakeAnimationDriver() {
    m_keeper.stop();
    uninstall();
}

qint64 FakeAnimationDriver::elapsed() const {
    return m_now - m_startedAt;
}

void FakeAnimationDriver::start() {
    m_startedAt = m_now;
    QAnimationDriver::start();
}

// A started animation joins the running ones through queued calls.
void FakeAnimationDriver::startPendingAnimations() {
    for (int pass = 0; pass < 3; ++pass)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

void FakeAnimationDriver::advanceBy(double seconds, int frameMs) {
    qint64 left = qRound64(seconds * 1000.0);
    while (left > 0) {
        startPendingAnimations();
        const qint64 frame = std::min<qint64>(left, frameMs);
        m_now += frame;
        left -= frame;
        advanceAnimation();
    }
    startPendingAnimations();
}
