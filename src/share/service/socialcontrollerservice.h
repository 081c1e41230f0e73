#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

// Holds the content for the next edit-and-send screen and the screen to tell
// how the share ended.
class SocialControllerService {
public:
    static SocialControllerService& defaultControllerService();

    void setShareText(const QString& text, const QByteArray& imagePng, QObject* socialUIDelegate);

    QString shareText() const { return m_shareText; }
    QByteArray shareImage() const { return m_shareImage; }
    QObject* socialUIDelegate() const { return m_delegate; }

private:
    SocialControllerService() = default;

    QString m_shareText;
    QByteArray m_shareImage;
    QPointer<QObject> m_delegate;
};
