#include "screens/web/blewhotviewcontroller.h"

#include "analytics/analytics.h"
#include "platform/system/device.h"
#include "platform/system/userdefaults.h"
#include "platform/uikit/images.h"
#include "platform/uikit/mainscreen.h"
#include "platform/web/urlcache.h"
#include "screens/web/offlinetoast.h"
#include "share/transport/contentlinks.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace {
constexpr int kStatusBar = 20;
constexpr int kNavigationBarHeight = 44;
} // namespace

BlewHotViewController::BlewHotViewController(QWidget* parent) : BaseViewController(parent) {
    setTabItem(QStringLiteral("热点"), QStringLiteral("tab_hot"));
    setAutoFillBackground(true);
    setPalette(QPalette(Qt::white));
}

void BlewHotViewController::viewWillAppear(bool) {
    Analytics::event(QStringLiteral("hots"));
    prepareViews();
}

void BlewHotViewController::viewDidAppear(bool) {
    OfflineToast::showUnless(isNetAvaliable());
}

bool BlewHotViewController::isNetAvaliable() const {
    return OfflineToast::internetReachable();
}

void BlewHotViewController::prepareViews() {
    buildNavigationBar();
    const bool newLayout = Device::systemMajorVersion() >= 7;
    const int top = newLayout ? kStatusBar + kNavigationBarHeight : 0;
    delete m_webView;
    m_webView = new WebView(this);
    m_webView->setGeometry(0, top, width(), int(MainScreen::boundsSize().height()) - top - 49);
    connect(m_webView, &WebView::didFinishLoad, this, &BlewHotViewController::webViewDidFinishLoad);
    connect(m_webView, &WebView::swiped, this, &BlewHotViewController::webViewWebViewSwip);
    m_webView->loadRequest(QUrl(ContentLinks::link(QString::fromLatin1(kPath))));
    m_webView->show();
}

// The bar shows one item with an empty title whose left side holds the
// back button.
void BlewHotViewController::buildNavigationBar() {
    if (!m_navigationBar) {
        m_navigationBar = new QWidget(this);
        m_navigationBar->setGeometry(0, kStatusBar, width(), kNavigationBarHeight);
        m_navigationBar->setAutoFillBackground(true);
        m_navigationBar->setPalette(QPalette(QColor(247, 247, 247)));
        m_navigationTitle = new QLabel(QString(), m_navigationBar);
        m_navigationTitle->setGeometry(m_navigationBar->rect());
        m_navigationTitle->setAlignment(Qt::AlignCenter);
        m_navigationBar->show();
    }
    delete m_backBtn;
    m_backBtn = new QPushButton(m_navigationBar);
    m_backBtn->setGeometry(8, (kNavigationBarHeight - 27) / 2, 40, 27);
    // "back_sel" is the highlighted image: it shows while the button is held
    // down, not while it has the focus a tap leaves behind.
    const QIcon normal(Images::named(QStringLiteral("back")));
    const QIcon pressed(Images::named(QStringLiteral("back_sel")));
    m_backBtn->setIcon(normal);
    connect(m_backBtn, &QPushButton::pressed, m_backBtn,
            [b = m_backBtn.data(), pressed] { b->setIcon(pressed); });
    connect(m_backBtn, &QPushButton::released, m_backBtn,
            [b = m_backBtn.data(), normal] { b->setIcon(normal); });
    // The image sits inside insets of 2, 7, 2 and 4 points.
    m_backBtn->setIconSize(QSize(40 - 7 - 4, 27 - 2 - 2));
    m_backBtn->setFlat(true);
    m_backBtn->setStyleSheet(
        QStringLiteral("QPushButton { border: none; background: transparent; }"));
    connect(m_backBtn, &QPushButton::clicked, this, &BlewHotViewController::backAction);
    m_backBtn->hide();
}

void BlewHotViewController::followHistory() {
    if (m_backBtn && m_webView)
        m_backBtn->setVisible(m_webView->canGoBack());
}

void BlewHotViewController::webViewWebViewSwip(WebView::SwipeDirection direction) {
    if (!m_webView)
        return;
    if (direction == WebView::SwipeDirection::Right && m_webView->canGoBack())
        m_webView->goBack();
    else if (direction == WebView::SwipeDirection::Left && m_webView->canGoForward())
        m_webView->goForward();
    followHistory();
}

void BlewHotViewController::backAction() {
    if (m_webView && m_webView->canGoBack())
        m_webView->goBack();
    followHistory();
}

bool BlewHotViewController::navigationBarShouldPopItem() {
    backAction();
    return false;
}

void BlewHotViewController::webViewDidFinishLoad() {
    if (m_backBtn)
        m_backBtn->show();
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    defaults.setInteger(0, QStringLiteral("WebKitCacheModelPreferenceKey"));
    defaults.setBool(false, QStringLiteral("WebKitDiskImageCacheEnabled"));
    defaults.setBool(false, QStringLiteral("WebKitOfflineWebApplicationCacheEnabled"));
    defaults.synchronize();
    followHistory();
}

void BlewHotViewController::viewWillDisappear(bool) {
    if (m_webView) {
        m_webView->disconnect(this);
        m_webView->loadHTMLString(QString());
        m_webView->stopLoading();
        m_webView->hide();
        m_webView->deleteLater();
        m_webView = nullptr;
    }
    if (UrlCache* cache = UrlCache::sharedURLCache())
        cache->removeAllCachedResponses();
}
