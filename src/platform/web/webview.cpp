#include "platform/web/webview.h"

#include "platform/web/urlcache.h"

#include <QMouseEvent>
#include <QTimer>

WebView::WebView(QWidget* parent) : QWidget(parent) {
    UrlCache* cache = UrlCache::sharedURLCache();
    WebEngine* engine = cache ? cache->engine() : nullptr;
    if (!engine)
        return;
    m_page = engine->createPage(this);
    m_page->widget()->setGeometry(rect());
    setFocusProxy(m_page->widget());
    m_page->onLoadFinished([this](bool ok) { finishLoad(ok); });
    m_page->onRenderWidgetChanged([this](QWidget* surface) { surface->installEventFilter(this); });
}

WebView::~WebView() = default;

void WebView::finishLoad(bool ok) {
    m_lastLoadOk = ok;
    emit didFinishLoad();
}

void WebView::loadRequest(const QUrl& url) {
    if (m_page)
        m_page->load(url);
    else
        // As the engine would, the answer comes after the call returns.
        QTimer::singleShot(0, this, [this] { finishLoad(false); });
}

void WebView::loadHTMLString(const QString& html, const QUrl& baseUrl) {
    if (m_page)
        m_page->setHtml(html, baseUrl);
}

void WebView::stopLoading() {
    if (m_page)
        m_page->stop();
}

bool WebView::canGoBack() const {
    return m_page && m_page->canGoBack();
}

bool WebView::canGoForward() const {
    return m_page && m_page->canGoForward();
}

void WebView::goBack() {
    if (m_page)
        m_page->back();
}

void WebView::goForward() {
    if (m_page)
        m_page->forward();
}

QUrl WebView::url() const {
    return m_page ? m_page->url() : QUrl();
}

void WebView::runJavaScript(const QString& script, std::function<void(const QVariant&)> done) {
    if (m_page)
        m_page->runJavaScript(script, std::move(done));
}

QWidget* WebView::renderWidget() const {
    return m_page ? m_page->renderWidget() : nullptr;
}

void WebView::resizeEvent(QResizeEvent* event) {
    if (m_page)
        m_page->widget()->setGeometry(rect());
    QWidget::resizeEvent(event);
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
    }
    return QWidget::eventFilter(watched, event);
}
