#include "screens/web/rankinglistviewcontroller.h"

#include "analytics/analytics.h"
#include "platform/system/device.h"
#include "platform/uikit/images.h"
#include "platform/uikit/mainscreen.h"
#include "platform/web/webview.h"
#include "screens/web/offlinetoast.h"
#include "share/sharing.h"
#include "share/transport/contentlinks.h"

#include <QPushButton>

RankingListViewController::RankingListViewController(QWidget* parent) : BaseViewController(parent) {
    setTabItem(QStringLiteral("排行"), QStringLiteral("tab_rank"));
}

void RankingListViewController::viewDidLoad() {
    prepareViews();
}

void RankingListViewController::prepareViews() {
    setAutoFillBackground(true);
    setPalette(QPalette(Qt::white));
    const QSizeF screen = MainScreen::boundsSize();
    const bool newLayout = Device::systemMajorVersion() >= 7;
    m_webView = new WebView(this);
    m_webView->setGeometry(0, newLayout ? 20 : 0, int(screen.width()), int(screen.height()) - 69);
    m_webView->show();
    connect(m_webView, &WebView::didFinishLoad, this,
            &RankingListViewController::webViewDidFinishLoad);
    loadPage();

    m_shareBtn = new QPushButton(this);
    m_shareBtn->setGeometry(int(screen.width()) - 45, 30, 40, 40);
    m_shareBtn->setProperty("tag", kShareTag);
    m_shareBtn->setIcon(QIcon(Images::named(QStringLiteral("btn_share_normal"))));
    // The image sits inside insets of 5 points on every side.
    m_shareBtn->setIconSize(QSize(30, 30));
    m_shareBtn->setStyleSheet(QStringLiteral(
        "QPushButton { background: transparent; border: none; border-radius: 4px; }"));
    connect(m_shareBtn, &QPushButton::clicked, this, &RankingListViewController::shareClick);
    m_shareBtn->show();
    m_shareBtn->raise();
}

void RankingListViewController::loadPage() {
    m_webView->loadRequest(QUrl(ContentLinks::link(QString::fromLatin1(kPath))));
}

// A failed load leaves the engine's own error page; the next appearance
// loads the page again.
void RankingListViewController::webViewDidFinishLoad() {}

// The page was requested when the view was built; asking the engine for the
// same page again before the first navigation has begun cancels both, so
// the first appearance keeps the load already under way.
void RankingListViewController::viewWillAppear(bool) {
    Analytics::event(QStringLiteral("rank"));
    if (m_appeared)
        loadPage();
    m_appeared = true;
}

void RankingListViewController::viewDidAppear(bool) {
    OfflineToast::showUnless(isNetAvaliable());
}

bool RankingListViewController::isNetAvaliable() const {
    return OfflineToast::internetReachable();
}

void RankingListViewController::shareClick() {
    Analytics::event(QStringLiteral("rank_share"));
    Sharing::presentSheet(this);
}

// Every network gets the same content: the screenshot and today's ranking.
void RankingListViewController::didSelectSocialPlatform(const QString&, SocialData* socialData) {
    Sharing::fillRankingShare(socialData, ContentLinks::link(QString::fromLatin1(kPath)));
}

void RankingListViewController::didFinishGetSocialDataInViewController(
    const SocialResponse& response) {
    // Share outcomes are the share service's to show.
    Q_UNUSED(response);
}

// No control is wired to this handler; it reads the tag and does nothing.
void RankingListViewController::buttonClick(QObject* sender) {
    const int tag = sender ? sender->property("tag").toInt() : 0;
    Q_UNUSED(tag);
}
