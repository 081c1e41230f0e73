#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <string_view>

// The operator's secret for everything under /admin. It is compared only
// through digests of a fixed length, so neither its content nor its length
// shows in how long a wrong guess takes to be turned down.
class AdminToken {
public:
    // The file name the server keeps its own token under in its data folder.
    static constexpr const char* kFileName = "admin-token";
    // Shorter secrets are refused: they can be guessed within the rate limit.
    static constexpr int kMinLength = 16;

    // Reads the token from `dataFolder`/admin-token, or creates one there
    // (mode 0600) when there is none. `*created` says which happened.
    static std::optional<AdminToken> loadOrCreate(const QString& dataFolder, bool* created,
                                                  QString* error);
    // Reads an operator-supplied token file; surrounding white space is not
    // part of the token.
    static std::optional<AdminToken> readFile(const QString& path, QString* error);
    static AdminToken fromSecret(const QByteArray& secret);

    bool matches(std::string_view candidate) const;
    // The key the sessions' digests are made with: derived from the token,
    // so that every process sharing the token knows the same sessions and a
    // new token ends all of them.
    QByteArray sessionKey() const { return m_sessionKey; }

private:
    explicit AdminToken(const QByteArray& secret);

    QByteArray m_digest;
    QByteArray m_sessionKey;
};
