#pragma once

#include "screens/baseviewcontroller.h"

#include <QPointer>

class QPushButton;
class SocialData;
class SocialResponse;
class WebView;

// The city air-quality ranking from the content server, shared as a
// screenshot through the share sheet.
class RankingListViewController : public BaseViewController {
    Q_OBJECT
public:
    static constexpr const char* kPath = "/wechat/getPm25Rank.do";
    static constexpr int kShareTag = 22;

    explicit RankingListViewController(QWidget* parent = nullptr);

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;

    void prepareViews();
    bool isNetAvaliable() const;
    void shareClick();
    void webViewDidFinishLoad();
    void buttonClick(QObject* sender);

    Q_INVOKABLE void didSelectSocialPlatform(const QString& platformName, SocialData* socialData);
    Q_INVOKABLE void didFinishGetSocialDataInViewController(const SocialResponse& response);

    WebView* webView() const { return m_webView; }
    QPushButton* shareBtn() const { return m_shareBtn; }

private:
    void loadPage();

    WebView* m_webView = nullptr;
    QPushButton* m_shareBtn = nullptr;
    bool m_appeared = false;
};
