#pragma once

#include "share/sharetransport.h"

#include <QUrl>

// Sends posts the way a desktop can: Weibo through its web share page in the
// browser; WeChat chat and Moments through a QR code of the link shown over
// the window, for the phone's WeChat to scan, with the text on the clipboard
// to paste there.
class DesktopShareTransport : public ShareTransport {
public:
    static constexpr const char* kWechatNote = "请用微信扫一扫，文字已复制";

    QString name() const override { return QStringLiteral("desktop"); }
    bool send(const SharePost& post, QWidget* presentingController) override;

    // The Weibo web share page for a text and a link, every value fully
    // percent-encoded (the text carries "%", "&", "+" and non-ASCII
    // characters). An empty link leaves the url parameter out.
    static QUrl weiboShareUrl(const QString& text, const QString& link);

private:
    bool sendToWeibo(const SharePost& post);
    bool sendToWechat(const SharePost& post, QWidget* presentingController);
};
