#include "webview.h"

#include "urlcache.h"

#include <QChildEvent>
#include <QMouseEvent>
#include <QWebEngineHistory>
#include <QWebEnginePage>

WebView::WebView(QWidget* parent) : QWebEngineView(parent) {
    if (UrlCache* cache = UrlCache::sharedURLCache())
        setPage(new QWebEnginePage(cache->profile(), this));
    connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
        m_lastLoadOk = ok;
        emit didFinishLoad();
    });
    watchRenderWidget();
}

WebView::~WebView() {
    // The page must go before the profile it was made with.
    delete page();
}

void WebView::loadRequest(const QUrl& url) {
    load(url);
}

void WebView::loadHTMLString(const QString& html, const QUrl& baseUrl) {
    setHtml(html, baseUrl);
}

bool WebView::canGoBack() const {
    return history()->canGoBack();
}

bool WebView::canGoForward() const {
    return history()->canGoForward();
}

// The engine draws into a child widget that it makes and replaces on its
// own; mouse input goes there, so that is the widget to watch.
bool WebView::event(QEvent* event) {
    if (event->type() == QEvent::ChildPolished)
        watchRenderWidget();
    return QWebEngineView::event(event);
}

void WebView::watchRenderWidget() {
    if (QWidget* proxy = focusProxy())
        proxy->installEventFilter(this);
}

bool WebView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        m_pressAt = static_cast<QMouseEvent*>(event)->position().toPoint();
        m_pressed = true;
    } else if (event->type() == QEvent::MouseButtonRelease && m_pressed) {
        m_pressed = false;
        const QPoint delta = static_cast<QMouseEvent*>(event)->position().toPoint() - m_pressAt;
        if (qAbs(delta.x()) >= kSwipeDistance && qAbs(delta.x()) > 2 * qAbs(delta.y()))
            emit swiped(delta.x() < 0 ? SwipeDirection::Left : SwipeDirection::Right);
        else if (qAbs(delta.y()) >= kSwipeDistance && qAbs(delta.y()) > 2 * qAbs(delta.x()))
            emit swiped(delta.y() < 0 ? SwipeDirection::Up : SwipeDirection::Down);
    }
    return QWebEngineView::eventFilter(watched, event);
}
