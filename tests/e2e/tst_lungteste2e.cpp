#include "e2e/launchedapp.h"
#include "platform/uikit/tabbar.h"
#include "screens/lungtest/blewtestviewcontroller.h"
#include "screens/lungtest/qmxrotateview.h"
#include "share/service/socialwechathandler.h"
#include "share/sheet/socialsnssheet.h"
#include "share/transport/desktopsharetransport.h"
#include "share/transport/outboxsharetransport.h"
#include "share/transport/sharetransportregistry.h"
#include "support/installedtransports.h"

#include <QApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTest>

// The whole lung test in the application under a real (virtual) display:
// a replayed blow from the start button to a share in the outbox, with a
// screenshot of each stage kept as an artifact.
class TestLungTestEndToEnd : public QObject {
    Q_OBJECT

    LaunchedApp m_app;
    std::optional<Installed<ShareTransportRegistry>> m_transports;

    BlewTestViewController* screen() const { return m_app.screen<BlewTestViewController>(0); }
    // Where the tab bar stands: the window's height when lowered out of sight.
    int tabBarY() const { return m_app.tabs()->tabBar()->y(); }
    int windowHeight() const { return m_app.tabs()->height(); }
    void snapshot(const QString& name) { m_app.snapshot(QStringLiteral("lungtest-") + name); }
    QString outboxPath() const { return QDir(m_app.folder()).filePath(QStringLiteral("outbox")); }

private slots:
    void initTestCase() {
        // Quiet, then a strong blow of two seconds that ends abruptly.
        QString error;
        QVERIFY2(
            m_app.launchReplaying("0 -50\n0.3 -1.5\n0.8 -4\n1.3 -2.5\n1.8 -6\n2.3 -45\n", &error),
            qPrintable(error));
        QVERIFY(QTest::qWaitForWindowExposed(m_app.window()));
        // Over the ones the application chose at launch.
        m_transports.emplace(QList<std::shared_ptr<ShareTransport>>{
            std::make_shared<OutboxShareTransport>(outboxPath()),
            std::make_shared<DesktopShareTransport>()});
    }

    void cleanupTestCase() { m_app.quit(); }

    void blowToSharedResult() {
        QTRY_VERIFY_WITH_TIMEOUT(m_app.looksStill(), 5000);
        snapshot(QStringLiteral("1-idle"));

        QTest::mouseClick(screen()->startBlewBtn(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(screen()->rotateView()->isStart(), 5000);
        // The cover has faded and the tab bar is out of sight.
        QTRY_VERIFY_WITH_TIMEOUT(!screen()->coverImg(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(tabBarY(), windowHeight(), 5000);
        snapshot(QStringLiteral("2-blowing"));

        QTRY_VERIFY_WITH_TIMEOUT(screen()->popView(), 8000);
        const int capacity = screen()->totalAir();
        // About 2 s of blowing plus 0.01 s per poll: the first two bands.
        QVERIFY2(capacity >= 100 && capacity <= 1000, qPrintable(QString::number(capacity)));
        QTRY_COMPARE_WITH_TIMEOUT(tabBarY(), windowHeight() - 49, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(m_app.looksStill(), 5000);
        snapshot(QStringLiteral("3-result"));

        QTest::mouseClick(screen()->popView()->findChild<QPushButton*>("shareButton"),
                          Qt::LeftButton);
        QTRY_VERIFY(SocialSnsSheet::current());
        QTRY_VERIFY_WITH_TIMEOUT(m_app.looksStill(), 5000);
        snapshot(QStringLiteral("4-share-sheet"));

        QTest::mouseClick(SocialSnsSheet::current()->iconButton(QStringLiteral("wxsession")),
                          Qt::LeftButton);
        const QDir outbox(outboxPath());
        QTRY_COMPARE(outbox.entryList({"*.json"}).size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(m_app.looksStill(), 5000);
        snapshot(QStringLiteral("5-wechat-qr"));

        QFile file(outbox.filePath(outbox.entryList({"*.json"}).first()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject record = QJsonDocument::fromJson(file.readAll()).object();
        const QString landing =
            QStringLiteral(
                "http://127.0.0.1:9/wechat/capacityPmShare.do?value=%1&percent=%2&level=%3")
                .arg(capacity)
                .arg(capacity / 60)
                .arg(screen()->currentKey());
        QCOMPARE(record["platform"].toString(), QStringLiteral("wxsession"));
        QCOMPARE(record["title"].toString(),
                 QStringLiteral("我的肺活量%1毫升 - Vantoro ").arg(capacity));
        QVERIFY(record["text"].toString().endsWith(QStringLiteral("一起来玩吧~~") + landing));
        QCOMPARE(record["link"].toString(), landing);
        QCOMPARE(SocialWechatHandler::url(), landing);
        QVERIFY(QFileInfo::exists(outbox.filePath(record["image"].toString())));
    }
};

int main(int argc, char* argv[]) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Vantoro"));
    TestLungTestEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_lungteste2e.moc"
