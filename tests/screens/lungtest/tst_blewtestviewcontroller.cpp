#include "analytics/analytics.h"
#include "blow/qmxblewer.h"
#include "platform/audio/audiosession.h"
#include "platform/system/device.h"
#include "platform/uikit/alertview.h"
#include "platform/uikit/imageview.h"
#include "platform/uikit/mainscreen.h"
#include "platform/uikit/tabbar.h"
#include "platform/uikit/tabbarcontroller.h"
#include "results/blewresultstring.h"
#include "screens/lungtest/blewtestviewcontroller.h"
#include "screens/lungtest/qmxrotateview.h"
#include "share/blewcommonutil.h"
#include "share/service/socialdata.h"
#include "share/sheet/socialsnssheet.h"
#include "share/vantorokeys.h"
#include "support/screenfixture.h"

#include <QApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

// The lung test screen driven through its detector events, as the detector
// would send them: loops run in virtual time (a quiet microphone waits out
// its 10 s at once and its timeout waits in the main queue until the test
// lets it through), animations move when the test advances them, sounds go
// to fake players, shares to an outbox.
class TestBlewTestViewController : public QObject {
    Q_OBJECT

    ScreenFixture m_fixture{-40.0f};
    BlewTestViewController* m_screen = nullptr;

    TabBar* tabBar() const { return m_fixture.tabBar(); }
    QPoint buttonRestPos() const { return {0, 434}; }
    int eventCount(const QString& name) const {
        return int(Analytics::acceptedEvents().count(name));
    }
    QStringList soundsPlayed() const { return m_fixture.soundsPlayed(); }
    QLabel* cardLabel(const char* name) const {
        return m_screen->popView()->findChild<QLabel*>(QLatin1String(name));
    }
    // The screen's longest animations are its 0.8 s slides.
    void finishAnimations() { m_fixture.animations().advanceBy(0.8); }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        // The application's font, as its start sets it: the card's texts
        // are measured in it.
        QApplication::setFont(QFont(QStringLiteral("Liberation Sans")));
        MainScreen::set({320, 568}, 2);
        Analytics::startWithAppkey(QStringLiteral("test"), 0);
        SocialData::setAppKey(QString::fromLatin1(VantoroKeys::appKey));
    }

    void init() {
        m_screen = new BlewTestViewController;
        m_fixture.show(m_screen);
    }

    void cleanup() { m_fixture.close(); }

    void layout_data() {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QString>("system");
        QTest::addColumn<QPoint>("pinwheelCentre");
        QTest::addColumn<QPoint>("buttonOrigin");
        QTest::newRow("320x568, system 7, 640x1136")
            << QSize(320, 568) << "7.0" << QPoint(145, 214) << QPoint(0, 434);
        QTest::newRow("320x480, system 6, 640x960")
            << QSize(320, 480) << "6.1" << QPoint(145, 195) << QPoint(0, 341);
    }
    void layout() {
        QFETCH(QSize, screen);
        QFETCH(QString, system);
        QFETCH(QPoint, pinwheelCentre);
        QFETCH(QPoint, buttonOrigin);
        MainScreen::set(screen, 2);
        Device::setSystemVersion(system);
        BlewTestViewController view;
        view.resize(screen);
        view.loadViewIfNeeded();
        MainScreen::set({320, 568}, 2);
        Device::setSystemVersion(QStringLiteral("7.0"));

        const int w = screen.width();
        const int h = screen.height();
        QCOMPARE(view.blewView()->geometry(), QRect(15, 35, w - 30, h - 84));
        QCOMPARE(view.rotateView()->size(), QSize(w - 130, h - 130));
        QCOMPARE(view.rotateView()->geometry().center() + QPoint(1, 1), pinwheelCentre);
        QCOMPARE(view.startBlewBtn()->geometry(), QRect(buttonOrigin, QSize(w - 30, 40)));
        // The stick hangs from the pinwheel's centre; the cap sits on it.
        const QPoint stick = view.stickView()->geometry().topLeft() - view.blewView()->pos();
        QCOMPARE(stick, pinwheelCentre - QPoint(5, 0));
        QCOMPARE(view.stickView()->size(), QSize(10, h));
        QCOMPARE(view.centerView()->geometry(),
                 QRect(pinwheelCentre - QPoint(12, 12), QSize(25, 25)));
        QCOMPARE(view.energyView()->geometry(), QRect(w - 65, pinwheelCentre.y() - 65, 25, 100));
        QVERIFY(!view.energyView()->isVisibleTo(&view));
        QCOMPARE(view.startBlewBtn()->text(), QStringLiteral("点我开始测试"));
    }

    void startTapCoversAndLowers() {
        const int taps = eventCount("blow_amount");
        QTest::mouseClick(m_screen->startBlewBtn(), Qt::LeftButton);
        QCOMPARE(eventCount("blow_amount"), taps + 1);
        QCOMPARE(m_screen->startBlewBtn()->text(), QStringLiteral("对着话筒吹吧~"));
        QVERIFY(m_screen->coverImg());
        QCOMPARE(m_screen->coverImg()->parentWidget(), m_fixture.window());
        QVERIFY(QMXBlewer::sharedInstance().isMonitorActive());
        finishAnimations();
        QTRY_COMPARE(tabBar()->y(), 568);
        QTRY_COMPARE(m_screen->startBlewBtn()->pos(), buttonRestPos() + QPoint(0, 100));
        QTRY_COMPARE(m_screen->coverImg()->alpha(), 1.0);
        // Tapping again while waiting starts nothing new and keeps the cover.
        ImageView* cover = m_screen->coverImg();
        const int recorders = m_fixture.recorders();
        QTest::mouseClick(m_screen->startBlewBtn(), Qt::LeftButton);
        QCOMPARE(m_fixture.recorders(), recorders);
        QCOMPARE(m_screen->coverImg(), cover);
        QCOMPARE(eventCount("blow_amount"), taps + 2);
    }

    // Without any audio input the player is told so, in the alert, and the
    // screen stays usable: no cover, the tab bar where it was. A microphone
    // plugged in afterwards is heard at the next tap.
    void noMicrophoneSaysSoAndLeavesTheScreenUsable() {
        m_fixture.setNoMicrophone(true);
        QTest::mouseClick(m_screen->startBlewBtn(), Qt::LeftButton);
        QVERIFY(!m_screen->coverImg());
        QVERIFY(AlertView::current());
        QCOMPARE(AlertView::current()->title(), QStringLiteral("没有找到麦克风"));
        QCOMPARE(m_screen->startBlewBtn()->text(), QStringLiteral("点我开始测试"));
        QCOMPARE(tabBar()->y(), 568 - 49);
        AlertView::current()->clickButtonAtIndex(0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!AlertView::current());

        m_fixture.setNoMicrophone(false);
        QTest::mouseClick(m_screen->startBlewBtn(), Qt::LeftButton);
        QVERIFY(m_screen->coverImg());
        QVERIFY(QMXBlewer::sharedInstance().isMonitorActive());
    }

    void onlyTheFirstLevelEventActs() {
        m_screen->readyToBlew();
        m_screen->BlowAirupdataState(6);
        m_screen->BlowAirupdataState(7);
        m_screen->BlowAirupdataState(8);
        QVERIFY(m_screen->rotateView()->isStart());
        QCOMPARE(soundsPlayed(), QStringList{"blow.mp3"});
        finishAnimations();
        QTRY_VERIFY(!m_screen->coverImg());
        // Tapping start while the pinwheel spins only logs the tap.
        const QString title = m_screen->startBlewBtn()->text();
        const int taps = eventCount("blow_amount");
        m_screen->startBlew();
        QCOMPARE(eventCount("blow_amount"), taps + 1);
        QCOMPARE(m_screen->startBlewBtn()->text(), title);
    }

    void energyBar_data() {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<QString>("image");
        QTest::newRow("0") << 0 << "energy_1";
        QTest::newRow("1199") << 1199 << "energy_1";
        QTest::newRow("1200") << 1200 << "energy_2";
        QTest::newRow("2999") << 2999 << "energy_4";
        QTest::newRow("4799") << 4799 << "energy_7";
        QTest::newRow("4800") << 4800 << "energy_8";
        QTest::newRow("6000") << 6000 << "energy_8";
    }
    void energyBar() {
        QFETCH(int, capacity);
        QFETCH(QString, image);
        m_screen->BlowCurrentTotal(capacity);
        QVERIFY(m_screen->energyView()->isVisible());
        QCOMPARE(m_screen->energyView()->imageName(), image);
        m_screen->updateEnergyState(-1);
        QVERIFY(!m_screen->energyView()->isVisible());
    }

    void endOfBlowShowsTheCard() {
        m_screen->readyToBlew();
        m_screen->BlowAirupdataState(8);
        m_screen->BlowCurrentTotal(3250);
        AudioSession::sharedInstance().reset();
        m_screen->BlowAirOver(3250, 54);
        QVERIFY(!m_screen->rotateView()->isStart());
        QVERIFY(!m_screen->energyView()->isVisible());
        QCOMPARE(soundsPlayed(), (QStringList{"blow.mp3", "blew_result.mp3"}));
        QCOMPARE(AudioSession::sharedInstance().category(), AudioSession::Category::Playback);
        QCOMPARE(AudioSession::sharedInstance().portOverride(),
                 AudioSession::PortOverride::Speaker);
        QVERIFY(m_screen->popView());
        QCOMPARE(m_screen->popView()->parentWidget(), m_fixture.window());
        QCOMPARE(m_screen->popView()->geometry(), m_fixture.window()->rect());
        QCOMPARE(cardLabel("valueLabel")->text(), QStringLiteral("3250毫升"));
        // r = 0 picks the first comment of band 2.
        QCOMPARE(m_screen->currentKey(), QStringLiteral("2_0"));
        QCOMPARE(cardLabel("commentLabel")->text(),
                 QStringLiteral("超越了全球54%的环保卫士,") +
                     BlewResultString::sharedInstance().getResultString("BlewLvl_2_0"));
        QCOMPARE(m_screen->totalAir(), 3250);
        QCOMPARE(m_screen->defeatPercent(), 54);
        finishAnimations();
        QTRY_COMPARE(tabBar()->y(), 568 - 49);
        QTRY_COMPARE(m_screen->startBlewBtn()->pos(), buttonRestPos());

        // A second card while one shows keeps the first one's values.
        QWidget* card = m_screen->popView();
        m_screen->showBlewResultAlertwithTotalAir(100, 1);
        QCOMPARE(m_screen->popView(), card);
        QCOMPARE(m_screen->totalAir(), 3250);
    }

    void tapsOnTheOverlayClose_data() {
        QTest::addColumn<QPoint>("where");
        QTest::newRow("outside the card") << QPoint(160, 80);
        QTest::newRow("on the card, off its buttons") << QPoint(160, 300);
    }
    void tapsOnTheOverlayClose() {
        QFETCH(QPoint, where);
        m_screen->showBlewResultAlertwithTotalAir(2000, 33);
        QWidget* overlay = m_screen->popView();
        QWidget* target = overlay->childAt(where) ? overlay->childAt(where) : overlay;
        QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(overlay, where));
        QVERIFY(!m_screen->popView());
        QCOMPARE(m_screen->startBlewBtn()->text(), QStringLiteral("再吹一次"));
    }

    // Every comment, after the longest percent, fits the card's text area
    // at the card's width in the card's font, and its last line keeps clear
    // of the buttons by half a line, as the first keeps clear of the title.
    void everyCommentFitsAboveTheButtons() {
        BlewResultString::sharedInstance().loadBook();
        m_screen->showBlewResultAlertwithTotalAir(6000, 100);
        QLabel* label = cardLabel("commentLabel");
        const int buttonsTop =
            m_screen->popView()->findChild<QPushButton*>("shareButton")->geometry().top();
        const int clearance = QFontMetrics(label->font()).height() / 2;
        int comments = 0;
        for (int band = 0; band < 4; ++band) {
            for (int index = 0; index < BlewResultString::countFor(band); ++index) {
                const QString comment = BlewResultString::sharedInstance().getResultString(
                    QStringLiteral("BlewLvl_%1_%2").arg(band).arg(index));
                QVERIFY(!comment.isEmpty());
                label->setText(QStringLiteral("超越了全球100%的环保卫士,") + comment);
                const int needed = label->heightForWidth(label->width());
                // Where the text ends: a centred block ends half the spare
                // room above the label's bottom.
                const int spare = label->height() - needed;
                const int bottom = label->geometry().top() + needed +
                                   (label->alignment() & Qt::AlignVCenter ? spare / 2 : 0);
                QVERIFY2(spare >= 0 && bottom + clearance <= buttonsTop,
                         qPrintable(QStringLiteral("%1_%2 ends at %3, buttons at %4: %5")
                                        .arg(band)
                                        .arg(index)
                                        .arg(bottom)
                                        .arg(buttonsTop)
                                        .arg(comment)));
                ++comments;
            }
        }
        QCOMPARE(comments, 71);
    }

    // A minimise is not a tab switch: the blow goes on, and its card is
    // whole (comment included) when the window comes back.
    void minimiseMidBlowKeepsTheResultWhole() {
        m_screen->readyToBlew();
        m_screen->BlowAirupdataState(8);
        m_fixture.window()->setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(!m_fixture.tabs()->isVisible() || m_fixture.window()->isMinimized());
        m_screen->BlowAirOver(3250, 54);
        m_fixture.window()->setWindowState(Qt::WindowNoState);
        QTRY_VERIFY(!m_fixture.window()->isMinimized());
        QVERIFY(m_screen->popView());
        QCOMPARE(cardLabel("commentLabel")->text(),
                 QStringLiteral("超越了全球54%的环保卫士,") +
                     BlewResultString::sharedInstance().getResultString("BlewLvl_2_0"));
        QVERIFY(!BlewResultString::sharedInstance().getResultString("BlewLvl_2_0").isEmpty());
    }

    void endOfBlowOnAnotherTabMakesNoCard() {
        m_screen->readyToBlew();
        m_screen->BlowAirupdataState(8);
        m_fixture.tabs()->setSelectedIndex(1);
        m_screen->BlowAirOver(4000, 66);
        QVERIFY(!m_screen->popView());
        QCOMPARE(m_screen->totalAir(), 0);
        QVERIFY(soundsPlayed().contains("blew_result.mp3"));
        QVERIFY(!m_screen->rotateView()->isStart());
    }

    void timeoutThenBlowThenGiveUp() {
        m_screen->startBlew();
        const int recorders = m_fixture.recorders();
        m_fixture.dispatch().drainMain();
        AlertView* alert = AlertView::current();
        QVERIFY(alert);
        QCOMPARE(alert->title(), QStringLiteral("少年您还吹吗？"));
        QCOMPARE(alert->buttonTitles(), (QStringList{"不吹", "吹"}));
        QVERIFY(!QMXBlewer::sharedInstance().isMonitorActive());
        ImageView* cover = m_screen->coverImg();
        QVERIFY(cover);

        alert->clickButtonAtIndex(1);
        QCOMPARE(m_fixture.recorders(), recorders + 1);
        QCOMPARE(m_screen->startBlewBtn()->text(), QStringLiteral("再吹一次"));
        QCOMPARE(m_screen->coverImg(), cover);
        finishAnimations();
        // Lowered once, however often it was asked to lower.
        QCOMPARE(m_screen->startBlewBtn()->pos(), buttonRestPos() + QPoint(0, 100));

        m_fixture.dispatch().drainMain();
        QVERIFY(AlertView::current());
        AlertView::current()->clickButtonAtIndex(0);
        QCOMPARE(m_screen->startBlewBtn()->text(), QStringLiteral("再吹一次"));
        finishAnimations();
        QTRY_VERIFY(!m_screen->coverImg());
        QTRY_COMPARE(tabBar()->y(), 568 - 49);
        QTRY_COMPARE(m_screen->startBlewBtn()->pos(), buttonRestPos());
    }

    // The share capture shows the test beneath the card; every network gets
    // the same title, text and image, and the text carries the card's comment.
    void shareGivesEveryNetworkTheSameContent() {
        m_screen->readyToBlew();
        m_screen->BlowAirupdataState(8);
        m_fixture.random().setValue(4294967295u - 1);
        m_screen->BlowAirOver(3250, 54);
        finishAnimations();
        QTRY_VERIFY(!m_screen->coverImg());
        const QString prefix = QStringLiteral("超越了全球54%的环保卫士,");
        const QString comment = cardLabel("commentLabel")->text().mid(prefix.size());
        QCOMPARE(m_screen->currentKey(), QStringLiteral("2_16"));
        QCOMPARE(comment, BlewResultString::sharedInstance().getResultString("BlewLvl_2_16"));
        finishAnimations();

        QList<QJsonObject> records;
        for (const QString name : {"wxtimeline", "sina", "wxsession"}) {
            const int shares = eventCount("blow_share");
            if (!m_screen->popView())
                m_screen->showBlewResultAlertwithTotalAir(3250, 54);
            QTest::mouseClick(m_screen->popView()->findChild<QPushButton*>("shareButton"),
                              Qt::LeftButton);
            QCOMPARE(eventCount("blow_share"), shares + 1);
            QVERIFY(!m_screen->popView());
            const QImage capture(BlewCommonUtil::screenShowPath());
            QCOMPARE(capture.size(), QSize(640, 1136));
            // Where the card stood, the capture shows the screen's grey.
            QCOMPARE(capture.pixelColor(90, 800), QColor(252, 252, 252));
            SocialSnsSheet* sheet = SocialSnsSheet::current();
            QVERIFY(sheet);
            QCOMPARE(sheet->platformNames(), (QStringList{"wxtimeline", "sina", "wxsession"}));
            QVERIFY(sheet->pick(name));
            SocialData* data = SocialData::defaultData();
            QCOMPARE(data->extConfig().title(), QStringLiteral("我的肺活量3250毫升 - Vantoro "));
            QVERIFY2(data->shareText().contains(comment), qPrintable(data->shareText()));
            QVERIFY(data->shareText().contains("value=3250&percent=54&level=2_16"));
            QCOMPARE(data->shareImage().size(), QSize(640, 1136));
            QCOMPARE(data->urlResource().resourceType(), 0);
            QVERIFY(data->urlResource().url().isEmpty());
        }
        QDir outbox(m_fixture.outboxPath());
        QTRY_COMPARE(outbox.entryList({"*.json"}).size(), 3);
        for (const QString& file : outbox.entryList({"*.json"}, QDir::Files, QDir::Name)) {
            QFile f(outbox.filePath(file));
            QVERIFY(f.open(QIODevice::ReadOnly));
            records << QJsonDocument::fromJson(f.readAll()).object();
        }
        QCOMPARE(records[0]["platform"].toString(), QStringLiteral("wxtimeline"));
        QCOMPARE(records[2]["platform"].toString(), QStringLiteral("wxsession"));
        for (const QJsonObject& record : records) {
            QCOMPARE(record["title"], records[0]["title"]);
            QCOMPARE(record["text"], records[0]["text"]);
        }
    }
};

int main(int argc, char* argv[]) {
    // The phone's scale, as the application sets it.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestBlewTestViewController test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_blewtestviewcontroller.moc"
