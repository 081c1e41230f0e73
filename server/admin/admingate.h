#pragma once

#include "server/admin/adminsessions.h"
#include "server/admin/admintoken.h"
#include "server/admin/failurelimiter.h"

#include <string>
#include <string_view>

struct HttpRequest;
struct HttpResponse;

// The door to everything under /admin: a request passes with the operator's
// token as a Bearer header (scripts) or with the cookie of a session that
// the sign-in began and the sign-out has not ended (browsers). Wrong tokens
// and unknown sessions are counted per address; too many within a minute
// refuse that address's wrong ones at once (429) until the minute is over,
// while the right ones still pass.
class AdminGate {
public:
    enum class Verdict { Allowed, Unauthorized, TooMany };

    static constexpr const char* kCookieName = "vantoro_admin";
    static constexpr const char* kLoginPath = "/admin/login";

    // The sessions live in `store`. `secureCookie` for a server reached over
    // HTTPS: the cookie is then never sent in clear. `clock` for the
    // sessions' times, the system's when empty.
    AdminGate(AdminToken token, ReportStore& store, bool secureCookie,
              AdminSessions::Clock clock = {});

    // "/admin" and every path below it, and "/metrics", where a scraper
    // expects the figures.
    static bool covers(std::string_view path);

    Verdict check(const HttpRequest& req);
    // Fills the refusal for a request that did not pass.
    void refuse(Verdict verdict, const HttpRequest& req, HttpResponse& res);

    // The login form and its submission; a new session's cookie on success.
    void loginForm(const HttpRequest& req, HttpResponse& res);
    void login(const HttpRequest& req, HttpResponse& res);
    // Ends the session the cookie names, wherever it was begun.
    void logout(const HttpRequest& req, HttpResponse& res);

private:
    bool passes(const std::string& bearer, const std::string& cookie, bool* unchecked);
    bool refusedAddress(const HttpRequest& req, HttpResponse& res);
    std::string cookie(const std::string& value, long long maxAgeSeconds) const;

    AdminToken m_token;
    AdminSessions m_sessions;
    bool m_secureCookie;
    FailureLimiter m_failures;
};
