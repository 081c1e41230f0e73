#include "screens/smoggame/blewfogviewcontroller.h"

#include "analytics/analytics.h"
#include "blow/qmxblewer.h"
#include "platform/system/localizedstrings.h"
#include "platform/system/random.h"
#include "platform/uikit/images.h"
#include "platform/uikit/mainscreen.h"
#include "platform/uikit/scrollview.h"
#include "platform/uikit/tabbarcontroller.h"
#include "platform/uikit/viewanimation.h"
#include "results/blewfogresult.h"
#include "results/resultscales.h"
#include "screens/smoggame/fogsmokelayer.h"
#include "share/sharing.h"
#include "share/transport/contentlinks.h"
#include "sound/qmxsoundeffectplayer.h"
#include "sound/qmxsoundplayer.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

namespace {

constexpr double kFogSeconds = 3.5;
constexpr double kTabBarSeconds = 0.5;
constexpr int kTickMilliseconds = 20;
constexpr double kBarCornerRadius = 2.0;
constexpr double kThumbCornerRadius = 4.5;
constexpr double kShareCornerRadius = 4.0;
const char* const kTagProperty = "tag";

QSizeF screenSize() {
    return MainScreen::boundsSize();
}

QRectF centred(QSizeF size, QPointF centre) {
    return {centre.x() - size.width() / 2, centre.y() - size.height() / 2, size.width(),
            size.height()};
}

ImageView* imageView(QWidget* parent, const QString& name, ImageView::ContentMode mode) {
    auto* view = new ImageView(parent);
    view->setImageNamed(name);
    view->setContentMode(mode);
    return view;
}

// A button's image is clipped to the button's rounded corners, as its layer
// would clip it.
QIcon roundedIcon(const QPixmap& image, QSize size, double radius, qreal ratio) {
    QPixmap rounded(size * ratio);
    rounded.setDevicePixelRatio(ratio);
    rounded.fill(Qt::transparent);
    QPainter painter(&rounded);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const QRectF frame(QPointF(0, 0), QSizeF(size));
    painter.drawPixmap(frame, image, QRectF(image.rect()));
    QPainterPath inside;
    inside.addRoundedRect(frame, radius, radius);
    QPainterPath corners;
    corners.addRect(frame);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    painter.fillPath(corners.subtracted(inside), Qt::black);
    return QIcon(rounded);
}

} // namespace

BlewFogViewController::BlewFogViewController(QWidget* parent) : BaseViewController(parent) {
    setTabItem(QStringLiteral("吹雾霾"), QStringLiteral("tab_fog"));
}

BlewFogViewController::~BlewFogViewController() {
    removeSomke();
}

void BlewFogViewController::viewDidLoad() {
    m_isTimerWorking = false;
    m_speed = 4;
    m_isStop = false;
    prepareViews();
    setAutoFillBackground(false);
    m_isBlewSoundPlaying = false;
}

void BlewFogViewController::viewWillAppear(bool) {
    Analytics::event(QStringLiteral("haze"));
    if (m_img.isNull())
        loadPicture();
    m_scrollImage->setImage(m_img);
    goback();
    for (QWidget* hidden :
         {static_cast<QWidget*>(m_shareBtnWeixin), static_cast<QWidget*>(m_shareBtnWeibo),
          static_cast<QWidget*>(m_shareBtnWXFriend), static_cast<QWidget*>(m_firstLbl),
          static_cast<QWidget*>(m_secondLbl)})
        hidden->hide();
    m_blewImg->show();
    m_fogBg->show();
    fogReturn();
    m_playBtn->setText(QStringLiteral("开始"));
    removeSomke();
    prepareFogSomke();
}

// The picture is large; it is not kept while another tab is on show.
void BlewFogViewController::viewWillDisappear(bool) {
    unstallTimer();
    QMXBlewer& blewer = QMXBlewer::sharedInstance();
    blewer.stopBlew();
    blewer.setBlewdelegate(nullptr);
    blewer.setIsPlay(false);
    m_img = QPixmap();
    m_scrollImage->setImage(QPixmap());
}

// ---- layout ---------------------------------------------------------------

void BlewFogViewController::loadPicture() {
    m_img = Images::named(QStringLiteral("bgImg.jpg"));
}

float BlewFogViewController::calculateFrame() const {
    if (m_img.isNull())
        return 0;
    const QSizeF picture = m_img.deviceIndependentSize();
    return float(picture.height()) * float(screenSize().width()) / float(picture.width());
}

void BlewFogViewController::prepareViews() {
    if (m_img.isNull())
        loadPicture();
    const QSizeF screen = screenSize();
    addScroller(screen);
    addGhostAndFog();
    addControls(screen);
    addLabels(screen);
    m_shareBtnWeixin = makeShareButton(1, WeixinTag, QStringLiteral("share_weixin"));
    m_shareBtnWXFriend = makeShareButton(3, FriendTag, QStringLiteral("share_friend"));
    m_shareBtnWeibo = makeShareButton(5, WeiboTag, QStringLiteral("share_weibo"));
}

void BlewFogViewController::addScroller(QSizeF screen) {
    const float hc = calculateFrame();
    m_scrollView = new ScrollView(this);
    m_scrollView->setGeometry(QRectF(QPointF(0, 0), screen).toRect());
    m_scrollView->setContentSize({screen.width(), hc});
    m_scrollView->setAutoFillBackground(true);
    m_scrollView->setPalette(QPalette(QColor::fromRgbF(0.5f, 0.5f, 0.5f)));
    // Touches never scroll it: only blowing does.
    m_scrollView->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_scrollImage = new ImageView(m_scrollView->contentView());
    m_scrollImage->setGeometry(QRectF(0, 0, screen.width(), hc).toRect());
    m_scrollImage->setContentMode(ImageView::ContentMode::AspectFit);
    m_scrollImage->setBackgroundColor(QColor::fromRgbF(0.4f, 0.4f, 0.4f));
    m_scrollImage->setImage(m_img);
    m_scrollView->setContentOffset({0, hc - screen.height()});
}

void BlewFogViewController::addGhostAndFog() {
    const QPointF centre = QRectF(rect()).center();
    m_spriteImg = imageView(this, QStringLiteral("fog_ghost"), ImageView::ContentMode::AspectFit);
    m_spriteImg->setGeometry(centred({110, 110}, centre - QPointF(0, 70)).toRect());
    m_fogBg = imageView(this, QStringLiteral("fog_bg"), ImageView::ContentMode::ScaleToFill);
    m_fogBg->setGeometry(rect());
    m_fogBg->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_blewImg = imageView(this, QStringLiteral("blew_wind"), ImageView::ContentMode::AspectFit);
    m_blewImg->setGeometry(
        centred({100, 100}, {centre.x(), QRectF(m_spriteImg->geometry()).center().y() + 90})
            .toRect());
    m_blewImg->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void BlewFogViewController::addControls(QSizeF screen) {
    const double w = screen.width();
    const double h = screen.height();
    m_playBtn = new QPushButton(QStringLiteral("开始"), this);
    m_playBtn->setGeometry(centred({240, 40}, {width() / 2.0, h - 100}).toRect());
    m_playBtn->setStyleSheet(QStringLiteral(
        "QPushButton { background: rgb(72,198,18); color: white; border: none; font-size: 15px; }"
        "QPushButton:pressed { color: rgba(255,255,255,120); }"));
    m_playBtn->setProperty(kTagProperty, int(PlayTag));
    connect(m_playBtn, &QPushButton::clicked, this, [this] { buttonClick(m_playBtn); });

    m_progressLbl = new QLabel(this);
    m_progressLbl->setGeometry(QRectF(w - 25, 80, 2, h - 200).toRect());
    // The radius is more than half the bar's width, which rounds its ends
    // fully; style sheets drop such a radius instead of clamping it.
    m_progressLbl->setStyleSheet(
        QStringLiteral("background: rgba(255,255,255,178); border-radius: %1px;")
            .arg(std::min(kBarCornerRadius, m_progressLbl->width() / 2.0)));
    m_thmubImg = new ImageView(this);
    const QRectF bar(m_progressLbl->geometry());
    m_thmubImg->setGeometry(
        centred({9, 9}, {bar.center().x(), bar.center().y() + (h - 200) / 2}).toRect());
    m_thmubImg->setBackgroundColor(Qt::white);
    m_thmubImg->setCornerRadius(kThumbCornerRadius);
}

void BlewFogViewController::addLabels(QSizeF screen) {
    const double w = screen.width();
    m_firstLbl = new QLabel(QStringLiteral("对准麦克风吹吧"), this);
    m_firstLbl->setGeometry(QRectF(30, 17, w - 60, 80).toRect());
    QFont arialBold(QStringLiteral("Arial"));
    arialBold.setBold(true);
    arialBold.setPixelSize(21);
    m_firstLbl->setFont(arialBold);
    m_firstLbl->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    m_firstLbl->setWordWrap(true);
    m_firstLbl->setAlignment(Qt::AlignCenter);
    m_firstLbl->hide();

    m_secondLbl = new QLabel(QStringLiteral("超越98%的环保卫士"), this);
    m_secondLbl->setGeometry(QRectF(30, 85, w - 60, 40).toRect());
    QFont system = font();
    system.setPixelSize(25);
    m_secondLbl->setFont(system);
    m_secondLbl->setStyleSheet(QStringLiteral("color: rgb(0,255,0); background: transparent;"));
    m_secondLbl->setAlignment(Qt::AlignCenter);
    m_secondLbl->hide();
}

QPushButton* BlewFogViewController::makeShareButton(int slot, Tag tag, const QString& image) {
    const double h = screenSize().height();
    const double s = screenSize().width() / 7;
    auto* button = new QPushButton(this);
    button->setGeometry(QRectF(slot * s, h - 140 - s, s, s).toRect());
    button->setIcon(roundedIcon(Images::named(image), button->size(), kShareCornerRadius,
                                button->devicePixelRatioF()));
    button->setIconSize(button->size());
    button->setStyleSheet(
        QStringLiteral(
            "QPushButton { background: transparent; border: none; border-radius: %1px; }")
            .arg(kShareCornerRadius));
    button->setProperty(kTagProperty, int(tag));
    connect(button, &QPushButton::clicked, this, [this, button] { buttonClick(button); });
    button->hide();
    return button;
}

// ---- fog, tab bar, timer ----------------------------------------------------

void BlewFogViewController::fogReturn() {
    ViewAnimation::animate(m_fogBg, "pos", QPoint(0, 0), kFogSeconds);
    ViewAnimation::animate(m_fogBg, "alpha", 1.0, kFogSeconds);
}

void BlewFogViewController::fogFade() {
    ViewAnimation::animate(m_fogBg, "alpha", 0.0, kFogSeconds);
}

void BlewFogViewController::hideTabBar(bool hide) {
    if (TabBarController* controller = tabBarController())
        controller->slideTabBar(hide, kTabBarSeconds);
}

void BlewFogViewController::installTimer() {
    m_timer = new QTimer(this);
    m_timer->setInterval(kTickMilliseconds);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &BlewFogViewController::timerTick);
    m_timer->start();
    m_isTimerWorking = true;
    m_playBtn->hide();
}

void BlewFogViewController::unstallTimer() {
    if (m_timer) {
        m_timer->stop();
        m_timer->deleteLater();
    }
    m_timer = nullptr;
    m_isTimerWorking = false;
    m_playBtn->show();
    m_playBtn->setText(QStringLiteral("再吹一次"));
}

// Climbs `speed` points a tick until within two steps of the top, lands on
// `speed`, then snaps to the top and ends the timer (which stays installed
// until it is uninstalled, so no second one starts meanwhile).
void BlewFogViewController::timerTick() {
    if (m_isStop)
        return;
    const float y = m_scrollView ? float(m_scrollView->contentOffset().y()) : 0.0f;
    const float v = float(m_speed);
    if (y - v <= 0) {
        m_scrollView->setContentOffset({0, 0}, false);
        if (m_timer)
            m_timer->stop();
        return;
    }
    const float step = y - v > v ? v : y - v;
    const QPointF offset(0, y - step);
    m_scrollView->setContentOffset(offset, false);
    calculateProcess(offset);
}

void BlewFogViewController::goback() {
    const QSizeF frame = m_scrollView->size();
    m_scrollView->scrollRectToVisible(
        QRectF(0, m_scrollView->contentSize().height() - screenSize().height(), frame.width(),
               frame.height()),
        true);
    const QRectF bar(m_progressLbl->geometry());
    placeThumb(float(bar.center().y() + bar.height() / 2));
}

void BlewFogViewController::placeThumb(float centreY) {
    const QRectF bar(m_progressLbl->geometry());
    m_thmubImg->setGeometry(centred({9, 9}, {bar.center().x(), centreY}).toRect());
}

// ---- playing ---------------------------------------------------------------

void BlewFogViewController::startToPlay() {
    goback();
    m_speed = 2;
    QMXBlewer& blewer = QMXBlewer::sharedInstance();
    blewer.setBlewdelegate(this);
    blewer.setIsPlay(true);
    blewer.blowAirstart();
    if (blewer.recorderUnavailable())
        cannotListen();
}

// No audio input at all: the player is told, and a game that was listening
// (the microphone gone between two waits) stops as an interruption does,
// so that the tab bar and the play button are back.
void BlewFogViewController::cannotListen() {
    if (m_playBtn->isHidden())
        wasInterrupt();
    showNoMicrophoneAlert();
}

void BlewFogViewController::BlowAirstart(bool started) {
    m_secondLbl->hide();
    m_firstLbl->show();
    m_firstLbl->setText(QStringLiteral("对准麦克风吹吧"));
    for (QPushButton* button : {m_shareBtnWeixin, m_shareBtnWXFriend, m_shareBtnWeibo})
        button->hide();
    m_blewImg->show();
    m_isStop = false;
    m_fogBg->show();
    fogReturn();
    if (started) {
        hideTabBar(true);
        m_playBtn->hide();
        updateFogWithLifeTime(10, 6);
    } else {
        unstallTimer();
    }
}

void BlewFogViewController::BlowAirupdataState(float level) {
    m_firstLbl->show();
    m_blewImg->hide();
    if (!m_isTimerWorking)
        beginClimb();
    m_speed = int(level);
}

// The first level of a blow. The fog fades once over the blow: a fade started
// anew at every level would begin again from where it is every 20 ms and
// hardly move. The climb starts from the bottom even if the scroll back of
// the start is still on its way, or a short blow would score from wherever
// that scroll had got to.
void BlewFogViewController::beginClimb() {
    m_scrollView->setContentOffset(bottomOffset(), false);
    installTimer();
    fogFade();
}

void BlewFogViewController::BlowCurrentTotal(int) {}

void BlewFogViewController::BlowAirOver(int, int) {
    QMXSoundEffectPlayer::sharedInstance().stop();
    m_isStop = true;
    unstallTimer();
    hideTabBar(false);
    showResult();
    m_isBlewSoundPlaying = false;
}

void BlewFogViewController::waitBlewTimeOut() {
    QMXBlewer::sharedInstance().stopBlew();
    startToPlay();
}

void BlewFogViewController::wasInterrupt() {
    hideTabBar(false);
    unstallTimer();
    m_isBlewSoundPlaying = false;
}

void BlewFogViewController::didFinishGetSocialDataInViewController(const SocialResponse& response) {
    // Share outcomes are the share service's to show.
    Q_UNUSED(response);
}

// ---- progress and result -----------------------------------------------------

float BlewFogViewController::scrollRange() const {
    return float(m_scrollView->contentSize().height()) - float(screenSize().height());
}

QPointF BlewFogViewController::bottomOffset() const {
    return {0, m_scrollView->contentSize().height() - screenSize().height()};
}

float BlewFogViewController::travel(float offsetY) const {
    return float(m_scrollView->contentSize().height()) - offsetY - float(screenSize().height());
}

QString BlewFogViewController::displayedMeters(float rawDistance) {
    float d = rawDistance;
    if (d < 3500)
        d = float(double(d) / 10 + 100);
    else if (d > 10000)
        d = d * 8;
    // The whole part of the distance as "%f" prints it.
    const QString printed = QString::asprintf("%f", double(d));
    return printed.section(u'.', 0, 0);
}

void BlewFogViewController::calculateProcess(QPointF offset) {
    const float t = travel(float(offset.y()));
    const QRectF bar(m_progressLbl->geometry());
    const float hb = float(bar.height());
    if (t <= 0) {
        placeThumb(float(bar.center().y()) + hb / 2);
        return;
    }
    const float range = scrollRange();
    placeThumb(float(bar.y()) + hb - t * hb / range);
    const int meters = displayedMeters(t * ResultScales::kSmogTopDistance / range).toInt();
    m_firstLbl->setText(QStringLiteral("%1米").arg(meters));
    m_defealtMeter = meters;
    updateFogWithLifeTime(10 - t * 10 / range, 6 - t * 6 / range);
}

int BlewFogViewController::percentForDistance(int finalDistance) {
    return BlewFogResult::percentForDistance(finalDistance);
}

bool BlewFogViewController::hasTwoVariants(int percent) {
    return BlewFogResult::hasTwoVariants(percent);
}

QString BlewFogViewController::commentKey(int percent, int variant) {
    return BlewFogResult::commentKey(percent, variant);
}

void BlewFogViewController::showResult() {
    const float range = scrollRange();
    const int finalDistance = int(travel(float(m_scrollView->contentOffset().y())) *
                                  ResultScales::kSmogTopDistance / range);
    m_secondLbl->show();
    for (QPushButton* button : {m_shareBtnWeixin, m_shareBtnWXFriend, m_shareBtnWeibo})
        button->show();
    const int percent = percentForDistance(finalDistance);
    m_defealtRandom = hasTwoVariants(percent) ? int(Random::shared().next() & 1u) + 1 : 1;
    // A poor blow lets the smog come back.
    if (percent <= 91)
        fogReturn();
    m_firstLbl->setText(LocalizedStrings::localizedStringForKey(
        commentKey(percent, m_defealtRandom), QString(), QStringLiteral("language")));
    showPercent(percent);
    playClosingSound();
}

// The number and its percent sign stand out in a large bold face.
void BlewFogViewController::showPercent(int percent) {
    const QString text = QStringLiteral("超越%1%的环保卫士").arg(percent);
    m_defealtPercent = percent;
    const int length = percent > 9 ? 3 : 2;
    m_secondLbl->setTextFormat(Qt::RichText);
    m_secondLbl->setText(
        text.left(2).toHtmlEscaped() +
        QStringLiteral(
            "<span style=\"font-family:'Arial'; font-weight:bold; font-size:38px\">%1</span>")
            .arg(text.mid(2, length).toHtmlEscaped()) +
        text.mid(2 + length).toHtmlEscaped());
}

void BlewFogViewController::playClosingSound() {
    QMXSoundPlayer::sharedInstance().playASoundOnSpeaker(QStringLiteral("吹完音效"));
}

// ---- buttons and sharing ---------------------------------------------------

QString BlewFogViewController::shareLink(int percent, int random) {
    return ContentLinks::link(
        QStringLiteral("/wechat/getPm25Capacity.do?percent=%1&random=%2").arg(percent).arg(random));
}

QString BlewFogViewController::shareText(int meter, int percent, const QString& link) {
    return QStringLiteral("我在玩 @Vantoro 我把雾霾吹到了%1米。超越了%2%的环保卫士.")
               .arg(meter)
               .arg(percent) +
           link;
}

QString BlewFogViewController::shareTitle(int meter) {
    return QStringLiteral("我把雾霾吹到了%1米 - %2 ").arg(meter).arg(QStringLiteral("Vantoro"));
}

void BlewFogViewController::buttonClick(QObject* sender) {
    const QString link = shareLink(m_defealtPercent, m_defealtRandom);
    const QString text = shareText(m_defealtMeter, m_defealtPercent, link);
    Sharing::setSharedTitle(shareTitle(m_defealtMeter));
    const int tag = sender ? sender->property(kTagProperty).toInt() : 0;
    if (tag == PlayTag) {
        Analytics::event(QStringLiteral("haze_amount"));
        startToPlay();
        return;
    }
    share(tag, text, link);
}

void BlewFogViewController::share(int tag, const QString& text, const QString& link) {
    if (tag != WeixinTag && tag != FriendTag && tag != WeiboTag)
        return;
    Analytics::event(QStringLiteral("haze_share"));
    if (tag == WeiboTag) {
        Sharing::openWeiboEditor(this, text);
        return;
    }
    Sharing::post(this,
                  tag == WeixinTag ? Sharing::Network::WechatChat : Sharing::Network::WechatMoments,
                  text, link);
}

QByteArray BlewFogViewController::shotScreen() const {
    return Sharing::screenshot();
}

// ---- smoke -------------------------------------------------------------------

void BlewFogViewController::prepareFogSomke() {
    m_smokeLayer = FogSmokeLayer::prepareOn(m_spriteImg, this, Random::shared().next());
}

void BlewFogViewController::removeSomke() {
    if (m_smokeLayer)
        m_smokeLayer->remove();
    m_smokeLayer = nullptr;
}

void BlewFogViewController::updateFogWithLifeTime(float lifeTime, float birthRate) {
    if (m_smokeLayer)
        m_smokeLayer->updateWithLifeTime(lifeTime, birthRate);
}
