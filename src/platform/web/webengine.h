#pragma once

#include <QString>
#include <QUrl>
#include <QVariant>
#include <functional>
#include <memory>

class QWidget;

// One page of the browser engine: the widget it draws in and what the web
// screens do with it.
class WebEnginePage {
public:
    virtual ~WebEnginePage() = default;

    virtual QWidget* widget() = 0;
    // The child the engine draws into and takes mouse input on. The engine
    // makes and replaces it on its own; `onRenderWidgetChanged` tells when.
    virtual QWidget* renderWidget() = 0;

    virtual void load(const QUrl& url) = 0;
    virtual void setHtml(const QString& html, const QUrl& baseUrl) = 0;
    virtual void stop() = 0;
    virtual bool canGoBack() const = 0;
    virtual bool canGoForward() const = 0;
    virtual void back() = 0;
    virtual void forward() = 0;
    virtual QUrl url() const = 0;
    virtual void runJavaScript(const QString& script,
                               std::function<void(const QVariant&)> done) = 0;

    // Called once per finished load, with whether the page was got.
    virtual void onLoadFinished(std::function<void(bool ok)> handler) = 0;
    virtual void onRenderWidgetChanged(std::function<void(QWidget*)> handler) = 0;
};

// The browser engine with its one profile. It lives in a module of its own,
// loaded when the first web view needs it (see WebEngineModule), so that a
// run that never shows a web page does not carry it.
class WebEngine {
public:
    struct CacheSettings {
        QString storageName;
        QString folder;
        qint64 maximumBytes = 0;
    };

    virtual ~WebEngine() = default;

    // The page's widget is a child of `parent`.
    virtual std::unique_ptr<WebEnginePage> createPage(QWidget* parent) = 0;
    // Off keeps responses in memory only; the folder may then be emptied.
    virtual void setDiskCacheEnabled(bool enabled) = 0;
};

// The module's one entry point, looked up by name.
using CreateWebEngineFunction = WebEngine* (*)(const WebEngine::CacheSettings&);
inline constexpr const char* kCreateWebEngineSymbol = "vantoroCreateWebEngine";
