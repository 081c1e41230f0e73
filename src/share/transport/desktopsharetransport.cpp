#include "share/transport/desktopsharetransport.h"

#include "platform/uikit/keywindow.h"
#include "share/transport/contentlinks.h"
#include "share/transport/qrcode.h"
#include "share/transport/sharelog.h"
#include "share/transport/sharenetworks.h"
#include "share/transport/shareqrpanel.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QWidget>

QUrl DesktopShareTransport::weiboShareUrl(const QString& text, const QString& link) {
    QByteArray query;
    if (!link.isEmpty())
        query += "url=" + QUrl::toPercentEncoding(link) + '&';
    query += "title=" + QUrl::toPercentEncoding(text);
    return QUrl::fromEncoded("https://service.weibo.com/share/share.php?" + query,
                             QUrl::StrictMode);
}

bool DesktopShareTransport::send(const SharePost& post, QWidget* presentingController) {
    if (post.platform == QLatin1String("sina"))
        return sendToWeibo(post);
    if (post.platform == QLatin1String("wxsession") || post.platform == QLatin1String("wxtimeline"))
        return sendToWechat(post, presentingController);
    qCWarning(lcShare) << "desktop transport: no way to reach" << post.platform;
    return false;
}

bool DesktopShareTransport::sendToWeibo(const SharePost& post) {
    const QUrl url = weiboShareUrl(post.text, post.link);
    const bool opened = QDesktopServices::openUrl(url);
    qCInfo(lcShare) << "desktop transport: Weibo share page" << url.toString(QUrl::FullyEncoded)
                    << (opened ? "opened" : "could not be opened");
    return opened;
}

bool DesktopShareTransport::sendToWechat(const SharePost& post, QWidget* presentingController) {
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(post.text);
    QWidget* window = presentingController ? presentingController->window() : nullptr;
    if (KeyWindow::keyWindow())
        window = KeyWindow::keyWindow();
    if (!window) {
        qCWarning(lcShare) << "desktop transport: no window to show the WeChat code over";
        return false;
    }
    if (!post.link.isEmpty() && ContentLinks::opensOnlyHere(QUrl(post.link))) {
        // A code would scan, but the phone would find nothing behind it.
        qCInfo(lcShare) << "desktop transport: no WeChat code for" << post.link
                        << "- it opens only on this computer; for links that phones open, start"
                           " Vantoro with --content-base and a server they reach, e.g."
                           " --content-base https://vantoro.example.com";
        new ShareQrPanel(window, wechatHeading(post), QImage(), QString::fromUtf8(kLocalLinkNote));
        return true;
    }
    // Without a link there is nothing to open on the phone; the code then
    // carries the text itself.
    const QrCode code = QrCode::encode(post.link.isEmpty() ? post.text : post.link);
    if (code.isNull()) {
        qCWarning(lcShare) << "desktop transport: the link does not fit a QR code";
        return false;
    }
    new ShareQrPanel(window, wechatHeading(post), code.toImage(4), QString::fromUtf8(kWechatNote));
    return true;
}

QString DesktopShareTransport::wechatHeading(const SharePost& post) {
    const QString displayName = ShareNetworks::displayName(post.platform);
    return displayName.isEmpty() ? post.platform : displayName;
}
