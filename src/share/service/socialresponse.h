#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

// The outcome of a share, handed to the completion of a direct post and to
// the delegate's didFinishGetSocialDataInViewController.
class SocialResponse {
    Q_GADGET
    Q_PROPERTY(int responseCode READ responseCode)
    Q_PROPERTY(QString platformName READ platformName)
public:
    enum Code {
        Success = 200,
        // The user closed the edit-and-send screen without sending.
        Cancelled = 5001,
        // No transport took the post, or one of them failed.
        Failed = 5002,
    };
    Q_ENUM(Code)

    SocialResponse() = default;
    SocialResponse(int responseCode, const QString& platformName)
        : m_responseCode(responseCode), m_platformName(platformName) {}

    int responseCode() const { return m_responseCode; }
    QString platformName() const { return m_platformName; }

    // Once per process, before a response travels through the meta-object
    // system.
    static void registerMetaType();

private:
    int m_responseCode = Failed;
    QString m_platformName;
};

Q_DECLARE_METATYPE(SocialResponse)
