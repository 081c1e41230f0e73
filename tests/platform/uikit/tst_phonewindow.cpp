#include "platform/system/userdefaults.h"
#include "platform/uikit/phonewindow.h"
#include "platform/uikit/windowscale.h"

#include <QStandardPaths>
#include <QTest>

// The phone window's size on the desktop: the largest that fits, the
// player's zoom steps, and the size remembered for the next start.
class TestPhoneWindow : public QObject {
    Q_OBJECT

    static constexpr QSizeF kPhone{320, 568};
    const QMargins m_frame{4, 40, 4, 4};

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { UserDefaults::standardUserDefaults().removeObjectForKey(PhoneWindow::kScaleKey); }

    void fitting_data() {
        QTest::addColumn<QSize>("available");
        QTest::addColumn<double>("scale");
        // A laptop: the height decides, frame included.
        QTest::newRow("1366x768") << QSize(1366, 768) << (768.0 - 44) / 568;
        // Room to spare: the phone's own pixels, no more.
        QTest::newRow("2560x1440") << QSize(2560, 1440) << 2.0;
        // A screen turned on its side: the width decides.
        QTest::newRow("500x2000") << QSize(500, 2000) << (500.0 - 8) / 320;
        // Too small to read below half a pixel a point.
        QTest::newRow("200x300") << QSize(200, 300) << WindowScale::kMinimum;
    }
    void fitting() {
        QFETCH(QSize, available);
        QFETCH(double, scale);
        QCOMPARE(WindowScale::fitting(kPhone, 2.0, available, m_frame), scale);
    }

    // A step smaller is remembered and taken at the next start; a size the
    // screen no longer has room for gives way to the fitted one.
    void theLastSizeIsRemembered() {
        {
            PhoneWindow window(kPhone, 2.0);
            window.fitToScreen();
            const double fitted = window.scale();
            QCOMPARE(fitted, window.fittedScale());
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.zoom(-1);
            QVERIFY(qAbs(window.scale() - fitted / PhoneWindow::kZoomStep) < 0.01);
            QCOMPARE(window.size(), kPhone.toSize());
        }
        const double remembered =
            UserDefaults::standardUserDefaults().doubleForKey(PhoneWindow::kScaleKey);
        PhoneWindow next(kPhone, 2.0);
        next.fitToScreen();
        QVERIFY(qAbs(next.scale() - remembered) < 0.01);

        UserDefaults::standardUserDefaults().setDouble(9.0, PhoneWindow::kScaleKey);
        next.fitToScreen();
        QVERIFY(qAbs(next.scale() - next.fittedScale()) < 0.01);
    }
};

QTEST_MAIN(TestPhoneWindow)
#include "tst_phonewindow.moc"
