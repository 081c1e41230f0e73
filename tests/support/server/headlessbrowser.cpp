#include "support/server/headlessbrowser.h"

#include <QProcess>
#include <QStandardPaths>
#include <httplib.h>
#include <thread>

namespace {

// Chromium takes a while to start on a loaded machine; a page that has not
// come in a minute is not coming.
constexpr int kRunTimeoutMs = 60000;

QString htmlAttribute(const QString& text) {
    return text.toHtmlEscaped();
}

} // namespace

HeadlessBrowser::HeadlessBrowser() = default;

HeadlessBrowser::~HeadlessBrowser() {
    if (m_formServer)
        m_formServer->stop();
    if (m_formThread.joinable())
        m_formThread.join();
}

QString HeadlessBrowser::executable() {
    for (const char* name : {"chromium", "chromium-browser"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty())
            return path;
    }
    return {};
}

QString HeadlessBrowser::formUrl(const QString& serverBase, const QByteArray& token) {
    {
        std::lock_guard lock(m_pageMutex);
        m_page = QStringLiteral("<!DOCTYPE html><form method=\"post\" action=\"%1/admin/login\">"
                                "<input name=\"token\" value=\"%2\"></form>"
                                "<script>document.forms[0].submit()</script>")
                     .arg(htmlAttribute(serverBase), htmlAttribute(QString::fromUtf8(token)))
                     .toStdString();
    }
    if (!m_formServer) {
        m_formServer = std::make_unique<httplib::Server>();
        m_formServer->Get("/signin", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(m_pageMutex);
            res.set_content(m_page, "text/html; charset=utf-8");
        });
        // Bound before Chromium starts: its connection waits in the backlog
        // until the thread accepts it.
        m_formPort = m_formServer->bind_to_any_port("127.0.0.1");
        m_formThread = std::thread([server = m_formServer.get()] { server->listen_after_bind(); });
    }
    return QStringLiteral("http://127.0.0.1:%1/signin").arg(m_formPort);
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

QByteArray HeadlessBrowser::dumpDomAfterLogin(const QString& serverBase, const QByteArray& token) {
    QByteArray dom;
    if (!run({QStringLiteral("--dump-dom"), formUrl(serverBase, token)}, &dom))
        return {};
    if (dom.isEmpty())
        m_error = QStringLiteral("Chromium printed no DOM");
    return dom;
}

bool HeadlessBrowser::screenshotAfterLogin(const QString& serverBase, const QByteArray& token,
                                           const QString& pngPath, QSize windowSize) {
    return run(
        {QStringLiteral("--hide-scrollbars"),
         QStringLiteral("--window-size=%1,%2").arg(windowSize.width()).arg(windowSize.height()),
         QStringLiteral("--screenshot=") + pngPath, formUrl(serverBase, token)},
        nullptr);
}
