#include "support/server/postgresinstance.h"

#include "support/server/freeport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QVersionNumber>
#include <pwd.h>
#include <unistd.h>

namespace {

const QString kUser = QStringLiteral("vantoro");
// The cluster's own user, for the case that the test runs as root.
const char* const kServiceAccount = "postgres";

} // namespace

PostgresInstance::PostgresInstance() : m_bin(binaryFolder()), m_asRoot(::geteuid() == 0) {}

PostgresInstance::~PostgresInstance() {
    stop();
}

QString PostgresInstance::binaryFolder() {
    // Debian keeps each major version's programs apart; the newest is taken.
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList names = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QVersionNumber::fromString(a) > QVersionNumber::fromString(b);
    });
    for (const QString& name : names) {
        const QString bin = versions.filePath(name + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb")) &&
            QFile::exists(bin + QStringLiteral("/pg_ctl")))
            return bin;
    }
    return {};
}

bool PostgresInstance::start(QString* why) {
    if (m_running)
        return true;
    if (m_bin.isEmpty()) {
        *why = QStringLiteral("PostgreSQL is not installed (no initdb and pg_ctl under "
                              "/usr/lib/postgresql/*/bin; Debian package postgresql)");
        return false;
    }
    if (!m_created && !create(why))
        return false;
    // A start that timed out may have left a server behind: stop() sees to it.
    m_mayRun = true;
    const QString options = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off")
                                .arg(m_port)
                                .arg(m_dir->path());
    if (!run(QStringLiteral("pg_ctl"),
             {QStringLiteral("start"), QStringLiteral("-w"), QStringLiteral("-t"),
              QStringLiteral("60"), QStringLiteral("-D"), dataFolder(), QStringLiteral("-l"),
              m_dir->filePath(QStringLiteral("server.log")), QStringLiteral("-o"), options},
             why, 90000)) {
        why->append(QStringLiteral(" | ") + logTail());
        return false;
    }
    m_running = true;
    if (m_databaseMade)
        return true;
    m_databaseMade = !createDatabase(m_database, why).isEmpty();
    return m_databaseMade;
}

void PostgresInstance::stop() {
    if (!m_mayRun)
        return;
    QString why;
    if (!run(QStringLiteral("pg_ctl"),
             {QStringLiteral("stop"), QStringLiteral("-w"), QStringLiteral("-m"),
              QStringLiteral("fast"), QStringLiteral("-D"), dataFolder()},
             &why, 60000) &&
        !why.contains(QLatin1String("no server running")))
        qWarning("PostgreSQL did not stop: %s", qPrintable(why));
    m_running = false;
    m_mayRun = false;
}

QString PostgresInstance::createDatabase(const QString& name, QString* why) {
    if (!run(QStringLiteral("createdb"),
             {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
              QString::number(m_port), QStringLiteral("-U"), kUser, name},
             why, 30000))
        return {};
    return urlOf(name);
}

bool PostgresInstance::create(QString* why) {
    m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/pg-XXXXXX"));
    m_port = freeLoopbackPort();
    if (!m_dir->isValid() || m_port == 0) {
        *why = QStringLiteral("no temporary folder or free port for PostgreSQL");
        return false;
    }
    if (m_asRoot) {
        const passwd* account = ::getpwnam(kServiceAccount);
        if (!account || ::chown(QFile::encodeName(m_dir->path()).constData(), account->pw_uid,
                                account->pw_gid) != 0) {
            *why = QStringLiteral("running as root, and no \"postgres\" account to run "
                                  "PostgreSQL as");
            return false;
        }
    }
    if (!run(QStringLiteral("initdb"),
             {QStringLiteral("-D"), dataFolder(), QStringLiteral("-U"), kUser, QStringLiteral("-A"),
              QStringLiteral("trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
              QStringLiteral("--locale=C"), QStringLiteral("-N")},
             why, 120000))
        return false;
    m_created = true;
    return true;
}

// Runs one of PostgreSQL's programs, as the service account when root.
bool PostgresInstance::run(const QString& program, const QStringList& arguments, QString* why,
                           int timeoutMs) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    // The server inherits the working folder; root's may be closed to it.
    process.setWorkingDirectory(m_dir ? m_dir->path() : QDir::tempPath());
    const QString path = m_bin + u'/' + program;
    if (m_asRoot)
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), QString::fromLatin1(kServiceAccount),
                                  QStringLiteral("--"), path} +
                          arguments);
    else
        process.start(path, arguments);
    const bool finished = process.waitForFinished(timeoutMs);
    if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    if (!finished)
        process.kill();
    const QString output = QString::fromLocal8Bit(process.readAll()).simplified();
    *why = QStringLiteral("%1 failed: %2")
               .arg(program, output.isEmpty() ? process.errorString() : output.right(300));
    process.waitForFinished(1000);
    return false;
}

QString PostgresInstance::urlOf(const QString& database) const {
    return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3").arg(kUser).arg(m_port).arg(database);
}

QString PostgresInstance::dataFolder() const {
    return m_dir->filePath(QStringLiteral("data"));
}

QString PostgresInstance::logTail() const {
    QFile log(m_dir->filePath(QStringLiteral("server.log")));
    if (!log.open(QIODevice::ReadOnly))
        return QStringLiteral("no server log");
    return QString::fromLocal8Bit(log.readAll().right(300)).simplified();
}
