#include "blow/qmxblewer.h"
#include "platform/system/localizedstrings.h"
#include "platform/uikit/alertview.h"
#include "platform/uikit/mainscreen.h"
#include "platform/uikit/scrollview.h"
#include "platform/uikit/tabbar.h"
#include "platform/uikit/tabbarcontroller.h"
#include "platform/uikit/viewanimation.h"
#include "screens/smoggame/blewfogviewcontroller.h"
#include "screens/smoggame/fogsmokelayer.h"
#include "share/service/socialdata.h"
#include "share/service/socialwechathandler.h"
#include "share/sheet/socialshareeditor.h"
#include "share/vantorokeys.h"
#include "support/screenfixture.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

namespace {
bool near(QPointF a, QPointF b) {
    return QLineF(a, b).length() <= 0.75;
}

// What a view itself paints, at 2 device pixels a point, over transparency.
QImage drawn(QWidget* view) {
    QImage image(view->size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    view->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// The platform's ease-in-out at a share of the time, found on the Bézier
// through (0, 0), (0.42, 0), (0.58, 1), (1, 1) by bisection.
double easeInOut(double time) {
    double low = 0;
    double high = 1;
    for (int i = 0; i < 60; ++i) {
        const double t = (low + high) / 2;
        const double x = 3 * (1 - t) * (1 - t) * t * 0.42 + 3 * (1 - t) * t * t * 0.58 + t * t * t;
        (x < time ? low : high) = t;
    }
    const double t = (low + high) / 2;
    return 3 * (1 - t) * t * t + t * t * t;
}
} // namespace

// The smog game driven through its detector events and its scroll steps, in
// virtual time: animations move only when the test advances them, and the
// scroll timer's steps are run by the test, 20 ms apart, as it would run them.
class TestBlewFogViewController : public QObject {
    Q_OBJECT

    ScreenFixture m_fixture{-60.0f};
    BlewFogViewController* m_screen = nullptr;
    int m_untilLevel = 0;

    double offset() const { return m_screen->scrollView()->contentOffset().y(); }
    double bottom() const { return m_screen->scrollView()->contentSize().height() - 568; }
    void setOffset(double y) { m_screen->scrollView()->setContentOffset({0, y}, false); }
    // The first level event installs the scroll timer; the test takes over.
    void startClimbing(float level) {
        m_screen->buttonClick(m_screen->playBtn());
        m_screen->BlowAirupdataState(level);
        QVERIFY(m_screen->timer());
        m_screen->timer()->stop();
    }
    // A blow as the detector reports it: a level every 20 ms, and between two
    // levels 20 ms of animation and the scroll step that the timer makes
    // while it runs (the event loop does not run, so the real timer never
    // fires). A blow may be split into several calls to read the screen at
    // any millisecond.
    void blow(float level, int milliseconds) {
        while (milliseconds > 0) {
            if (m_untilLevel == 0) {
                m_screen->BlowAirupdataState(level);
                m_untilLevel = 20;
            }
            const int step = std::min(m_untilLevel, milliseconds);
            m_fixture.animations().advanceBy(step / 1000.0);
            m_untilLevel -= step;
            milliseconds -= step;
            if (m_untilLevel == 0 && m_screen->timer() && m_screen->timer()->isActive())
                m_screen->timerTick();
        }
    }
    double fog() const { return m_screen->fogBg()->alpha(); }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        MainScreen::set({320, 568}, 2);
        SocialData::setAppKey(QString::fromLatin1(VantoroKeys::appKey));
    }

    void init() {
        m_untilLevel = 0;
        m_screen = new BlewFogViewController;
        m_fixture.show(m_screen);
    }

    void cleanup() { m_fixture.close(); }

    void layout() {
        QVERIFY(near(QRectF(m_screen->spriteImg()->geometry()).center(), {160, 214}));
        QVERIFY(near(QRectF(m_screen->blewImg()->geometry()).center(), {160, 304}));
        QVERIFY(near(QRectF(m_screen->playBtn()->geometry()).center(), {160, 468}));
        QCOMPARE(m_screen->progressLbl()->geometry(), QRect(295, 80, 2, 368));
        QVERIFY(near(QRectF(m_screen->thmubImg()->geometry()).center(), {296, 448}));
        QCOMPARE(m_screen->firstLbl()->geometry(), QRect(30, 17, 260, 80));
        QCOMPARE(m_screen->secondLbl()->geometry(), QRect(30, 85, 260, 40));
        const double s = 320.0 / 7;
        int slot = 1;
        for (QPushButton* b : {m_screen->shareBtnWeixin(), m_screen->shareBtnWXFriend(),
                               m_screen->shareBtnWeibo()}) {
            QVERIFY(near(b->geometry().topLeft(), {slot * s, 568 - 140 - s}));
            QVERIFY(!b->isVisible());
            slot += 2;
        }
        // The picture is much taller than the screen and starts at its bottom.
        QVERIFY(bottom() > 568);
        QCOMPARE(m_screen->scrollView()->contentSize().width(), 320.0);
        m_fixture.animations().advanceBy(ScrollView::kAnimatedScrollSeconds);
        QCOMPARE(offset(), bottom());
        QCOMPARE(m_screen->playBtn()->text(), QStringLiteral("开始"));
    }

    void speedFollowsLoadStartAndLevel() {
        QCOMPARE(m_screen->speed(), 4);
        m_screen->buttonClick(m_screen->playBtn());
        QCOMPARE(m_screen->speed(), 2);
        QVERIFY(QMXBlewer::sharedInstance().isMonitorActive());
        QVERIFY(!m_screen->playBtn()->isVisible());
        QCOMPARE(m_screen->firstLbl()->text(), QStringLiteral("对准麦克风吹吧"));
        m_screen->BlowAirupdataState(6.9f);
        QCOMPARE(m_screen->speed(), 6);
        QVERIFY(m_screen->isTimerWorking());
        QVERIFY(!m_screen->blewImg()->isVisible());
    }

    // Within two steps of the top: one step of `speed`, then one landing on
    // `speed`, then the snap to the top, which ends the timer and shows no
    // new metres.
    void scrollStepsNearTheTop() {
        startClimbing(8);
        setOffset(2 * 8 + 1);
        m_screen->timerTick();
        QCOMPARE(offset(), 9.0);
        setOffset(2 * 8);
        m_screen->timerTick();
        QCOMPARE(offset(), 8.0);
        const QString metres = m_screen->firstLbl()->text();
        QVERIFY(metres.endsWith(QStringLiteral("米")));
        m_screen->timer()->start();
        m_screen->timerTick();
        QCOMPARE(offset(), 0.0);
        QVERIFY(!m_screen->timer()->isActive());
        QVERIFY(m_screen->isTimerWorking());
        QCOMPARE(m_screen->firstLbl()->text(), metres);
        // A full step anywhere else.
        setOffset(1000);
        m_screen->timerTick();
        QCOMPARE(offset(), 992.0);
    }

    void climbingMovesThumbMetresAndSmoke() {
        startClimbing(4);
        const double range = bottom();
        setOffset(range / 2 + 4);
        m_screen->timerTick();
        const QRectF bar(m_screen->progressLbl()->geometry());
        QVERIFY(qAbs(QRectF(m_screen->thmubImg()->geometry()).center().y() -
                     (bar.top() + bar.height() / 2)) <= 1.0);
        // Half way up is 37500 raw metres, shown eight times over.
        QCOMPARE(m_screen->firstLbl()->text(), QStringLiteral("300000米"));
        QCOMPARE(m_screen->defealtMeter(), 300000);
    }

    void displayTransform_data() {
        QTest::addColumn<float>("raw");
        QTest::addColumn<QString>("shown");
        QTest::newRow("1000") << 1000.0f << "200";
        QTest::newRow("3499") << 3499.0f << "449";
        QTest::newRow("3500") << 3500.0f << "3500";
        QTest::newRow("10000") << 10000.0f << "10000";
        QTest::newRow("10001") << 10001.0f << "80008";
        QTest::newRow("75000") << 75000.0f << "600000";
    }
    void displayTransform() {
        QFETCH(float, raw);
        QFETCH(QString, shown);
        QCOMPARE(BlewFogViewController::displayedMeters(raw), shown);
    }

    void percentTable_data() {
        QTest::addColumn<int>("distance");
        QTest::addColumn<int>("percent");
        const QList<std::pair<int, int>> rows{
            {0, 90},     {3499, 90},  {3500, 90},  {3699, 90},  {3700, 90},  {6200, 90},
            {6201, 91},  {17999, 91}, {18000, 92}, {25149, 92}, {25150, 93}, {53749, 96},
            {53750, 97}, {60899, 97}, {60900, 98}, {68049, 98}, {68050, 99}, {75000, 99}};
        for (const auto& [d, p] : rows)
            QTest::newRow(qPrintable(QString::number(d))) << d << p;
    }
    void percentTable() {
        QFETCH(int, distance);
        QFETCH(int, percent);
        QCOMPARE(BlewFogViewController::percentForDistance(distance), percent);
    }

    void commentKeys() {
        QCOMPARE(BlewFogViewController::commentKey(90, 2), QStringLiteral("atitude_234_2"));
        QCOMPARE(BlewFogViewController::commentKey(93, 1), QStringLiteral("atitude_93_1"));
        QVERIFY(BlewFogViewController::hasTwoVariants(96));
        QVERIFY(!BlewFogViewController::hasTwoVariants(97));
        QCOMPARE(BlewFogViewController::commentKey(97, 1), QStringLiteral("atitude_97_1"));
        QCOMPARE(BlewFogViewController::commentKey(98, 1), QStringLiteral("atitude_98_1"));
        QCOMPARE(BlewFogViewController::commentKey(99, 1), QStringLiteral("atitude_98_1"));
    }

    void shareTexts() {
        const QString link = BlewFogViewController::shareLink(90, 2);
        QVERIFY(link.endsWith(QStringLiteral("/wechat/getPm25Capacity.do?percent=90&random=2")));
        QCOMPARE(BlewFogViewController::shareText(3920, 90, link),
                 QStringLiteral("我在玩 @Vantoro 我把雾霾吹到了3920米。超越了90%的环保卫士.") +
                     link);
        QCOMPARE(BlewFogViewController::shareTitle(3920),
                 QStringLiteral("我把雾霾吹到了3920米 - Vantoro "));
    }

    void resultOfAGoodBlow() {
        startClimbing(8);
        setOffset(8 * 4 + 1);
        m_screen->timerTick();
        m_fixture.random().setValue(1);
        m_screen->BlowAirOver(0, 0);
        QVERIFY(m_screen->isStop());
        QVERIFY(!m_screen->isTimerWorking());
        QVERIFY(m_screen->secondLbl()->isVisible());
        QVERIFY(m_screen->shareBtnWeibo()->isVisible());
        QCOMPARE(m_screen->defealtPercent(), 99);
        QCOMPARE(m_screen->defealtRandom(), 1);
        const QString comment = LocalizedStrings::localizedStringForKey(
            QStringLiteral("atitude_98_1"), QString(), QStringLiteral("language"));
        QVERIFY(comment != QStringLiteral("atitude_98_1"));
        QCOMPARE(m_screen->firstLbl()->text(), comment);
        QVERIFY(
            m_screen->secondLbl()->text().contains(QStringLiteral("font-size:38px\">99%</span>")));
        QVERIFY(m_screen->secondLbl()->text().startsWith(QStringLiteral("超越")));
        QVERIFY(!m_fixture.players().players().empty());
        QCOMPARE(QFileInfo(m_fixture.players().last()->path()).fileName(),
                 QStringLiteral("blew_result.mp3"));
        QCOMPARE(m_screen->playBtn()->text(), QStringLiteral("再吹一次"));
        // The backdrop goes on fading for a good result.
        const double atEnd = fog();
        m_fixture.animations().advanceBy(0.7);
        QVERIFY(fog() < atEnd);
    }

    // No climb: 90, and the smog that had begun to fade comes back.
    void aBlowWithoutClimbingScoresNinety() {
        startClimbing(4);
        m_fixture.animations().advanceBy(0.7);
        const double faded = fog();
        QVERIFY(faded < 1.0);
        m_fixture.random().setValue(0);
        m_screen->BlowAirOver(0, 0);
        m_fixture.animations().advanceBy(0.4);
        QVERIFY(fog() > faded);
        QCOMPARE(m_screen->defealtPercent(), 90);
        QCOMPARE(m_screen->secondLbl()->text().contains(">90%</span>"), true);
        QCOMPARE(m_screen->firstLbl()->text(),
                 LocalizedStrings::localizedStringForKey("atitude_234_1", QString(), "language"));
    }

    // The fog fades over 3.5 s from the first level of a blow, on the
    // platform's ease-in-out curve, however many levels follow.
    void fogClearsWhileBlowing() {
        m_screen->buttonClick(m_screen->playBtn());
        QCOMPARE(fog(), 1.0);
        blow(6, 1400);
        QVERIFY2(qAbs(fog() - (1 - easeInOut(0.4))) < 0.002, qPrintable(QString::number(fog())));
        blow(6, 350);
        QVERIFY2(qAbs(fog() - 0.5) < 0.002, qPrintable(QString::number(fog())));
        blow(6, 1750);
        QCOMPARE(fog(), 0.0);
    }

    // "再吹一次" after a game that reached the top scrolls back for 0.3 s; a
    // blow that begins meanwhile still climbs from the bottom, so a short blow
    // scores as one.
    void aNewGameClimbsFromTheBottom() {
        m_screen->buttonClick(m_screen->playBtn());
        blow(8, 20);
        setOffset(8);
        m_screen->timerTick();
        QCOMPARE(offset(), 0.0);
        QMXBlewer::sharedInstance().stopBlew();
        m_screen->BlowAirOver(0, 0);
        QCOMPARE(m_screen->defealtPercent(), 99);

        m_screen->buttonClick(m_screen->playBtn());
        QVERIFY(!m_screen->isStop());
        m_fixture.animations().advanceBy(0.1);
        QVERIFY(offset() > 0 && offset() < bottom());
        blow(8, 1000);
        m_screen->BlowAirOver(0, 0);
        // 50 steps of 8 points from the bottom: 16375 m, 91 %.
        QCOMPARE(offset(), bottom() - 50 * 8);
        QCOMPARE(m_screen->defealtPercent(), 91);
    }

    // Ease-in-out is the cubic curve, not a quadratic one: 0.129 against
    // 0.125 a quarter of the way, 0.332 against 0.32 at 40 %.
    void defaultCurveIsTheCubicEaseInOut() {
        const QEasingCurve curve = ViewAnimation::defaultCurve();
        for (double t : {0.1, 0.25, 0.4, 0.5, 0.75, 0.9})
            QVERIFY2(qAbs(curve.valueForProgress(t) - easeInOut(t)) < 1e-4,
                     qPrintable(QString::number(t)));
        const double quad = QEasingCurve(QEasingCurve::InOutQuad).valueForProgress(0.25);
        QVERIFY(qAbs(curve.valueForProgress(0.25) - quad) > 0.003);
    }

    // The bar has round ends; the thumb is a white disc, radius 4.5 on 9
    // points.
    void roundBarAndThumb() {
        const QImage bar = drawn(m_screen->progressLbl());
        const int middle = qAlpha(bar.pixel(1, bar.height() / 2));
        QVERIFY(middle > 150);
        QVERIFY(qAlpha(bar.pixel(0, 0)) < middle / 2);
        QVERIFY(qAlpha(bar.pixel(3, bar.height() - 1)) < middle / 2);

        QCOMPARE(m_screen->thmubImg()->cornerRadius(), 4.5);
        const QImage disc = drawn(m_screen->thmubImg());
        QCOMPARE(disc.size(), QSize(18, 18));
        QCOMPARE(disc.pixel(9, 9), qRgb(255, 255, 255));
        QVERIFY(qAlpha(disc.pixel(9, 0)) > 150);
        QVERIFY(qAlpha(disc.pixel(0, 9)) > 150);
        // Inside a corner of radius 4, outside the disc.
        QVERIFY(qAlpha(disc.pixel(2, 2)) < 60);
        QVERIFY(qAlpha(disc.pixel(15, 15)) < 60);
    }

    // Without any audio input the player is told so; a game that was
    // listening when the microphone went gives the tab bar and the play
    // button back, and a microphone plugged in is heard at the next tap.
    void noMicrophoneSaysSoAndLeavesTheScreenUsable() {
        m_screen->buttonClick(m_screen->playBtn());
        QVERIFY(m_screen->playBtn()->isHidden());
        m_fixture.setNoMicrophone(true);
        QCOMPARE(m_fixture.dispatch().runMain(1), 1);
        QVERIFY(AlertView::current());
        QCOMPARE(AlertView::current()->title(), QStringLiteral("没有找到麦克风"));
        QVERIFY(!m_screen->playBtn()->isHidden());
        m_fixture.animations().advanceBy(0.5);
        QCOMPARE(m_fixture.tabs()->tabBar()->y(), 568 - 49);
        AlertView::current()->clickButtonAtIndex(0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        m_fixture.setNoMicrophone(false);
        m_screen->buttonClick(m_screen->playBtn());
        QVERIFY(!AlertView::current());
        QVERIFY(QMXBlewer::sharedInstance().isMonitorActive());
    }

    void timeoutListensAgain() {
        m_screen->buttonClick(m_screen->playBtn());
        const int recorders = m_fixture.recorders();
        QCOMPARE(m_fixture.dispatch().runMain(1), 1);
        QCOMPARE(m_fixture.recorders(), recorders + 1);
        QVERIFY(QMXBlewer::sharedInstance().isMonitorActive());
        QCOMPARE(QMXBlewer::sharedInstance().Blewdelegate(), m_screen);
    }

    void leavingWhileClimbingStopsWithoutResult() {
        startClimbing(6);
        m_fixture.tabs()->setSelectedIndex(1);
        QVERIFY(!QMXBlewer::sharedInstance().isMonitorActive());
        QCOMPARE(QMXBlewer::sharedInstance().Blewdelegate(), nullptr);
        QVERIFY(!QMXBlewer::sharedInstance().isPlay());
        QVERIFY(!m_screen->isTimerWorking());
        QVERIFY(m_screen->img().isNull());
        m_fixture.dispatch().drainMain();
        QVERIFY(!m_screen->secondLbl()->isVisibleTo(m_screen));
        QVERIFY(m_fixture.players().players().empty());
        m_fixture.tabs()->setSelectedIndex(0);
        QCOMPARE(m_screen->playBtn()->text(), QStringLiteral("开始"));
        QVERIFY(!m_screen->img().isNull());
        m_fixture.animations().advanceBy(ScrollView::kAnimatedScrollSeconds);
        QCOMPARE(offset(), bottom());
    }

    // A minimise is not leaving the tab: the climb goes on through it and
    // the restore, and the blow's end scores it.
    void minimiseWhileClimbingGoesOn() {
        m_screen->buttonClick(m_screen->playBtn());
        blow(6, 200);
        const double climbed = offset();
        QVERIFY(climbed < bottom());
        m_fixture.window()->setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(m_fixture.window()->isMinimized());
        blow(6, 100);
        m_fixture.window()->setWindowState(Qt::WindowNoState);
        QTRY_VERIFY(!m_fixture.window()->isMinimized());
        QVERIFY(m_screen->isTimerWorking());
        QCOMPARE(QMXBlewer::sharedInstance().Blewdelegate(), m_screen);
        QVERIFY(!m_screen->img().isNull());
        QCOMPARE(offset(), climbed - 5 * 6);
        m_screen->BlowAirOver(0, 0);
        QVERIFY(m_screen->secondLbl()->isVisibleTo(m_screen));
        QVERIFY(m_screen->firstLbl()->text() != QStringLiteral("对准麦克风吹吧"));
    }

    void wechatSharePointsTheConnectorWeiboLeavesIt() {
        m_screen->buttonClick(m_screen->playBtn());
        m_fixture.random().setValue(1);
        m_screen->BlowAirOver(0, 0);
        const int before = m_fixture.outboxRecords();
        m_screen->buttonClick(m_screen->shareBtnWeixin());
        const QString link = BlewFogViewController::shareLink(90, 2);
        QCOMPARE(SocialWechatHandler::url(), link);
        QTRY_COMPARE(m_fixture.outboxRecords(), before + 1);
        QCOMPARE(SocialData::defaultData()->extConfig().title(),
                 BlewFogViewController::shareTitle(m_screen->defealtMeter()));

        SocialWechatHandler::setWXAppId(QString::fromLatin1(VantoroKeys::wechatAppId),
                                        QStringLiteral("http://elsewhere"));
        m_screen->buttonClick(m_screen->shareBtnWeibo());
        QVERIFY(SocialShareEditor::current());
        QCOMPARE(SocialShareEditor::current()->text(),
                 BlewFogViewController::shareText(m_screen->defealtMeter(), 90, link));
        QCOMPARE(SocialWechatHandler::url(), QStringLiteral("http://elsewhere"));
        SocialShareEditor::current()->cancel();
    }

    void twoAppearancesLeaveOneEmitter() {
        m_fixture.tabs()->setSelectedIndex(1);
        m_fixture.tabs()->setSelectedIndex(0);
        m_fixture.tabs()->setSelectedIndex(1);
        m_fixture.tabs()->setSelectedIndex(0);
        QVERIFY(m_screen->smokeLayer());
        QCOMPARE(m_screen->findChildren<FogSmokeLayer*>().size(), 1);
    }
};

int main(int argc, char* argv[]) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestBlewFogViewController test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_blewfogviewcontroller.moc"
