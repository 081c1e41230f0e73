#include "server/admin/admingate.h"

#include "server/admin/loginpage.h"
#include "server/http/fieldtext.h"
#include "server/http/httprequest.h"
#include "server/http/httpresponse.h"
#include "server/serverlog.h"

#include <QString>
#include <cctype>

namespace {

// The cookie lasts as long as its session.
constexpr long long kCookieMaxAge = std::chrono::seconds(AdminSessions::kLifetime).count();

// The Bearer credential, or empty when the header holds none.
std::string bearerToken(const HttpRequest& req) {
    const std::string header = req.header("Authorization");
    constexpr std::string_view scheme = "Bearer ";
    if (header.size() <= scheme.size())
        return {};
    for (std::size_t i = 0; i < scheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(header[i])) !=
            std::tolower(static_cast<unsigned char>(scheme[i])))
            return {};
    return std::string(trimmedField(std::string_view(header).substr(scheme.size())));
}

std::string cookieNamed(const HttpRequest& req, std::string_view name) {
    const std::string header = req.header("Cookie");
    std::string_view rest = header;
    while (!rest.empty()) {
        const std::size_t end = rest.find(';');
        const std::string_view pair = trimmedField(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const std::size_t equals = pair.find('=');
        if (equals != std::string_view::npos && pair.substr(0, equals) == name)
            return std::string(pair.substr(equals + 1));
    }
    return {};
}

// The form's field, decoded like a query string.
std::string formField(const HttpRequest& req, std::string_view name) {
    HttpRequest form;
    form.setTarget("/?" + req.body);
    return form.param(name);
}

bool wantsPage(const HttpRequest& req) {
    return req.header("Accept").find("text/html") != std::string::npos;
}

void sendLoginForm(HttpResponse& res, int status, const QString& message) {
    res.status = status;
    res.contentType = "text/html; charset=utf-8";
    res.body = LoginPage::render(message).toStdString();
}

} // namespace

AdminGate::AdminGate(AdminToken token, ReportStore& store, bool secureCookie,
                     AdminSessions::Clock clock)
    : m_token(std::move(token)), m_sessions(store, m_token.sessionKey(), std::move(clock)),
      m_secureCookie(secureCookie) {}

bool AdminGate::covers(std::string_view path) {
    return path == "/admin" || path.starts_with("/admin/") || path == "/metrics";
}

// Only failures are limited: the right token or a live session passes
// whatever others sent from the same address (behind a proxy, every
// operator's and stranger's address), so that nobody can shut the operator
// out by guessing wrong. A session the store cannot look up now is refused
// but not counted: it was not a guess.
AdminGate::Verdict AdminGate::check(const HttpRequest& req) {
    const std::string bearer = bearerToken(req);
    const std::string cookie = cookieNamed(req, kCookieName);
    bool unchecked = false;
    if (passes(bearer, cookie, &unchecked))
        return Verdict::Allowed;
    if (m_failures.blockedFor(req.clientAddress).count() > 0)
        return Verdict::TooMany;
    if (bearer.empty() && cookie.empty())
        return Verdict::Unauthorized;
    if (unchecked) {
        qCWarning(lcServer) << "admin: a session could not be looked up: the report store "
                               "cannot be reached";
        return Verdict::Unauthorized;
    }
    m_failures.recordFailure(req.clientAddress);
    qCWarning(lcServer).noquote() << (bearer.empty() ? "admin: an unknown or ended session from"
                                                     : "admin: a wrong token from")
                                  << QString::fromStdString(req.clientAddress);
    return Verdict::Unauthorized;
}

// A Bearer header, when there is one, is all that counts.
bool AdminGate::passes(const std::string& bearer, const std::string& cookie, bool* unchecked) {
    if (!bearer.empty())
        return m_token.matches(bearer);
    if (cookie.empty())
        return false;
    const ReportStore::SessionState state = m_sessions.state(cookie);
    *unchecked = state == ReportStore::SessionState::Unreachable;
    return state == ReportStore::SessionState::Valid;
}

void AdminGate::refuse(Verdict verdict, const HttpRequest& req, HttpResponse& res) {
    res.setHeader("Cache-Control", "no-store");
    if (verdict == Verdict::TooMany) {
        res.status = 429;
        res.contentType = "text/plain; charset=utf-8";
        res.setHeader("Retry-After",
                      std::to_string(m_failures.blockedFor(req.clientAddress).count()));
        res.body = "Too many wrong tokens; try again later.\n";
        return;
    }
    if (wantsPage(req))
        return sendLoginForm(res, 401, QString());
    res.status = 401;
    res.contentType = "text/plain; charset=utf-8";
    res.setHeader("WWW-Authenticate", "Bearer realm=\"vantoro-admin\"");
    res.body = "Unauthorized\n";
}

bool AdminGate::refusedAddress(const HttpRequest& req, HttpResponse& res) {
    if (m_failures.blockedFor(req.clientAddress).count() == 0)
        return false;
    refuse(Verdict::TooMany, req, res);
    return true;
}

void AdminGate::loginForm(const HttpRequest&, HttpResponse& res) {
    res.setHeader("Cache-Control", "no-store");
    sendLoginForm(res, 200, QString());
}

void AdminGate::login(const HttpRequest& req, HttpResponse& res) {
    res.setHeader("Cache-Control", "no-store");
    const bool right = m_token.matches(formField(req, "token"));
    if (!right && refusedAddress(req, res))
        return;
    if (!right) {
        m_failures.recordFailure(req.clientAddress);
        qCWarning(lcServer).noquote()
            << "admin: a failed login from" << QString::fromStdString(req.clientAddress);
        return sendLoginForm(res, 401, QStringLiteral("令牌不正确。"));
    }
    const std::string session = m_sessions.begin();
    if (session.empty()) {
        qCWarning(lcServer) << "admin: a sign-in could not be kept: the report store cannot be "
                               "reached";
        res.setHeader("Retry-After", "30");
        return sendLoginForm(res, 503, QStringLiteral("现在无法登录，请稍后再试。"));
    }
    res.status = 303;
    res.setHeader("Location", "/admin");
    res.setHeader("Set-Cookie", cookie(session, kCookieMaxAge));
}

// The browser forgets its cookie either way; a session the store could not
// end now still ends at its time.
void AdminGate::logout(const HttpRequest& req, HttpResponse& res) {
    const std::string session = cookieNamed(req, kCookieName);
    if (!session.empty() && !m_sessions.end(session))
        qCWarning(lcServer) << "admin: a session could not be ended: the report store cannot be "
                               "reached; it ends within"
                            << AdminSessions::kLifetime.count() << "hours";
    res.status = 303;
    res.setHeader("Location", kLoginPath);
    res.setHeader("Set-Cookie", cookie(std::string(), 0));
    res.setHeader("Cache-Control", "no-store");
}

std::string AdminGate::cookie(const std::string& value, long long maxAgeSeconds) const {
    return std::string(kCookieName) + '=' + value +
           "; Path=/admin; Max-Age=" + std::to_string(maxAgeSeconds) +
           "; HttpOnly; SameSite=Strict" + (m_secureCookie ? "; Secure" : "");
}
