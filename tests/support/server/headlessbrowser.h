#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

// Debian's Chromium, headless, signed in to a content server's /admin the
// way an operator's browser is: a form posts the token to /admin/login, the
// server answers with its cookie and a redirect to /admin. The form comes
// from a page on another port of 127.0.0.1, which is the same site to a
// browser, so the SameSite=Strict cookie goes along as it would for a real
// operator.
class HeadlessBrowser {
public:
    HeadlessBrowser();
    ~HeadlessBrowser();

    // Empty when Chromium is not installed.
    static QString executable();

    // `serverBase` like "http://127.0.0.1:8080". The DOM Chromium rendered
    // after the sign-in, or null with error() saying why.
    QByteArray dumpDomAfterLogin(const QString& serverBase, const QByteArray& token);
    // A PNG of the same page at `windowSize`; false with error() saying why.
    bool screenshotAfterLogin(const QString& serverBase, const QByteArray& token,
                              const QString& pngPath, QSize windowSize);
    QString error() const { return m_error; }

private:
    QString formUrl(const QString& serverBase, const QByteArray& token);
    bool run(const QStringList& arguments, QByteArray* output);

    QTemporaryDir m_profiles;
    std::unique_ptr<httplib::Server> m_formServer;
    std::thread m_formThread;
    std::mutex m_pageMutex;
    std::string m_page;
    int m_formPort = 0;
    int m_runs = 0;
    QString m_error;
};
