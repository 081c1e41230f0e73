#include "screens/lungtest/blewtestviewcontroller.h"

#include "analytics/analytics.h"
#include "blow/qmxblewer.h"
#include "platform/system/device.h"
#include "platform/uikit/alertview.h"
#include "platform/uikit/imageview.h"
#include "platform/uikit/keywindow.h"
#include "platform/uikit/mainscreen.h"
#include "platform/uikit/tabbarcontroller.h"
#include "platform/uikit/tapoverlay.h"
#include "platform/uikit/viewanimation.h"
#include "results/blewresultstring.h"
#include "results/resultscales.h"
#include "screens/lungtest/qmxrotateview.h"
#include "share/sharing.h"
#include "share/sheet/imagehelpers.h"
#include "sound/qmxsoundeffectplayer.h"
#include "sound/qmxsoundplayer.h"

#include <QLabel>
#include <QPushButton>

namespace {

QColor grey(int level) {
    return QColor(level, level, level);
}
QColor white(double w) {
    return QColor::fromRgbF(float(w), float(w), float(w));
}
const QColor kOrange = QColor::fromRgbF(1.0f, 0.5f, 0.0f);

// The longest comments take three lines of the card's 13-point text, and a
// text area of 50 points put the third line against the buttons: the area
// is three lines high, top-aligned, with the buttons a clear gap below it
// and the card as much taller.
constexpr int kCommentHeight = 52;
constexpr double kCardHeight = 130 + 10;

// The platform's slide and fade durations.
constexpr double kSlideSeconds = double(0.8f);
constexpr double kFadeSeconds = 0.5;
constexpr double kSlideDistance = 100;

QLabel* makeLabel(QWidget* parent, const QString& text, QColor color, int pixelSize) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    label->setAttribute(Qt::WA_TranslucentBackground);
    return label;
}

QRectF centredRect(QSizeF size, QPointF centre) {
    return {centre.x() - size.width() / 2, centre.y() - size.height() / 2, size.width(),
            size.height()};
}

QPushButton* makeCardButton(QWidget* card, const QString& title, QRect frame) {
    auto* button = new QPushButton(title, card);
    button->setGeometry(frame);
    button->setStyleSheet(
        ImageHelpers::buttonStyleSheet(
            ImageHelpers::plainImageWithName("new_feature_finish_button"),
            ImageHelpers::plainImageWithName("new_feature_finish_button_highlighted")) +
        QStringLiteral("QPushButton { color: white; font-size: 14px; }"));
    return button;
}

} // namespace

BlewTestViewController::BlewTestViewController(QWidget* parent) : BaseViewController(parent) {
    setTabItem(QStringLiteral("肺活量"), QStringLiteral("tab_lung"));
}

BlewTestViewController::~BlewTestViewController() {
    delete m_coverImg;
    delete m_popView;
}

void BlewTestViewController::viewDidLoad() {
    prepareViews();
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, grey(252));
    setPalette(palette);
}

void BlewTestViewController::viewWillAppear(bool) {
    Analytics::event(QStringLiteral("blow"));
    BlewResultString::sharedInstance().loadBook();
}

void BlewTestViewController::viewDidDisappear(bool) {
    BlewResultString::sharedInstance().releaseBook();
}

// ---- layout ---------------------------------------------------------------

void BlewTestViewController::prepareViews() {
    const double w = width();
    const double h = height();
    const QSizeF pixels = MainScreen::boundsSize() * MainScreen::scale();
    const bool fourInch = pixels.toSize() == QSize(640, 1136);
    const bool oldSystem = Device::systemMajorVersion() < 7;
    const QPointF centre(w / 2 - 15, (h - 130) / 2 + 20 - (fourInch ? 25 : 0));
    const double yb = h - 129 - (oldSystem ? 10 : 0) - (fourInch ? 5 : 0);

    m_blewView = new QWidget(this);
    m_blewView->setGeometry(QRectF(15, 35, w - 30, h - 84).toRect());
    addLabels(w);
    addPinwheel(w, h, centre);
    addStartButton(w, yb);
    addEnergyBar(w, centre);
}

void BlewTestViewController::addLabels(double w) {
    const QSizeF size(w - 130, 17);
    QLabel* heading = makeLabel(m_blewView, QStringLiteral("吹一吹,比一比!"), grey(80), 15);
    heading->setGeometry(centredRect(size, {w / 2 - 15, 8.5}).toRect());
    heading->setAlignment(Qt::AlignCenter);
    QLabel* hint = makeLabel(m_blewView, QStringLiteral("对准手机话筒吹"), grey(80), 13);
    hint->setGeometry(centredRect(size, {w / 2 - 15, 25.5}).toRect());
    hint->setAlignment(Qt::AlignCenter);
}

// The stick hangs from the pinwheel's centre past the bottom of the test's
// container. Widgets clip to their parent, so the stick is a child of the
// screen itself, placed beneath the container, which draws no background of
// its own over the screen's identical grey.
void BlewTestViewController::addPinwheel(double w, double h, QPointF centre) {
    m_rotateView = new QMXRotateView(m_blewView);
    m_rotateView->setGeometry(centredRect({w - 130, h - 130}, centre).toRect());

    const QPointF offset = m_blewView->pos();
    m_stick = new ImageView(this);
    m_stick->setImageNamed(QStringLiteral("blew_Img_stick"));
    m_stick->setGeometry(
        QRectF(centre.x() - 5 + offset.x(), centre.y() + offset.y(), 10, h).toRect());
    m_stick->stackUnder(m_blewView);

    m_center = new ImageView(m_blewView);
    m_center->setImageNamed(QStringLiteral("blew_Img_center"));
    m_center->setContentMode(ImageView::ContentMode::AspectFit);
    m_center->setGeometry(centredRect({25, 25}, centre).toRect());
}

void BlewTestViewController::addStartButton(double w, double yb) {
    m_startBlewBtn = new QPushButton(QStringLiteral("点我开始测试"), m_blewView);
    m_startBlewBtn->setGeometry(QRectF(0, yb, w - 30, 40).toRect());
    m_startBlewBtn->setStyleSheet(
        ImageHelpers::buttonStyleSheet(
            ImageHelpers::resizedImageWithName(QStringLiteral("new_feature_finish_button")),
            ImageHelpers::resizedImageWithName(
                QStringLiteral("new_feature_finish_button_highlighted"))) +
        QStringLiteral("QPushButton { color: white; font-size: 15px; }"));
    m_buttonRest = QRectF(m_startBlewBtn->geometry()).center();
    connect(m_startBlewBtn, &QPushButton::clicked, this, [this] { startBlew(m_startBlewBtn); });
}

void BlewTestViewController::addEnergyBar(double w, QPointF centre) {
    m_energyView = new ImageView(m_blewView);
    m_energyView->setImageNamed(QStringLiteral("energy_7"));
    m_energyView->setContentMode(ImageView::ContentMode::AspectFit);
    m_energyView->setGeometry(centredRect({25, 100}, {w - 52.5, centre.y() - 15}).toRect());
    m_energyView->hide();
}

// ---- starting a test ------------------------------------------------------

void BlewTestViewController::startBlew(QObject*) {
    Analytics::event(QStringLiteral("blow_amount"));
    if (m_rotateView->isStart())
        return;
    const QString title = m_startBlewBtn->text();
    m_startBlewBtn->setText(QStringLiteral("对着话筒吹吧~"));
    readyToBlew();
    if (QMXBlewer::sharedInstance().recorderUnavailable())
        m_startBlewBtn->setText(title);
}

// Without any audio input nothing can be heard: the cover would wait over
// the whole window, tab bar included, for a blow that never comes. The
// player is told instead, and the screen stays usable.
void BlewTestViewController::readyToBlew() {
    QMXBlewer& blewer = QMXBlewer::sharedInstance();
    blewer.setBlewdelegate(this);
    blewer.setIsPlay(false);
    blewer.blowAirstart();
    if (blewer.recorderUnavailable()) {
        // A test that was waiting ("吹" after a timeout) is given up.
        if (m_coverImg)
            wasInterrupt();
        showNoMicrophoneAlert();
        return;
    }
    showBlewCoverImageView();
}

void BlewTestViewController::showBlewCoverImageView() {
    if (m_coverImg)
        return;
    auto* cover = new ImageView(KeyWindow::keyWindow());
    cover->setGeometry(QRect(QPoint(0, 0), size()));
    cover->setContentMode(ImageView::ContentMode::AspectFit);
    cover->setBackgroundColor(grey(249));
    cover->setImageNamed(QStringLiteral("blew_cover"));
    cover->setAlpha(0);
    // Touches go to what lies beneath, the start button included.
    cover->setAttribute(Qt::WA_TransparentForMouseEvents);
    cover->show();
    cover->raise();
    m_coverImg = cover;
    ViewAnimation::animate(cover, "alpha", 1.0, kFadeSeconds);
}

void BlewTestViewController::removeBlewCoverImageView() {
    if (!m_coverImg)
        return;
    QPointer<ImageView> cover = m_coverImg;
    ViewAnimation::animate(cover, "alpha", 0.0, kFadeSeconds, ViewAnimation::defaultCurve(),
                           [this, cover](bool) {
                               if (!cover)
                                   return;
                               if (m_coverImg == cover)
                                   m_coverImg = nullptr;
                               cover->deleteLater();
                           });
}

// ---- energy bar and slides -------------------------------------------------

void BlewTestViewController::updateEnergyState(int level) {
    if (level < 0) {
        m_energyView->hide();
        return;
    }
    const int k = std::clamp(level, 1, 8);
    m_energyView->setImageNamed(QStringLiteral("energy_%1").arg(k));
    m_energyView->show();
}

// Each lowering (a recording that started) is paired with a raising (end of
// blow, or giving up). Paths that break the pairing (answering "吹" to the
// timeout prompt, a recording that would not start) would otherwise push the
// button 100 points further each time, off the screen or into the pinwheel,
// so the button moves between its two places only.
void BlewTestViewController::animationSlideImg(bool up) {
    const QPointF target = up ? m_buttonRest : m_buttonRest + QPointF(0, kSlideDistance);
    moveStartButtonTo(target);
}

void BlewTestViewController::moveStartButtonTo(QPointF centre) {
    const QPointF topLeft =
        centre - QPointF(m_startBlewBtn->width() / 2.0, m_startBlewBtn->height() / 2.0);
    ViewAnimation::animate(m_startBlewBtn, "pos", topLeft.toPoint(), kSlideSeconds);
}

void BlewTestViewController::hideTabBar(bool hide) {
    if (TabBarController* controller = tabBarController())
        controller->slideTabBar(hide, kSlideSeconds);
}

// ---- detector events -------------------------------------------------------

void BlewTestViewController::BlowAirstart(bool started) {
    if (started)
        hideTabBar(true);
    animationSlideImg(!started);
}

void BlewTestViewController::BlowAirupdataState(float) {
    if (m_rotateView->isStart())
        return;
    removeBlewCoverImageView();
    m_rotateView->start();
    QMXSoundEffectPlayer::sharedInstance().playSound(QStringLiteral("吹气音效"));
}

void BlewTestViewController::BlowCurrentTotal(int capacity) {
    const int percent = int(float(capacity) / float(ResultScales::kCapacityScale) * 100.0f);
    updateEnergyState(percent / 10);
}

void BlewTestViewController::BlowAirOver(int capacity, int ranking) {
    QMXSoundEffectPlayer::sharedInstance().stop();
    m_rotateView->stop();
    updateEnergyState(-1);
    animationSlideImg(true);
    hideTabBar(false);
    QMXSoundPlayer::sharedInstance().playASoundOnSpeaker(QStringLiteral("吹完音效"));
    // On another tab there is no one to show the card to.
    if (isVisible())
        showBlewResultAlertwithTotalAir(capacity, ranking);
}

void BlewTestViewController::waitBlewTimeOut() {
    QMXBlewer::sharedInstance().stopBlew();
    auto* alert = new AlertView(QStringLiteral("少年您还吹吗？"), QString(), this,
                                QStringLiteral("不吹"), {QStringLiteral("吹")});
    alert->setTag(kAlertTag);
    alert->show();
}

void BlewTestViewController::wasInterrupt() {
    m_startBlewBtn->setText(QStringLiteral("再吹一次"));
    animationSlideImg(true);
    removeBlewCoverImageView();
    hideTabBar(false);
}

void BlewTestViewController::alertView(AlertView* alert, int buttonIndex) {
    if (!alert || alert->tag() != kAlertTag)
        return;
    if (buttonIndex == 1)
        blewAgain();
    else if (buttonIndex == 0)
        wasInterrupt();
}

// ---- result card -----------------------------------------------------------

void BlewTestViewController::blewAgain() {
    dismissFromSuper(nullptr);
    readyToBlew();
}

void BlewTestViewController::dismissFromSuper(QObject*) {
    if (m_popView) {
        m_popView->hide();
        m_popView->deleteLater();
        m_popView = nullptr;
    }
    m_startBlewBtn->setText(QStringLiteral("再吹一次"));
}

QString BlewTestViewController::getRandomString(int capacity) {
    const BlewResultString::Pick pick = BlewResultString::pick(capacity);
    setCurrentKey(pick.shortKey());
    return BlewResultString::sharedInstance().getResultString(pick.key());
}

QWidget* BlewTestViewController::popView() const {
    return m_popView.data();
}

void BlewTestViewController::showBlewResultAlertwithTotalAir(int totalAir, int defaultPercent) {
    if (!m_popView) {
        m_totalAir = totalAir;
        m_defeatPercent = defaultPercent;
        QWidget* window = KeyWindow::keyWindow();
        m_popView = new TapOverlay(window);
        m_popView->setGeometry(window->rect());
        connect(m_popView, &TapOverlay::tapped, this, [this] { dismissFromSuper(m_popView); });
        buildCard(m_popView, totalAir, defaultPercent);
    }
    m_popView->show();
    m_popView->raise();
}

QWidget* BlewTestViewController::buildCard(QWidget* overlay, int capacity, int percent) {
    auto* card = new QWidget(overlay);
    card->setObjectName(QStringLiteral("resultCard"));
    card->setGeometry(centredRect({240, kCardHeight},
                                  QPointF(overlay->width() / 2.0, overlay->height() / 2.0 + 70))
                          .toRect());
    card->setAutoFillBackground(true);
    QPalette palette = card->palette();
    palette.setColor(QPalette::Window, white(0.95));
    card->setPalette(palette);

    auto* marker = new QLabel(card);
    marker->setGeometry(10, 10, 6, 20);
    marker->setAutoFillBackground(true);
    QPalette markerPalette = marker->palette();
    markerPalette.setColor(QPalette::Window, kOrange);
    marker->setPalette(markerPalette);

    makeLabel(card, QStringLiteral("肺活量"), grey(80), 15)->setGeometry(18, 10, 45, 20);
    QLabel* value = makeLabel(card, QStringLiteral("%1毫升").arg(capacity), kOrange, 12);
    value->setObjectName(QStringLiteral("valueLabel"));
    value->setGeometry(83, 10, 87, 20);
    const QString comment = getRandomString(capacity);
    QLabel* text = makeLabel(
        card, QStringLiteral("超越了全球%1%的环保卫士,").arg(percent) + comment, white(0.5), 13);
    text->setObjectName(QStringLiteral("commentLabel"));
    text->setGeometry(5, 38, 230, kCommentHeight);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setWordWrap(true);

    const int buttonsY = 38 + kCommentHeight + 8;
    QPushButton* share = makeCardButton(card, QStringLiteral("分享"), QRect(18, buttonsY, 93, 30));
    share->setObjectName(QStringLiteral("shareButton"));
    connect(share, &QPushButton::clicked, this, [this, share] { shareBtnClick(share); });
    QPushButton* again =
        makeCardButton(card, QStringLiteral("再吹一次"), QRect(129, buttonsY, 93, 30));
    again->setObjectName(QStringLiteral("againButton"));
    connect(again, &QPushButton::clicked, this, &BlewTestViewController::blewAgain);
    return card;
}

// ---- sharing ---------------------------------------------------------------

void BlewTestViewController::shareBtnClick(QObject*) {
    Analytics::event(QStringLiteral("blow_share"));
    // The capture shows the test beneath the card, not the card.
    dismissFromSuper(nullptr);
    Sharing::presentSheet(this);
}

// Every network gets the same content: the result on the card and its comment.
void BlewTestViewController::didSelectSocialPlatform(const QString&, SocialData* socialData) {
    const QString comment = BlewResultString::sharedInstance().getResultString(
        BlewResultString::keyForShortKey(m_currentKey));
    Sharing::fillLungTestShare(socialData, m_totalAir, m_defeatPercent, comment, m_currentKey);
}
