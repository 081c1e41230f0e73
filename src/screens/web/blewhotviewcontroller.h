#pragma once

#include "platform/web/webview.h"
#include "screens/baseviewcontroller.h"

#include <QPointer>

class QLabel;
#include <QPushButton>

// Current air-quality topics from the content server, browsable: a back
// button in the navigation bar and horizontal swipes walk the page history.
// Every appearance builds a fresh web view and every disappearance tears it
// down and empties the shared web cache.
class BlewHotViewController : public BaseViewController {
    Q_OBJECT
public:
    static constexpr const char* kPath = "/wechat/getPm25CentralIssue.do";

    explicit BlewHotViewController(QWidget* parent = nullptr);

    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;

    void prepareViews();
    bool isNetAvaliable() const;
    void backAction();
    void webViewWebViewSwip(WebView::SwipeDirection direction);
    // The bar never pops an item itself: a pop request goes back instead.
    bool navigationBarShouldPopItem();
    void webViewDidFinishLoad();

    QWidget* navigationBar() const { return m_navigationBar; }
    WebView* webView() const { return m_webView; }
    QPushButton* backBtn() const { return m_backBtn; }

private:
    void buildNavigationBar();
    void followHistory();

    QWidget* m_navigationBar = nullptr;
    QLabel* m_navigationTitle = nullptr;
    QPointer<WebView> m_webView;
    QPointer<QPushButton> m_backBtn;
};
