#include "support/server/nginxproxy.h"

#include "support/server/freeport.h"
#include "support/server/rawsocket.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

namespace {

// nginx takes well under a second to listen; a loaded machine gets more.
constexpr int kListenTimeoutMs = 15000;
// Two free ports are picked and then bound by nginx a moment later; another
// program may take one in between, and then the next pick is tried.
constexpr int kAttempts = 3;

// One process, no workers: nginx then never changes its user, so that as
// root too it reads the pages from the test's private folder. The server
// is given the browser's Host, as a proxy in front of it must.
const char* const kConfig = R"(daemon off;
master_process off;
pid @DIR@/nginx.pid;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path @DIR@/temp; proxy_temp_path @DIR@/temp;
  fastcgi_temp_path @DIR@/temp; uwsgi_temp_path @DIR@/temp; scgi_temp_path @DIR@/temp;
  server {
    listen 127.0.0.1:@PORT@;
    location @PAGES@ { alias @DIR@/pages/; default_type text/html; }
    location / {
      proxy_pass http://127.0.0.1:@UPSTREAM@;
      proxy_set_header Host $http_host;
      proxy_buffering off;
    }
  }
  server {
    listen 127.0.0.1:@OTHER@;
    location @PAGES@ { alias @DIR@/pages/; default_type text/html; }
    location / { return 404; }
  }
}
)";

} // namespace

NginxProxy::NginxProxy() {
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("nginx.log")));
}

NginxProxy::~NginxProxy() {
    stop();
}

QString NginxProxy::executable() {
    return QStandardPaths::findExecutable(
        QStringLiteral("nginx"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
}

QString NginxProxy::pageFolder() const {
    return m_dir.filePath(QStringLiteral("pages"));
}

QString NginxProxy::origin() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

QString NginxProxy::otherOrigin() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_otherPort);
}

bool NginxProxy::start(int upstreamPort, QString* why) {
    stop();
    m_upstream = upstreamPort;
    if (executable().isEmpty()) {
        *why = QStringLiteral("nginx is not installed (Debian package nginx-light)");
        return false;
    }
    if (!m_dir.isValid() || !QDir().mkpath(pageFolder()) ||
        !QDir().mkpath(m_dir.filePath(QStringLiteral("temp")))) {
        *why = QStringLiteral("no temporary folder for nginx");
        return false;
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt)
        if (startOnce(why))
            return true;
    return false;
}

bool NginxProxy::writeConfig(QString* why) const {
    QByteArray config = kConfig;
    config.replace("@DIR@", QFile::encodeName(m_dir.path()))
        .replace("@PAGES@", kPagePath)
        .replace("@PORT@", QByteArray::number(m_port))
        .replace("@OTHER@", QByteArray::number(m_otherPort))
        .replace("@UPSTREAM@", QByteArray::number(m_upstream));
    QFile file(m_dir.filePath(QStringLiteral("nginx.conf")));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
        file.write(config) == config.size())
        return true;
    *why = QStringLiteral("cannot write the nginx configuration: %1").arg(file.errorString());
    return false;
}

bool NginxProxy::startOnce(QString* why) {
    m_port = freeLoopbackPort();
    m_otherPort = freeLoopbackPort();
    if (m_port == 0 || m_otherPort == 0 || m_port == m_otherPort) {
        *why = QStringLiteral("no two free ports for nginx");
        return false;
    }
    if (!writeConfig(why))
        return false;
    m_process.start(executable(), {QStringLiteral("-p"), m_dir.path(), QStringLiteral("-c"),
                                   m_dir.filePath(QStringLiteral("nginx.conf")),
                                   QStringLiteral("-e"), QStringLiteral("stderr")});
    if (m_process.waitForStarted() && waitUntilListening())
        return true;
    *why = QStringLiteral("nginx did not start: %1").arg(logTail());
    stop();
    return false;
}

bool NginxProxy::waitUntilListening() {
    for (QDeadlineTimer until(kListenTimeoutMs); !until.hasExpired(); QThread::msleep(20)) {
        if (m_process.state() != QProcess::Running)
            return false;
        RawSocket own;
        RawSocket other;
        if (own.connectTo(m_port) && other.connectTo(m_otherPort))
            return true;
    }
    return false;
}

void NginxProxy::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

QString NginxProxy::logTail() const {
    QFile log(m_dir.filePath(QStringLiteral("nginx.log")));
    if (!log.open(QIODevice::ReadOnly))
        return QStringLiteral("no log");
    return QString::fromLocal8Bit(log.readAll().right(400)).simplified();
}
