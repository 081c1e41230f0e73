#pragma once

#include "platform/web/webengine.h"

#include <QWidget>
#include <memory>

// A web view that loads through the application's shared cache (the URL
// cache's browser engine) and reports horizontal swipes made with the mouse
// or a touch pad drag, as a phone reports finger swipes. Without a browser
// engine it stays empty and every load reports failure.
class WebView : public QWidget {
    Q_OBJECT
public:
    enum class SwipeDirection { Left, Right };

    explicit WebView(QWidget* parent = nullptr);
    ~WebView() override;

    void loadRequest(const QUrl& url);
    void loadHTMLString(const QString& html, const QUrl& baseUrl = QUrl());
    void stopLoading();
    bool canGoBack() const;
    bool canGoForward() const;
    void goBack();
    void goForward();
    QUrl url() const;
    void runJavaScript(const QString& script, std::function<void(const QVariant&)> done);
    // Whether the last finished load got its page.
    bool lastLoadSucceeded() const { return m_lastLoadOk; }
    // Where the engine draws and takes input; null without an engine.
    QWidget* renderWidget() const;

    // A drag longer than this, mostly in one direction, is a swipe.
    static constexpr int kSwipeDistance = 60;

signals:
    void didFinishLoad();
    void swiped(WebView::SwipeDirection direction);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void finishLoad(bool ok);

    std::unique_ptr<WebEnginePage> m_page;
    bool m_lastLoadOk = false;
    QPoint m_pressAt;
    bool m_pressed = false;
};
