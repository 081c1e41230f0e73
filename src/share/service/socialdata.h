#pragma once

#include "share/service/socialextconfig.h"
#include "share/service/socialurlresource.h"

#include <QImage>
#include <QObject>
#include <QString>

// The share service's data: one process-wide object whose fields the screens
// fill right before a share and the service sends. Every field keeps its
// value until it is overwritten, so a share that sets only some fields sends
// the others from the share before. Main thread only, apart from the
// application key.
class SocialData : public QObject {
    Q_OBJECT
public:
    static SocialData* defaultData();

    // The application's registration with the service.
    static void setAppKey(const QString& appKey);
    static QString appKey();

    QString shareText() const { return m_shareText; }
    void setShareText(const QString& text);
    QImage shareImage() const { return m_shareImage; }
    void setShareImage(const QImage& image);

    SocialExtConfig& extConfig() { return m_extConfig; }
    const SocialExtConfig& extConfig() const { return m_extConfig; }
    SocialUrlResource& urlResource() { return m_urlResource; }
    const SocialUrlResource& urlResource() const { return m_urlResource; }

private:
    SocialData() = default;

    QString m_shareText;
    QImage m_shareImage;
    SocialExtConfig m_extConfig;
    SocialUrlResource m_urlResource;
};
