#pragma once

#include "server/store/reportstore.h"

#include <QByteArray>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

// The operator's signed-in browsers. Each sign-in gets a random id of its
// own for the cookie; the report store keeps a keyed digest of it with its
// end, so that every process on the store knows the session and a sign-out
// ends it for all of them. The id itself is never kept.
class AdminSessions {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    static constexpr std::chrono::hours kLifetime{12};

    // `key` makes the digests (AdminToken::sessionKey()); `clock` tells the
    // time, the system's when empty.
    AdminSessions(ReportStore& store, QByteArray key, Clock clock = {});

    // A new session's id, or empty when the store cannot keep it.
    std::string begin();
    ReportStore::SessionState state(std::string_view id) const;
    // False when the store could not be reached.
    bool end(std::string_view id);

private:
    QByteArray digestOf(std::string_view id) const;
    qint64 now() const;

    ReportStore* m_store;
    QByteArray m_key;
    Clock m_clock;
};
