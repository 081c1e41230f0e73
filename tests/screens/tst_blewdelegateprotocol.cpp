#include "blow/qmxblewdelegate.h"
#include "blow/qmxblewer.h"
#include "platform/uikit/keywindow.h"
#include "platform/uikit/mainscreen.h"
#include "platform/uikit/tabbarcontroller.h"
#include "screens/lungtest/blewtestviewcontroller.h"
#include "screens/smoggame/blewfogviewcontroller.h"
#include "support/fakeclock.h"
#include "support/fakeplayerfactory.h"
#include "support/fakerecorder.h"
#include "support/installed.h"
#include "support/manualdispatch.h"

#include <QStandardPaths>
#include <QTest>

namespace {

// The operations of the detector's list that an object has no method for.
QStringList unanswered(const QObject& delegate) {
    QStringList missing;
    for (const char* signature : QMXBlewDelegate::kOperations)
        if (delegate.metaObject()->indexOfMethod(signature) < 0)
            missing << QLatin1String(signature);
    return missing;
}

} // namespace

// A delegate whose level operation takes a double: the detector sends a
// float, so it would never be called.
class DriftedDelegate : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void BlowAirstart(bool) {}
    Q_INVOKABLE void BlowAirupdataState(double) {}
    Q_INVOKABLE void BlowCurrentTotal(int) {}
    Q_INVOKABLE void BlowAirOver(int, int) {}
    Q_INVOKABLE void wasInterrupt() {}
    Q_INVOKABLE void waitBlewTimeOut() {}
};

// The screens that listen to the blow detector answer every operation it
// sends, by the signatures it sends them with. The detector skips an
// operation its delegate has no method for, without a word, and the screen
// tests call the screens' slots directly: a slot whose signature drifted
// from the detector's would pass them all and never hear a blow.
class TestBlewDelegateProtocol : public QObject {
    Q_OBJECT

    FakeClock m_clock;
    ManualDispatch m_dispatch;
    FakePlayerFactory m_players;
    Installed<Clock> m_installedClock{&m_clock};
    Installed<Dispatch> m_installedDispatch{&m_dispatch};
    Installed<AudioRecorder> m_installedRecorders{[](const QString&, const QVariantMap&) {
        return std::make_shared<FakeRecorder>(std::deque<float>{}, -60.0f);
    }};
    std::unique_ptr<QWidget> m_window;

    // The screen on show in a window of its own, as in the application.
    void show(ViewController* screen) {
        m_window = std::make_unique<QWidget>();
        m_window->resize(320, 568);
        auto* tabs = new TabBarController(m_window.get());
        tabs->setGeometry(m_window->rect());
        tabs->setViewControllers({screen});
        KeyWindow::makeKeyAndVisible(m_window.get());
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    // Listening has started: the screen must be the delegate the detector
    // calls, and have a method for each of its operations.
    static void checkAnswersTheDetector(const QObject& screen) {
        QCOMPARE(static_cast<const QObject*>(QMXBlewer::sharedInstance().Blewdelegate()), &screen);
        const QStringList missing = unanswered(screen);
        QVERIFY2(missing.isEmpty(),
                 qPrintable(QStringLiteral("%1 does not answer %2")
                                .arg(QLatin1String(screen.metaObject()->className()),
                                     missing.join(QStringLiteral(", ")))));
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        MainScreen::set({320, 568}, 2);
    }

    void cleanup() {
        QMXBlewer::sharedInstance().stopBlew();
        QMXBlewer::sharedInstance().setBlewdelegate(nullptr);
        m_dispatch.drainMain();
        m_window.reset();
    }

    void aDriftedSignatureIsCaught() {
        DriftedDelegate drifted;
        QCOMPARE(unanswered(drifted), QStringList{QStringLiteral("BlowAirupdataState(float)")});
        QObject none;
        QCOMPARE(unanswered(none).size(), qsizetype(QMXBlewDelegate::kOperations.size()));
    }

    void lungTestAnswersEveryOperation() {
        auto* screen = new BlewTestViewController;
        show(screen);
        screen->readyToBlew();
        checkAnswersTheDetector(*screen);
    }

    void smogGameAnswersEveryOperation() {
        auto* screen = new BlewFogViewController;
        show(screen);
        screen->startToPlay();
        checkAnswersTheDetector(*screen);
    }
};

QTEST_MAIN(TestBlewDelegateProtocol)
#include "tst_blewdelegateprotocol.moc"
