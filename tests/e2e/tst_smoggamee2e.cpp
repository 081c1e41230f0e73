#include "e2e/launchedapp.h"
#include "platform/uikit/scrollview.h"
#include "platform/uikit/tabbar.h"
#include "screens/smoggame/blewfogviewcontroller.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

// The smog game in the application under a real (virtual) display: a
// replayed strong blow climbs the picture and ends in a result; screenshots
// of the ready screen, the climb and the result are kept as artifacts.
class TestSmogGameEndToEnd : public QObject {
    Q_OBJECT

    LaunchedApp m_app;

    TabViewController* tabs() const { return m_app.tabs(); }
    BlewFogViewController* screen() const { return m_app.screen<BlewFogViewController>(1); }
    void snapshot(const QString& name) { m_app.snapshot(QStringLiteral("smoggame-") + name); }

private slots:
    void initTestCase() {
        // Quiet, then three seconds of a strong blow, then quiet again.
        QString error;
        QVERIFY2(m_app.launchReplaying("0 -50\n0.3 -1.5\n1.5 -1\n3.3 -45\n", &error),
                 qPrintable(error));
        QVERIFY(QTest::qWaitForWindowExposed(m_app.window()));
    }

    void cleanupTestCase() { m_app.quit(); }

    void strongBlowClimbsToAResult() {
        tabs()->setSelectedIndex(1);
        // Ready once the fog has come back in full (3.5 s) and the picture
        // is at its bottom.
        QTRY_COMPARE_WITH_TIMEOUT(screen()->fogBg()->alpha(), 1.0, 10000);
        snapshot(QStringLiteral("1-ready"));
        const double bottom = screen()->scrollView()->contentOffset().y();

        QTest::mouseClick(screen()->playBtn(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(screen()->isTimerWorking(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(screen()->scrollView()->contentOffset().y() < bottom - 300, 5000);
        QVERIFY(screen()->firstLbl()->text().endsWith(QStringLiteral("米")));
        snapshot(QStringLiteral("2-climbing"));

        QTRY_VERIFY_WITH_TIMEOUT(screen()->shareBtnWeixin()->isVisible(), 8000);
        // The tab bar is back in place.
        QTRY_COMPARE_WITH_TIMEOUT(tabs()->tabBar()->y(), tabs()->height() - 49, 5000);
        snapshot(QStringLiteral("3-result"));
        // Three seconds at 400 points a second climb most of the picture.
        QVERIFY2(screen()->defealtPercent() >= 93,
                 qPrintable(QString::number(screen()->defealtPercent())));
        QVERIFY(screen()->secondLbl()->isVisible());
        QVERIFY(!screen()->firstLbl()->text().startsWith(QStringLiteral("atitude")));
    }
};

int main(int argc, char* argv[]) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Vantoro"));
    TestSmogGameEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_smoggamee2e.moc"
