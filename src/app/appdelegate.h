#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QVariant>
#include <memory>

#include <QWidget>
class UrlCache;

// Starts the application's services in their order and answers the
// platform's callbacks: memory warnings and URLs handed to the application.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kUrlCacheMemoryCapacity = 1048576;
    static constexpr qint64 kUrlCacheDiskCapacity = 5242880;
    static constexpr const char* kUrlCacheDiskPath = "nsurlcache";
    static constexpr int kReportPolicy = 0;

    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;

    QWidget* window() const { return m_window; }
    void setWindow(QWidget* window) { m_window = window; }

    bool didFinishLaunchingWithOptions();
    void startAnalytics();
    void registerShare();

    void applicationDidReceiveMemoryWarning();
    bool handleOpenURL(const QUrl& url);
    bool openURL(const QUrl& url, const QString& sourceApplication, const QVariant& annotation);

    UrlCache* urlCache() const { return m_urlCache.get(); }

private:
    QPointer<QWidget> m_window;
    std::unique_ptr<UrlCache> m_urlCache;
};
