#pragma once

#include <QString>

// The content server's pages as one player sees them while one host
// attacks: (a) eight connections posting the costliest crash reports as
// fast as they are answered, (b) 33 loopback addresses holding 32
// connections each with unfinished heads, reconnecting when dropped,
// (c) a client posting 20,000-record reports of distinct event ids. Each on
// a fresh server with its default limits, against the same player's figures
// with no attack in the same run.
class UnderAttack {
public:
    explicit UnderAttack(QString program) : m_program(std::move(program)) {}
    void run();

    static constexpr double kSeconds = 5;

private:
    QString m_program;
};
