#pragma once

#include "share/transport/sharetransport.h"

#include <QUrl>

// Sends posts the way a desktop can: Weibo through its web share page in the
// browser; WeChat chat and Moments through a QR code of the link shown over
// the window, for the phone's WeChat to scan, with the text on the clipboard
// to paste there. A link that only this computer can open (the embedded
// content server on loopback) gets no code: the card says in one sentence
// that a phone cannot open it; how to start the application with a content
// server that phones reach is for the log and the README, not for players.
class DesktopShareTransport : public ShareTransport {
public:
    static constexpr const char* kWechatNote = "请用微信扫一扫，文字已复制";
    static constexpr const char* kLocalLinkNote = "这是本机的链接，手机打不开。";

    QString name() const override { return QStringLiteral("desktop"); }
    bool send(const SharePost& post, QWidget* presentingController) override;

    // The Weibo web share page for a text and a link, every value fully
    // percent-encoded (the text carries "%", "&", "+" and non-ASCII
    // characters). An empty link leaves the url parameter out.
    static QUrl weiboShareUrl(const QString& text, const QString& link);

private:
    bool sendToWeibo(const SharePost& post);
    bool sendToWechat(const SharePost& post, QWidget* presentingController);
    static QString wechatHeading(const SharePost& post);
};
