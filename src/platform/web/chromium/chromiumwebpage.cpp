#include "platform/web/chromium/chromiumwebpage.h"

#include <QEvent>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineView>

ChromiumWebPage::ChromiumWebPage(QWebEngineProfile* profile, QWidget* parent)
    : m_view(new QWebEngineView(parent)) {
    m_view->setPage(new QWebEnginePage(profile, m_view));
    QObject::connect(m_view, &QWebEngineView::loadFinished, this, [this](bool ok) {
        if (m_loadFinished)
            m_loadFinished(ok);
    });
    // The engine adds its render widget as a child of the view, and may
    // replace it later.
    m_view->installEventFilter(this);
}

ChromiumWebPage::~ChromiumWebPage() {
    if (m_view) {
        // The page must go before the profile it was made with.
        delete m_view->page();
        delete m_view;
    }
}

bool ChromiumWebPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view && event->type() == QEvent::ChildPolished && m_renderWidgetChanged &&
        m_view->focusProxy())
        m_renderWidgetChanged(m_view->focusProxy());
    return false;
}

QWidget* ChromiumWebPage::widget() {
    return m_view;
}

QWidget* ChromiumWebPage::renderWidget() {
    return m_view ? m_view->focusProxy() : nullptr;
}

void ChromiumWebPage::load(const QUrl& url) {
    m_view->load(url);
}

void ChromiumWebPage::setHtml(const QString& html, const QUrl& baseUrl) {
    m_view->setHtml(html, baseUrl);
}

void ChromiumWebPage::stop() {
    m_view->stop();
}

bool ChromiumWebPage::canGoBack() const {
    return m_view->history()->canGoBack();
}

bool ChromiumWebPage::canGoForward() const {
    return m_view->history()->canGoForward();
}

void ChromiumWebPage::back() {
    m_view->back();
}

void ChromiumWebPage::forward() {
    m_view->forward();
}

QUrl ChromiumWebPage::url() const {
    return m_view->url();
}

void ChromiumWebPage::runJavaScript(const QString& script,
                                    std::function<void(const QVariant&)> done) {
    m_view->page()->runJavaScript(script, std::move(done));
}

void ChromiumWebPage::onLoadFinished(std::function<void(bool)> handler) {
    m_loadFinished = std::move(handler);
}

void ChromiumWebPage::onRenderWidgetChanged(std::function<void(QWidget*)> handler) {
    m_renderWidgetChanged = std::move(handler);
    if (m_renderWidgetChanged && renderWidget())
        m_renderWidgetChanged(renderWidget());
}
