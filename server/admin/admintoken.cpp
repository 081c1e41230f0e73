#include "server/admin/admintoken.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray digestOf(QByteArrayView text) {
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256);
}

// Both digests have the same length; every byte is looked at whatever the
// first difference.
bool sameDigest(const QByteArray& a, const QByteArray& b) {
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return a.size() == b.size() && difference == 0;
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// 32 bytes from the system's secure source, as 64 hex digits.
QByteArray newSecret() {
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
}

bool writeAll(int fd, const QByteArray& data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Written to a private temporary file, then linked into place: the file is
// never readable by others, never seen half-written, and when two servers
// start together on one folder the first link wins and the second reads it.
bool createTokenFile(const QString& path, const QByteArray& secret, bool* linkedHere,
                     QString* error) {
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temporary = target + ".new-" + QByteArray::number(::getpid());
    ::unlink(temporary.constData());
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = QStringLiteral("cannot create %1: %2").arg(path, systemError());
        return false;
    }
    const bool written = writeAll(fd, secret + '\n') && ::fsync(fd) == 0;
    ::close(fd);
    const bool linked = written && ::link(temporary.constData(), target.constData()) == 0;
    const int linkErrno = errno;
    ::unlink(temporary.constData());
    *linkedHere = linked;
    if (!linked && !(written && linkErrno == EEXIST)) {
        errno = linkErrno;
        *error = QStringLiteral("cannot write %1: %2").arg(path, systemError());
        return false;
    }
    return true;
}

} // namespace

AdminToken::AdminToken(const QByteArray& secret)
    : m_digest(digestOf(secret)),
      m_sessionKey(QMessageAuthenticationCode::hash("vantoro admin sessions 1", secret,
                                                    QCryptographicHash::Sha256)) {}

AdminToken AdminToken::fromSecret(const QByteArray& secret) {
    return AdminToken(secret);
}

std::optional<AdminToken> AdminToken::readFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    // A token file is one line; a bigger file is not one.
    const QByteArray secret = file.read(4096).trimmed();
    if (secret.size() < kMinLength || secret.contains('\n')) {
        *error = QStringLiteral("%1 does not hold a token of one line and at least %2 characters")
                     .arg(path)
                     .arg(kMinLength);
        return std::nullopt;
    }
    return AdminToken(secret);
}

std::optional<AdminToken> AdminToken::loadOrCreate(const QString& dataFolder, bool* created,
                                                   QString* error) {
    *created = false;
    const QString path = QDir(dataFolder).filePath(QLatin1String(kFileName));
    if (!QFile::exists(path)) {
        if (!QDir().mkpath(dataFolder)) {
            *error = QStringLiteral("cannot create the folder %1").arg(dataFolder);
            return std::nullopt;
        }
        if (!createTokenFile(path, newSecret(), created, error))
            return std::nullopt;
    }
    return readFile(path, error);
}

bool AdminToken::matches(std::string_view candidate) const {
    return sameDigest(m_digest,
                      digestOf(QByteArrayView(candidate.data(), qsizetype(candidate.size()))));
}
