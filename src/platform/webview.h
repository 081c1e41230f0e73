#pragma once

#include <QWebEngineView>

// A web view that loads through the application's shared cache (the URL
// cache's engine profile) and reports horizontal swipes made with the mouse
// or a touch pad drag, as a phone reports finger swipes.
class WebView : public QWebEngineView {
    Q_OBJECT
public:
    enum class SwipeDirection { Left, Right, Up, Down };

    explicit WebView(QWidget* parent = nullptr);
    ~WebView() override;

    void loadRequest(const QUrl& url);
    void loadHTMLString(const QString& html, const QUrl& baseUrl = QUrl());
    void stopLoading() { stop(); }
    bool canGoBack() const;
    bool canGoForward() const;
    void goBack() { back(); }
    void goForward() { forward(); }
    // Whether the last finished load got its page.
    bool lastLoadSucceeded() const { return m_lastLoadOk; }

    // A drag longer than this, mostly in one direction, is a swipe.
    static constexpr int kSwipeDistance = 60;

signals:
    void didFinishLoad();
    void swiped(WebView::SwipeDirection direction);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void watchRenderWidget();

    bool m_lastLoadOk = false;
    QPoint m_pressAt;
    bool m_pressed = false;
};
