#include "server/admin/adminsessions.h"

#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <algorithm>

namespace {

// 256 bits from the system's secure source, as 64 hex digits.
constexpr std::size_t kIdLength = 64;

std::string newId() {
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex().toStdString();
}

// Anything else was never an id: the store is not asked about it.
bool wellFormed(std::string_view id) {
    return id.size() == kIdLength && std::all_of(id.begin(), id.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

} // namespace

AdminSessions::AdminSessions(ReportStore& store, QByteArray key, Clock clock)
    : m_store(&store), m_key(std::move(key)), m_clock(std::move(clock)) {
    if (!m_clock)
        m_clock = [] { return std::chrono::system_clock::now(); };
}

std::string AdminSessions::begin() {
    const std::string id = newId();
    const qint64 start = now();
    const qint64 end = start + std::chrono::seconds(kLifetime).count();
    return m_store->beginSession(digestOf(id), end, start) ? id : std::string();
}

ReportStore::SessionState AdminSessions::state(std::string_view id) const {
    if (!wellFormed(id))
        return ReportStore::SessionState::Invalid;
    return m_store->sessionState(digestOf(id), now());
}

bool AdminSessions::end(std::string_view id) {
    return !wellFormed(id) || m_store->endSession(digestOf(id));
}

// Looked up by equality in the store: how long a lookup takes tells
// nothing useful, since no one chooses a digest without the key.
QByteArray AdminSessions::digestOf(std::string_view id) const {
    return QMessageAuthenticationCode::hash(QByteArray(id.data(), qsizetype(id.size())), m_key,
                                            QCryptographicHash::Sha256)
        .toHex();
}

qint64 AdminSessions::now() const {
    return std::chrono::duration_cast<std::chrono::seconds>(m_clock().time_since_epoch()).count();
}
