#include "support/server/headlessbrowser.h"

#include "support/server/nginxproxy.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace {

// Chromium takes a while to start on a loaded machine; a page that has not
// come in a minute is not coming.
constexpr int kRunTimeoutMs = 60000;

const QString kFormPage = QStringLiteral("signin.html");

QString htmlAttribute(const QString& text) {
    return text.toHtmlEscaped();
}

} // namespace

HeadlessBrowser::HeadlessBrowser() = default;

HeadlessBrowser::~HeadlessBrowser() = default;

QString HeadlessBrowser::executable() {
    for (const char* name : {"chromium", "chromium-browser"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty())
            return path;
    }
    return {};
}

// The form posts to the proxy's own origin, wherever it is loaded from;
// empty with error() when the proxy cannot be started.
QString HeadlessBrowser::formUrl(const QString& serverBase, const QByteArray& token, From from) {
    const int serverPort = QUrl(serverBase).port();
    if (!m_proxy || m_proxy->upstreamPort() != serverPort || !m_proxy->isRunning()) {
        m_proxy = std::make_unique<NginxProxy>();
        if (!m_proxy->start(serverPort, &m_error))
            return {};
    }
    const QByteArray page =
        QStringLiteral("<!DOCTYPE html><form method=\"post\" action=\"%1/admin/login\">"
                       "<input name=\"token\" value=\"%2\"></form>"
                       "<script>document.forms[0].submit()</script>")
            .arg(htmlAttribute(m_proxy->origin()), htmlAttribute(QString::fromUtf8(token)))
            .toUtf8();
    QFile file(m_proxy->pageFolder() + u'/' + kFormPage);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(page) != page.size()) {
        m_error = QStringLiteral("cannot write the form page: %1").arg(file.errorString());
        return {};
    }
    const QString origin = from == From::OwnOrigin ? m_proxy->origin() : m_proxy->otherOrigin();
    return origin + QLatin1String(NginxProxy::kPagePath) + kFormPage;
}

bool HeadlessBrowser::run(const QStringList& arguments, QByteArray* output) {
    // A fresh profile each time: no cookie of an earlier run helps this one.
    const QString profile = m_profiles.filePath(QString::number(++m_runs));
    QStringList all{QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                    QStringLiteral("--disable-gpu"), QStringLiteral("--no-first-run"),
                    QStringLiteral("--user-data-dir=") + profile,
                    // Time enough for the form post and the redirect.
                    QStringLiteral("--virtual-time-budget=10000")};
    all += arguments;
    QProcess chromium;
    chromium.start(executable(), all);
    if (!chromium.waitForFinished(kRunTimeoutMs)) {
        chromium.kill();
        chromium.waitForFinished();
        m_error = QStringLiteral("Chromium did not finish within %1 s").arg(kRunTimeoutMs / 1000);
        return false;
    }
    if (chromium.exitStatus() != QProcess::NormalExit || chromium.exitCode() != 0) {
        m_error = QStringLiteral("Chromium failed (%1): %2")
                      .arg(chromium.exitCode())
                      .arg(QString::fromLocal8Bit(chromium.readAllStandardError().right(2000)));
        return false;
    }
    if (output)
        *output = chromium.readAllStandardOutput();
    return true;
}

QByteArray HeadlessBrowser::dumpDom(const QString& url) {
    QByteArray dom;
    if (url.isEmpty() || !run({QStringLiteral("--dump-dom"), url}, &dom))
        return {};
    if (dom.isEmpty())
        m_error = QStringLiteral("Chromium printed no DOM");
    return dom;
}

QByteArray HeadlessBrowser::dumpDomAfterLogin(const QString& serverBase, const QByteArray& token) {
    return dumpDom(formUrl(serverBase, token, From::OwnOrigin));
}

QByteArray HeadlessBrowser::dumpDomAfterForeignLogin(const QString& serverBase,
                                                     const QByteArray& token) {
    return dumpDom(formUrl(serverBase, token, From::OtherOrigin));
}

bool HeadlessBrowser::screenshotAfterLogin(const QString& serverBase, const QByteArray& token,
                                           const QString& pngPath, QSize windowSize) {
    const QString url = formUrl(serverBase, token, From::OwnOrigin);
    return !url.isEmpty() && run({QStringLiteral("--hide-scrollbars"),
                                  QStringLiteral("--window-size=%1,%2")
                                      .arg(windowSize.width())
                                      .arg(windowSize.height()),
                                  QStringLiteral("--screenshot=") + pngPath, url},
                                 nullptr);
}
