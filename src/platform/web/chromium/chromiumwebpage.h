#pragma once

#include "platform/web/webengine.h"

#include <QObject>
#include <QPointer>

class QWebEngineProfile;
class QWebEngineView;

// A page of the Chromium-based engine Qt ships: a QWebEngineView on the
// shared profile.
class ChromiumWebPage : public QObject, public WebEnginePage {
public:
    ChromiumWebPage(QWebEngineProfile* profile, QWidget* parent);
    ~ChromiumWebPage() override;

    QWidget* widget() override;
    QWidget* renderWidget() override;
    void load(const QUrl& url) override;
    void setHtml(const QString& html, const QUrl& baseUrl) override;
    void stop() override;
    bool canGoBack() const override;
    bool canGoForward() const override;
    void back() override;
    void forward() override;
    QUrl url() const override;
    void runJavaScript(const QString& script, std::function<void(const QVariant&)> done) override;
    void onLoadFinished(std::function<void(bool)> handler) override;
    void onRenderWidgetChanged(std::function<void(QWidget*)> handler) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWebEngineView> m_view;
    std::function<void(bool)> m_loadFinished;
    std::function<void(QWidget*)> m_renderWidgetChanged;
};
