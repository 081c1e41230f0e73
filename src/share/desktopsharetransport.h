#pragma once

#include "share/sharetransport.h"

#include <QUrl>

// Sends posts the way a desktop can: Weibo through its web share page in the
// browser; WeChat chat and Moments through a QR code of the link shown over
// the window, for the phone's WeChat to scan, with the text on the clipboard
// to paste there. A link that only this computer can open (the embedded
// content server on loopback) gets no code: the card says so and how to
// start the application with a content server that phones can reach.
class DesktopShareTransport : public ShareTransport {
public:
    static constexpr const char* kWechatNote = "请用微信扫一扫，文字已复制";
    // The option on a line of its own, so that it is not broken apart.
    static constexpr const char* kLocalLinkNote =
        "这个链接只能在本机打开，手机扫码无法访问。\n"
        "要让手机打开，请指定一个手机能访问的内容服务器来启动 Vantoro：\n"
        "--content-base https://…";

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
