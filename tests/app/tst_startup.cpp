#include "analytics/analytics.h"
#include "app/appdelegate.h"
#include "app/launcher.h"
#include "app/maininterface.h"
#include "app/tabviewcontroller.h"
#include "blow/qmxblewer.h"
#include "platform/uikit/keywindow.h"
#include "platform/uikit/tabbar.h"
#include "platform/web/urlcache.h"
#include "screens/lungtest/blewtestviewcontroller.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList g_calls;

// Keeps the service calls start-up makes, in order, and lets everything else
// through to the usual output. Lines that start "analytics" or "crash" are the
// analytics service's own account of its work, not calls.
void recordServiceCalls(QtMsgType type, const QMessageLogContext& context, const QString& msg) {
    const QLatin1String category(context.category ? context.category : "");
    const bool ownAccount = msg.startsWith(u"analytics") || msg.startsWith(u"crash");
    if ((category == QLatin1String("vantoro.analytics") && !ownAccount) ||
        category == QLatin1String("vantoro.share"))
        g_calls << msg.section(u' ', 0, msg.startsWith(u"Social") ? 1 : 0);
    if (type != QtInfoMsg)
        fprintf(stderr, "%s: %s\n", context.category, qPrintable(msg));
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    Launcher* m_launcher = nullptr;

    BlewTestViewController* lungTest() const {
        return qobject_cast<BlewTestViewController*>(
            MainInterface::tabViewController(m_launcher->window())->viewControllers().first());
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        qInstallMessageHandler(recordServiceCalls);
        const QString trace = m_dir.filePath(QStringLiteral("blow.txt"));
        QFile file(trace);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("0 -60\n0.3 -1\n1.3 -40\n");
        file.close();
        RunOptions options = RunOptions::parse(
            {"vantoro", "--level-trace", trace, "--content-base", "http://127.0.0.1:9"});
        QString error;
        const auto levels = Launcher::loadLevelTrace(options, &error);
        QVERIFY2(levels, qPrintable(error));
        Launcher::installLevelSource(options, levels);
        m_launcher = new Launcher;
        m_launcher->launch(options);
        QVERIFY(QTest::qWaitForWindowExposed(m_launcher->window()));
    }

    void cleanupTestCase() {
        delete m_launcher;
        qInstallMessageHandler(nullptr);
    }

    void registersInOrder() {
        const QStringList expected{
            "setLogEnabled",
            "setAppVersion",
            "startWithAppkey",
            "SocialData setAppKey",
            "SocialWechatHandler setWXAppId",
            "SocialSinaHandler openSSOWithRedirectURL",
            "SocialQQHandler setQQWithAppId",
            "SocialQQHandler setSupportWebView",
        };
        QCOMPARE(g_calls.mid(0, expected.size()), expected);
        QVERIFY(Analytics::isStarted());
        QCOMPARE(Analytics::appKey(), QStringLiteral("7c0e91d2ab4f3e6058d1c2b7"));
        QCOMPARE(Analytics::appVersion(), QStringLiteral("1.0.0"));
        QCOMPARE(Analytics::reportPolicy(), 0);
    }

    void installsTheSharedUrlCache() {
        UrlCache* cache = UrlCache::sharedURLCache();
        QVERIFY(cache);
        QCOMPARE(cache, m_launcher->delegate()->urlCache());
        QCOMPARE(cache->memoryCapacity(), 1048576);
        QCOMPARE(cache->diskCapacity(), 5242880);
        // The first tab is no web page: the browser engine is not up yet.
        QVERIFY(!cache->hasEngine());
        QVERIFY(cache->cacheFolder().endsWith(QStringLiteral("/nsurlcache")));
    }

    void showsFourStyledTabs() {
        QWidget* window = KeyWindow::keyWindow();
        QCOMPARE(window, m_launcher->window());
        QCOMPARE(window->size(), QSize(320, 568));
        TabViewController* tabs = MainInterface::tabViewController(window);
        QVERIFY(tabs);
        QCOMPARE(tabs->viewControllers().size(), 4);
        TabBar* bar = tabs->tabBar();
        QCOMPARE(bar->count(), 4);
        QCOMPARE(bar->geometry(), QRect(0, 568 - 49, 320, 49));
        QVERIFY(bar->isTranslucent());
        QVERIFY(!bar->backgroundImage().isNull());
        QVERIFY(qAbs(bar->backgroundColor().alphaF() - 0.08) < 0.001);
        QVERIFY(qAbs(bar->backgroundColor().redF() - 0.9) < 0.001);
        QCOMPARE(bar->alpha(), 1.0);
        // Each tab screen fills the window; the bar lies over it.
        for (ViewController* screen : tabs->viewControllers())
            QCOMPARE(screen->geometry(), window->rect());
    }

    void appearanceEventsFollowTheTabs() {
        TabViewController* tabs = MainInterface::tabViewController(m_launcher->window());
        const int before = Analytics::acceptedEvents().count(QStringLiteral("blow"));
        QVERIFY(before >= 1);
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, QPoint(120, 20));
        QCOMPARE(tabs->selectedIndex(), 1);
        QVERIFY(!lungTest()->isVisible());
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(tabs->selectedIndex(), 0);
        QCOMPARE(Analytics::acceptedEvents().count(QStringLiteral("blow")), before + 1);
    }

    // The replayed trace drives the detector to a result on the first tab.
    void traceBlowReachesTheScreen() {
        QTest::mouseClick(lungTest()->startBlewBtn(), Qt::LeftButton);
        QVERIFY(Analytics::acceptedEvents().contains(QStringLiteral("blow_amount")));
        QTRY_VERIFY_WITH_TIMEOUT(lungTest()->popView(), 5000);
        // About one second of blowing: 1.0 s plus 0.01 s per poll is under
        // 3 s, the first band.
        const int capacity = lungTest()->totalAir();
        QVERIFY2(capacity >= 100 && capacity <= 500, qPrintable(QString::number(capacity)));
        auto* value = lungTest()->popView()->findChild<QLabel*>(QStringLiteral("valueLabel"));
        QVERIFY(value);
        QCOMPARE(value->text(), QStringLiteral("%1毫升").arg(capacity));
        QVERIFY(!QMXBlewer::sharedInstance().isMonitorActive());
    }

    void openUrlAnswersWhatTheShareServiceSays() {
        AppDelegate* delegate = m_launcher->delegate();
        const QUrl wechat(QStringLiteral("wx0f9e8d7c6b5a4f3e://platformId=wechat"));
        const QUrl qq(QStringLiteral("tencent1109876543://response"));
        const QUrl other(QStringLiteral("https://example.org/"));
        QVERIFY(delegate->handleOpenURL(wechat));
        QVERIFY(delegate->handleOpenURL(qq));
        QVERIFY(!delegate->handleOpenURL(other));
        QVERIFY(delegate->openURL(wechat, QStringLiteral("com.tencent.xin"), QVariant()));
        QVERIFY(!delegate->openURL(other, QStringLiteral("com.apple.mobilesafari"), 42));
    }

    void memoryWarningKeepsTheScreen() {
        TabViewController* tabs = MainInterface::tabViewController(m_launcher->window());
        const int selected = tabs->selectedIndex();
        m_launcher->delegate()->applicationDidReceiveMemoryWarning();
        QVERIFY(m_launcher->window()->isVisible());
        QCOMPARE(tabs->selectedIndex(), selected);
        QVERIFY(tabs->selectedViewController()->isVisible());
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Vantoro"));
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
