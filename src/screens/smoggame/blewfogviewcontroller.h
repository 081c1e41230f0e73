#pragma once

#include "platform/uikit/imageview.h"
#include "screens/baseviewcontroller.h"

#include <QPixmap>
#include <QPointer>
#include <QString>

class FogSmokeLayer;
class QLabel;
class QPushButton;
class QTimer;
class ScrollView;
class SocialResponse;

// The smog game: the user blows and the view climbs a tall picture of a
// smoggy city towards clear sky, 50 steps a second, faster for a stronger
// blow, while a smog ghost's smoke thins. The distance climbed becomes the
// metres the smog was blown, and at the end a percentage of players beaten,
// a comment and three share buttons.
class BlewFogViewController : public BaseViewController {
    Q_OBJECT
public:
    enum Tag { PlayTag = 11, WeixinTag = 22, FriendTag = 33, WeiboTag = 44 };

    explicit BlewFogViewController(QWidget* parent = nullptr);
    ~BlewFogViewController() override;

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;

    void prepareViews();
    float calculateFrame() const;
    void startToPlay();
    void goback();
    void installTimer();
    void unstallTimer();
    void timerTick();
    void hideTabBar(bool hide);
    void buttonClick(QObject* sender);
    void calculateProcess(QPointF offset);
    QByteArray shotScreen() const;

    void prepareFogSomke();
    void removeSomke();
    void updateFogWithLifeTime(float lifeTime, float birthRate);

    // The detector's delegate operations.
    Q_INVOKABLE void BlowAirstart(bool started);
    Q_INVOKABLE void BlowAirupdataState(float level);
    Q_INVOKABLE void BlowCurrentTotal(int capacity);
    Q_INVOKABLE void BlowAirOver(int capacity, int ranking);
    Q_INVOKABLE void wasInterrupt();
    Q_INVOKABLE void waitBlewTimeOut();
    // The share service's answer; nothing is shown for it.
    Q_INVOKABLE void didFinishGetSocialDataInViewController(const SocialResponse& response);

    // The result as this screen works it out and shares it.
    static QString displayedMeters(float rawDistance);
    static int percentForDistance(int finalDistance);
    // Key of the comment for a percent and a variant (1 or 2).
    static QString commentKey(int percent, int variant);
    static bool hasTwoVariants(int percent);
    static QString shareLink(int percent, int random);
    static QString shareText(int meter, int percent, const QString& link);
    static QString shareTitle(int meter);

    ScrollView* scrollView() const { return m_scrollView; }
    ImageView* scrollImage() const { return m_scrollImage; }
    ImageView* spriteImg() const { return m_spriteImg; }
    ImageView* blewImg() const { return m_blewImg; }
    ImageView* fogBg() const { return m_fogBg; }
    QPushButton* playBtn() const { return m_playBtn; }
    QLabel* progressLbl() const { return m_progressLbl; }
    ImageView* thmubImg() const { return m_thmubImg; }
    QLabel* firstLbl() const { return m_firstLbl; }
    QLabel* secondLbl() const { return m_secondLbl; }
    QPushButton* shareBtnWeixin() const { return m_shareBtnWeixin; }
    QPushButton* shareBtnWXFriend() const { return m_shareBtnWXFriend; }
    QPushButton* shareBtnWeibo() const { return m_shareBtnWeibo; }
    FogSmokeLayer* smokeLayer() const { return m_smokeLayer; }
    QTimer* timer() const { return m_timer; }
    bool isTimerWorking() const { return m_isTimerWorking; }
    int speed() const { return m_speed; }
    bool isStop() const { return m_isStop; }
    QPixmap img() const { return m_img; }
    int defealtPercent() const { return m_defealtPercent; }
    int defealtRandom() const { return m_defealtRandom; }
    int defealtMeter() const { return m_defealtMeter; }
    bool isBlewSoundPlaying() const { return m_isBlewSoundPlaying; }

private:
    void cannotListen();
    QPushButton* makeShareButton(int slot, Tag tag, const QString& image);
    void addScroller(QSizeF screen);
    void addGhostAndFog();
    void addControls(QSizeF screen);
    void addLabels(QSizeF screen);
    void loadPicture();
    void fogReturn();
    void fogFade();
    void beginClimb();
    void showResult();
    void showPercent(int percent);
    void playClosingSound();
    void share(int tag, const QString& text, const QString& link);
    float scrollRange() const;
    QPointF bottomOffset() const;
    float travel(float offsetY) const;
    void placeThumb(float barOffset);

    ScrollView* m_scrollView = nullptr;
    ImageView* m_scrollImage = nullptr;
    ImageView* m_spriteImg = nullptr;
    ImageView* m_blewImg = nullptr;
    QPushButton* m_playBtn = nullptr;
    QLabel* m_progressLbl = nullptr;
    ImageView* m_thmubImg = nullptr;
    QTimer* m_timer = nullptr;
    bool m_isTimerWorking = false;
    QLabel* m_firstLbl = nullptr;
    QLabel* m_secondLbl = nullptr;
    // Written by level events and read by scroll steps, both on the GUI thread.
    int m_speed = 0;
    QPixmap m_img;
    QPushButton* m_shareBtnWeixin = nullptr;
    QPushButton* m_shareBtnWXFriend = nullptr;
    QPushButton* m_shareBtnWeibo = nullptr;
    FogSmokeLayer* m_smokeLayer = nullptr;
    int m_defealtPercent = 0;
    int m_defealtRandom = 0;
    int m_defealtMeter = 0;
    bool m_isStop = false;
    ImageView* m_fogBg = nullptr;
    bool m_isBlewSoundPlaying = false;
};
