#pragma once

#include "platform/uikit/imageview.h"
#include "platform/uikit/tapoverlay.h"
#include "screens/baseviewcontroller.h"

#include <QPointF>
#include <QPointer>

class AlertView;
class ImageView;
class QLabel;
class QMXRotateView;
class QPushButton;
class SocialData;
class TapOverlay;

// The lung test: a pinwheel on a stick, a start button and an energy bar.
// The user taps start and blows; the pinwheel spins and the bar follows the
// running capacity while the blow lasts, and a result card with the
// capacity, the share of players beaten and a comment ends the test.
//
// The screen keeps no state variable of its own: where it is follows from
// whether the pinwheel spins and whether the cover and the result overlay
// exist.
class BlewTestViewController : public BaseViewController {
    Q_OBJECT
public:
    explicit BlewTestViewController(QWidget* parent = nullptr);
    ~BlewTestViewController() override;

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;

    void prepareViews();
    void startBlew(QObject* sender = nullptr);
    void readyToBlew();
    void showBlewCoverImageView();
    void removeBlewCoverImageView();
    void updateEnergyState(int level);
    void animationSlideImg(bool up);
    void hideTabBar(bool hide);
    void blewAgain();
    void dismissFromSuper(QObject* sender = nullptr);

    void showBlewResultAlertwithTotalAir(int totalAir, int defaultPercent);
    QString getRandomString(int capacity);
    void shareBtnClick(QObject* sender = nullptr);

    // The detector's delegate operations.
    Q_INVOKABLE void BlowAirstart(bool started);
    Q_INVOKABLE void BlowAirupdataState(float level);
    Q_INVOKABLE void BlowCurrentTotal(int capacity);
    Q_INVOKABLE void BlowAirOver(int capacity, int ranking);
    Q_INVOKABLE void wasInterrupt();
    Q_INVOKABLE void waitBlewTimeOut();

    // The timeout prompt's answer.
    Q_INVOKABLE void alertView(AlertView* alert, int buttonIndex);
    // The share sheet's pick.
    Q_INVOKABLE void didSelectSocialPlatform(const QString& platformName, SocialData* socialData);

    QWidget* blewView() const { return m_blewView; }
    QMXRotateView* rotateView() const { return m_rotateView; }
    QPushButton* startBlewBtn() const { return m_startBlewBtn; }
    ImageView* energyView() const { return m_energyView; }
    ImageView* stickView() const { return m_stick; }
    ImageView* centerView() const { return m_center; }
    ImageView* coverImg() const { return m_coverImg.data(); }
    QWidget* popView() const;
    int totalAir() const { return m_totalAir; }
    int defeatPercent() const { return m_defeatPercent; }
    QString currentKey() const { return m_currentKey; }
    void setCurrentKey(const QString& key) { m_currentKey = key; }

    static constexpr int kAlertTag = 1;

private:
    void addLabels(double w);
    void addPinwheel(double w, double h, QPointF centre);
    void addStartButton(double w, double yb);
    void addEnergyBar(double w, QPointF centre);
    void moveStartButtonTo(QPointF centre);
    QWidget* buildCard(QWidget* overlay, int capacity, int percent);

    QWidget* m_blewView = nullptr;
    QMXRotateView* m_rotateView = nullptr;
    QPushButton* m_startBlewBtn = nullptr;
    ImageView* m_energyView = nullptr;
    ImageView* m_stick = nullptr;
    ImageView* m_center = nullptr;
    QPointer<ImageView> m_coverImg;
    QPointer<TapOverlay> m_popView;
    int m_totalAir = 0;
    int m_defeatPercent = 0;
    QString m_currentKey;
    // The start button's two places: at rest, and lowered while a test runs.
    QPointF m_buttonRest;
};
