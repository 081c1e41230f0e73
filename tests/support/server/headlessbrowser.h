#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QTemporaryDir>
#include <memory>

class NginxProxy;

// Debian's Chromium, headless, signed in to a content server's /admin the
// way an operator's browser is: a form posts the token to /admin/login, the
// server answers with its cookie and a redirect to /admin. The browser
// reaches the server through nginx (NginxProxy), which also serves the
// form, so the form is of the server's own origin, as the server's own
// login page is; the same form from the proxy's other port is a foreign
// page's, which the server turns away.
class HeadlessBrowser {
public:
    HeadlessBrowser();
    ~HeadlessBrowser();

    // Empty when Chromium is not installed.
    static QString executable();

    // `serverBase` like "http://127.0.0.1:8080". The DOM Chromium rendered
    // after the sign-in, or null with error() saying why.
    QByteArray dumpDomAfterLogin(const QString& serverBase, const QByteArray& token);
    // The same sign-in from a page of another origin: what the browser
    // showed for it.
    QByteArray dumpDomAfterForeignLogin(const QString& serverBase, const QByteArray& token);
    // A PNG of the signed-in page at `windowSize`; false with error() saying
    // why.
    bool screenshotAfterLogin(const QString& serverBase, const QByteArray& token,
                              const QString& pngPath, QSize windowSize);
    QString error() const { return m_error; }

private:
    enum class From { OwnOrigin, OtherOrigin };

    QString formUrl(const QString& serverBase, const QByteArray& token, From from);
    bool run(const QStringList& arguments, QByteArray* output);
    QByteArray dumpDom(const QString& url);

    QTemporaryDir m_profiles;
    std::unique_ptr<NginxProxy> m_proxy;
    int m_runs = 0;
    QString m_error;
};
