#include "analytics/analytics.h"
#include "platform/network/networkflagssource.h"
#include "platform/system/userdefaults.h"
#include "platform/uikit/keywindow.h"
#include "platform/uikit/mainscreen.h"
#include "platform/uikit/tabbarcontroller.h"
#include "platform/web/urlcache.h"
#include "platform/web/webview.h"
#include "screens/placeholderviewcontroller.h"
#include "screens/web/blewhotviewcontroller.h"
#include "screens/web/rankinglistviewcontroller.h"
#include "server/contentserver.h"
#include "share/service/socialdata.h"
#include "share/service/socialqqhandler.h"
#include "share/service/socialwechathandler.h"
#include "share/sheet/socialsnssheet.h"
#include "share/transport/contentlinks.h"
#include "share/transport/outboxsharetransport.h"
#include "share/transport/sharetransportregistry.h"
#include "share/vantorokeys.h"
#include "support/installednetworkflags.h"
#include "support/installedtransports.h"
#include "ui/toastview.h"

#include <QApplication>
#include <QDir>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

namespace {

// Hands out one chosen flag word for every target.
class FixedFlags : public NetworkFlagsSource {
public:
    quint32 flags = kReachable;
    bool flagsForTarget(const Target&, quint32* out) override {
        *out = flags;
        return true;
    }
};

} // namespace

// The two web tabs against the application's own content server, in a
// real browser engine under the virtual display.
class TestWebScreens : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    ContentServer m_server;
    std::unique_ptr<UrlCache> m_cache;
    FixedFlags m_flags;
    Installed<NetworkFlagsSource> m_installedFlags{&m_flags};
    Installed<ShareTransportRegistry> m_installedTransports{
        {std::make_shared<OutboxShareTransport>(m_dir.filePath(QStringLiteral("outbox")))}};
    QWidget* m_window = nullptr;
    TabBarController* m_tabs = nullptr;
    BlewHotViewController* m_hot = nullptr;
    RankingListViewController* m_rank = nullptr;

    void snapshot(const QString& name) {
        const QString folder = qEnvironmentVariable("VANTORO_ARTIFACTS", m_dir.path());
        QDir().mkpath(folder);
        QVERIFY(m_window->grab().toImage().save(folder + QStringLiteral("/web-%1.png").arg(name)));
    }

    // How many points of a grid over the page area the window shows in a
    // colour other than white: a drawn page has many.
    int colouredPoints() const {
        const QImage shot = m_window->grab().toImage();
        int coloured = 0;
        for (int y = 40; y < 500; y += 4)
            for (int x = 4; x < 316; x += 4)
                if (shot.pixelColor(x * shot.width() / 320, y * shot.height() / 568) != Qt::white)
                    ++coloured;
        return coloured;
    }

    bool waitForLoad(WebView* view) {
        QSignalSpy spy(view, &WebView::didFinishLoad);
        return spy.wait(15000);
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        MainScreen::set({320, 568}, 2);
        m_server.setDataFolder(m_dir.filePath(QStringLiteral("server")));
        QVERIFY(m_server.start());
        ContentLinks::setBaseUrl(QUrl(m_server.baseUrl()));
        m_cache = std::make_unique<UrlCache>(1048576, 5242880, QStringLiteral("nsurlcache"));
        UrlCache::setSharedURLCache(m_cache.get());
        Analytics::startWithAppkey(QStringLiteral("test"), 0);
        SocialData::setAppKey(QString::fromLatin1(VantoroKeys::appKey));

        m_window = new QWidget;
        m_window->resize(320, 568);
        m_tabs = new TabBarController(m_window);
        m_tabs->setGeometry(m_window->rect());
        m_hot = new BlewHotViewController;
        m_rank = new RankingListViewController;
        m_tabs->setViewControllers({new PlaceholderViewController("first", ""), m_hot, m_rank});
        KeyWindow::makeKeyAndVisible(m_window);
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }

    void cleanupTestCase() {
        delete m_window;
        m_cache.reset();
    }

    void backButtonFollowsTheHistory() {
        m_tabs->setSelectedIndex(1);
        QVERIFY(m_hot->webView());
        QVERIFY(waitForLoad(m_hot->webView()));
        QCOMPARE(m_hot->webView()->geometry(), QRect(0, 64, 320, 568 - 64 - 49));
        QTRY_VERIFY_WITH_TIMEOUT(colouredPoints() > 500, 10000);
        snapshot(QStringLiteral("1-hot-issues"));
        QVERIFY(!m_hot->backBtn()->isVisible());
        QCOMPARE(
            UserDefaults::standardUserDefaults().integerForKey("WebKitCacheModelPreferenceKey"), 0);
        QCOMPARE(UserDefaults::standardUserDefaults()
                     .objectForKey("WebKitDiskImageCacheEnabled")
                     .toBool(),
                 false);
        // A right swipe with nothing to go back to changes nothing.
        m_hot->webViewWebViewSwip(WebView::SwipeDirection::Right);
        QVERIFY(!m_hot->backBtn()->isVisible());

        // Follow the first article link of the page. The engine keeps back
        // entries only for navigations it sees as the user's, which a
        // script's click is not; the link's own address is loaded instead.
        QVariant href;
        m_hot->webView()->runJavaScript(
            QStringLiteral("document.querySelector('a[href*=\"article\"]').href"),
            [&href](const QVariant& result) { href = result; });
        QTRY_VERIFY(href.isValid());
        m_hot->webView()->loadRequest(QUrl(href.toString()));
        QVERIFY(waitForLoad(m_hot->webView()));
        QVERIFY(m_hot->webView()->url().toString().contains(QStringLiteral("article.do")));
        QVERIFY(m_hot->backBtn()->isVisible());

        // The pressed image shows while the button is held down, and only
        // then: not for the focus a tap leaves behind.
        QPushButton* back = m_hot->backBtn();
        const QImage idle = back->grab().toImage();
        QTest::mousePress(back, Qt::LeftButton);
        QVERIFY(back->grab().toImage() != idle);
        QTest::mouseRelease(back, Qt::LeftButton);
        QCOMPARE(back->grab().toImage(), idle);
        QTRY_VERIFY_WITH_TIMEOUT(!m_hot->webView()->canGoBack(), 10000);
        QTRY_VERIFY(!m_hot->backBtn()->isVisible());
        // And forward again with a left swipe.
        m_hot->webViewWebViewSwip(WebView::SwipeDirection::Left);
        QTRY_VERIFY_WITH_TIMEOUT(m_hot->backBtn()->isVisible(), 10000);
        QVERIFY(!m_hot->navigationBarShouldPopItem());
        QTRY_VERIFY_WITH_TIMEOUT(!m_hot->backBtn()->isVisible(), 10000);
    }

    // Only sideways drags are swipes: the hot-issue page has a recogniser
    // for the left and one for the right, nothing for up and down.
    void onlySidewaysDragsAreSwipes_data() {
        QTest::addColumn<QPoint>("drag");
        QTest::addColumn<int>("swipes");
        QTest::newRow("right") << QPoint(120, 0) << 1;
        QTest::newRow("left") << QPoint(-120, 10) << 1;
        QTest::newRow("up") << QPoint(0, -120) << 0;
        QTest::newRow("down") << QPoint(10, 120) << 0;
    }
    void onlySidewaysDragsAreSwipes() {
        QFETCH(QPoint, drag);
        QFETCH(int, swipes);
        m_tabs->setSelectedIndex(1);
        QTRY_VERIFY_WITH_TIMEOUT(m_hot->webView()->renderWidget(), 10000);
        QWidget* surface = m_hot->webView()->renderWidget();
        QSignalSpy spy(m_hot->webView(), &WebView::swiped);
        const QPoint from(160, 200);
        QTest::mousePress(surface, Qt::LeftButton, {}, from);
        QTest::mouseRelease(surface, Qt::LeftButton, {}, from + drag);
        QCOMPARE(spy.count(), swipes);
    }

    // A failed load of the ranking is left to the engine's error page: the
    // screen asks for it once, not again on its own.
    void aFailedRankingLoadIsNotRetried() {
        UrlCache::setSharedURLCache(nullptr);
        RankingListViewController rank;
        rank.loadViewIfNeeded();
        UrlCache::setSharedURLCache(m_cache.get());
        QSignalSpy finished(rank.webView(), &WebView::didFinishLoad);
        QVERIFY(finished.wait(5000));
        QVERIFY(!rank.webView()->lastLoadSucceeded());
        // Everything the failure set going has run.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(finished.count(), 1);
    }

    void leavingTearsTheWebViewDown() {
        m_tabs->setSelectedIndex(1);
        QPointer<WebView> view = m_hot->webView();
        m_tabs->setSelectedIndex(0);
        QVERIFY(!m_hot->webView());
        QTRY_VERIFY(!view);
        m_tabs->setSelectedIndex(1);
        QVERIFY(m_hot->webView());
        QVERIFY(waitForLoad(m_hot->webView()));
    }

    void offlineToastOncePerAppearance() {
        m_flags.flags = 0;
        m_tabs->setSelectedIndex(0);
        QVERIFY(!ToastView::findIn(m_window));
        m_tabs->setSelectedIndex(2);
        ToastView* first = ToastView::findIn(m_window);
        QVERIFY(first);
        QTRY_COMPARE(first->alpha(), 1.0);
        snapshot(QStringLiteral("3-offline-toast"));
        QCOMPARE(m_window->findChildren<ToastView*>().size(), 1);
        m_tabs->setSelectedIndex(1);
        QVERIFY(ToastView::findIn(m_window));
        QTRY_COMPARE(m_window->findChildren<ToastView*>().size(), 1);
        m_flags.flags = NetworkFlagsSource::kReachable;
        QTRY_VERIFY_WITH_TIMEOUT(!ToastView::findIn(m_window), 5000);
        m_tabs->setSelectedIndex(2);
        QVERIFY(!ToastView::findIn(m_window));
        // The page is loaded all the same, and it is drawn.
        QTRY_VERIFY_WITH_TIMEOUT(
            m_rank->webView()->url().path().endsWith(QStringLiteral("getPm25Rank.do")), 10000);
    }

    void rankingPageIsDrawn() {
        m_tabs->setSelectedIndex(2);
        QTRY_VERIFY_WITH_TIMEOUT(colouredPoints() > 500, 10000);
        const int coloured = colouredPoints();
        QVERIFY2(coloured > 500, qPrintable(QString::number(coloured)));
        snapshot(QStringLiteral("2-ranking"));
    }

    // As on a phone, the page has no scroll bars beside it, and it still
    // scrolls under the wheel.
    void pagesScrollWithoutScrollBars() {
        m_tabs->setSelectedIndex(2);
        WebView* view = m_rank->webView();
        QTRY_VERIFY_WITH_TIMEOUT(!view->url().isEmpty(), 10000);
        // The script's result, or an invalid value when none came in time.
        auto evaluate = [view](const QString& script) {
            auto result = std::make_shared<QVariant>();
            view->runJavaScript(script, [result](const QVariant& r) { *result = r; });
            return QTest::qWaitFor([&] { return result->isValid(); }, 5000) ? *result : QVariant();
        };
        QTRY_VERIFY_WITH_TIMEOUT(
            evaluate("document.documentElement.scrollHeight > window.innerHeight").toBool(), 10000);
        QCOMPARE(evaluate("window.innerWidth - document.documentElement.clientWidth").toInt(), 0);
        QCOMPARE(evaluate("window.scrollY").toInt(), 0);
        QWidget* surface = view->renderWidget();
        QVERIFY(surface);
        const QPointF at(view->width() / 2.0, view->height() / 2.0);
        for (int i = 0; i < 3; ++i) {
            QWheelEvent wheel(at, surface->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(surface, &wheel);
        }
        QTRY_VERIFY_WITH_TIMEOUT(evaluate("window.scrollY").toInt() > 0, 5000);
        evaluate("window.scrollTo(0, 0)");
    }

    void rankingShareIsTheSameForEveryNetwork() {
        m_tabs->setSelectedIndex(2);
        SocialQQHandler::setQQWithAppId(QString::fromLatin1(VantoroKeys::qqAppId),
                                        QString::fromLatin1(VantoroKeys::qqAppKey),
                                        QStringLiteral("http://lung-test-link"));
        const QString rankLink = ContentLinks::link(QStringLiteral("/wechat/getPm25Rank.do"));
        QList<std::tuple<QString, QString, QSize>> seen;
        for (const QString name : {"wxtimeline", "sina", "wxsession"}) {
            const int shares = int(Analytics::acceptedEvents().count(QStringLiteral("rank_share")));
            QTest::mouseClick(m_rank->shareBtn(), Qt::LeftButton);
            QCOMPARE(int(Analytics::acceptedEvents().count(QStringLiteral("rank_share"))),
                     shares + 1);
            QVERIFY(SocialSnsSheet::current());
            QVERIFY(SocialSnsSheet::current()->pick(name));
            SocialData* data = SocialData::defaultData();
            seen.append({data->extConfig().title(), data->shareText(), data->shareImage().size()});
            QCOMPARE(SocialWechatHandler::url(), rankLink);
            QCOMPARE(SocialQQHandler::url(), QStringLiteral("http://lung-test-link"));
        }
        QCOMPARE(std::get<0>(seen[0]), QStringLiteral("Vantoro"));
        QCOMPARE(std::get<1>(seen[0]),
                 QStringLiteral("我从 @Vantoro 给你分享了今天的最新pm2.5城市排名。"));
        QVERIFY(!std::get<2>(seen[0]).isEmpty());
        QCOMPARE(seen[1], seen[0]);
        QCOMPARE(seen[2], seen[0]);
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Vantoro"));
    TestWebScreens test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_webscreens.moc"
