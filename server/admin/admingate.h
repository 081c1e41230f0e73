#pragma once

#include "server/admin/admintoken.h"
#include "server/admin/failurelimiter.h"

#include <string>
#include <string_view>

struct HttpRequest;
struct HttpResponse;

// The door to everything under /admin: a request passes with the operator's
// token as a Bearer header (scripts) or with the login cookie (browsers).
// Wrong tokens are counted per address; too many within a minute refuse
// that address's wrong tokens at once (429) until the minute is over, while
// the right one still passes.
class AdminGate {
public:
    enum class Verdict { Allowed, Unauthorized, TooMany };

    static constexpr const char* kCookieName = "vantoro_admin";
    static constexpr const char* kLoginPath = "/admin/login";

    // `secureCookie` for a server reached over HTTPS: the cookie is then
    // never sent in clear.
    AdminGate(AdminToken token, bool secureCookie);

    // "/admin" and every path below it.
    static bool covers(std::string_view path);

    Verdict check(const HttpRequest& req);
    // Fills the refusal for a request that did not pass.
    void refuse(Verdict verdict, const HttpRequest& req, HttpResponse& res);

    // The login form and its submission; the cookie on success.
    void loginForm(const HttpRequest& req, HttpResponse& res);
    void login(const HttpRequest& req, HttpResponse& res);
    void logout(HttpResponse& res);

private:
    bool refusedAddress(const HttpRequest& req, HttpResponse& res);
    std::string cookie(const std::string& value, int maxAgeSeconds) const;

    AdminToken m_token;
    bool m_secureCookie;
    FailureLimiter m_failures;
};
