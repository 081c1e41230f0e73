#include "server/admin/admingate.h"
#include "server/admin/admintoken.h"
#include "server/admin/failurelimiter.h"
#include "server/admin/origincheck.h"
#include "server/http/httprequest.h"
#include "server/http/httpresponse.h"
#include "server/store/sqlitereportstore.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <sys/stat.h>

namespace {

const QByteArray kSecret = "0123456789abcdef0123456789abcdef";

HttpRequest request(const std::string& address,
                    std::vector<std::pair<std::string, std::string>> headers = {}) {
    HttpRequest req;
    req.method = "GET";
    req.setTarget("/admin");
    req.clientAddress = address;
    req.headers = std::move(headers);
    return req;
}

HttpRequest bearer(const std::string& token, const std::string& address = "10.0.0.1") {
    return request(address, {{"Authorization", "Bearer " + token}});
}

std::string headerOf(const HttpResponse& res, const std::string& name) {
    for (const auto& [key, value] : res.headers)
        if (key == name)
            return value;
    return {};
}

HttpRequest withCookie(const std::string& session, const std::string& address = "10.0.0.1") {
    return request(address, {{"Cookie", "theme=dark; vantoro_admin=" + session}});
}

HttpRequest loginForm(const std::string& token, const std::string& address = "10.0.0.3") {
    HttpRequest form = request(address);
    form.method = "POST";
    form.setTarget(AdminGate::kLoginPath);
    form.body = "token=" + token;
    return form;
}

// The session id the sign-in's cookie carries; empty without one.
std::string signIn(AdminGate& gate, const std::string& address = "10.0.0.3") {
    HttpResponse res;
    gate.login(loginForm(kSecret.toStdString(), address), res);
    const std::string cookie = headerOf(res, "Set-Cookie");
    const std::string prefix = std::string(AdminGate::kCookieName) + '=';
    if (res.status != 303 || !cookie.starts_with(prefix))
        return {};
    return cookie.substr(prefix.size(), cookie.find(';') - prefix.size());
}

// The report store the gates keep their sessions in, and the clock they
// read, which the test moves.
class SessionStore {
public:
    SessionStore() { m_open = m_store.open(m_dir.filePath(QStringLiteral("r.sqlite")), &m_error); }
    bool isOpen() const { return m_open; }
    SqliteReportStore& store() { return m_store; }
    AdminSessions::Clock clock() {
        return [this] { return m_now; };
    }
    void advance(std::chrono::seconds by) { m_now += by; }
    qlonglong rows() const {
        QString error;
        return m_store.select("SELECT COUNT(*) FROM admin_sessions", {}, &error)
            .value(0)
            .value(0)
            .toLongLong();
    }

private:
    QTemporaryDir m_dir;
    SqliteReportStore m_store;
    QString m_error;
    bool m_open = false;
    // A fixed day in 2026, whatever the machine's clock says.
    std::chrono::system_clock::time_point m_now =
        std::chrono::system_clock::time_point(std::chrono::seconds(1796780258));
};

} // namespace

class TestAdminGate : public QObject {
    Q_OBJECT

private slots:
    void createsAPrivateTokenOnceAndKeepsIt();
    void refusesTokenFilesThatCannotBeTokens();
    void comparesWholeTokensOnly();
    void limitsWrongTokensPerAddressForAMinute();
    void boundsTheAddressesItTracks();
    void letsTheRightBearerOrCookieIn();
    void refusesBrowsersWithTheFormAndScriptsWithAChallenge();
    void loginSetsAStrictHttpOnlyCookie();
    void sessionsEndAfterTwelveHoursAndLeaveNoRows();
    void aStoreThatCannotBeReachedTakesNoCookie();
    void blockedAddressRefusesGuessesNotTheRightToken();
    void coversOnlyTheAdminTree();
    void originCheckKnowsTheServersOwnPages_data();
    void originCheckKnowsTheServersOwnPages();
};

void TestAdminGate::createsAPrivateTokenOnceAndKeepsIt() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("data/server"));
    bool created = false;
    QString error;
    const auto first = AdminToken::loadOrCreate(folder, &created, &error);
    QVERIFY2(first, qPrintable(error));
    QVERIFY(created);
    const QString path = folder + QStringLiteral("/admin-token");
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0600u);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray secret = file.readAll().trimmed();
    QCOMPARE(secret.size(), 64);
    QVERIFY(first->matches(secret.toStdString()));
    // Nothing but the token file is left in the folder.
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"admin-token"});

    const auto second = AdminToken::loadOrCreate(folder, &created, &error);
    QVERIFY(second);
    QVERIFY(!created);
    QVERIFY(second->matches(secret.toStdString()));
    QCOMPARE(second->sessionKey(), first->sessionKey());
}

void TestAdminGate::refusesTokenFilesThatCannotBeTokens() {
    QTemporaryDir dir;
    QString error;
    QVERIFY(!AdminToken::readFile(dir.filePath(QStringLiteral("missing")), &error));
    QVERIFY(error.contains(QStringLiteral("missing")));
    const QString path = dir.filePath(QStringLiteral("token"));
    for (const QByteArray& content : {QByteArray("short\n"), QByteArray("   \n"),
                                      QByteArray("0123456789abcdef\nsecond line\n")}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        error.clear();
        QVERIFY2(!AdminToken::readFile(path, &error), content.constData());
        QVERIFY(!error.isEmpty());
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("  " + kSecret + "\n");
    file.close();
    const auto token = AdminToken::readFile(path, &error);
    QVERIFY(token);
    QVERIFY(token->matches(kSecret.toStdString()));
}

void TestAdminGate::comparesWholeTokensOnly() {
    const AdminToken token = AdminToken::fromSecret(kSecret);
    const std::string right = kSecret.toStdString();
    QVERIFY(token.matches(right));
    QVERIFY(!token.matches(right.substr(0, right.size() - 1)));
    QVERIFY(!token.matches(right + "0"));
    QVERIFY(!token.matches(""));
    std::string oneOff = right;
    oneOff.back() = 'X';
    QVERIFY(!token.matches(oneOff));
    // The sessions' key is not the token, is the same for the same token,
    // and another token's differs.
    QVERIFY(token.sessionKey() != kSecret);
    QVERIFY(!token.matches(token.sessionKey().toHex().toStdString()));
    QCOMPARE(AdminToken::fromSecret(kSecret).sessionKey(), token.sessionKey());
    QVERIFY(AdminToken::fromSecret(kSecret + "x").sessionKey() != token.sessionKey());
}

void TestAdminGate::limitsWrongTokensPerAddressForAMinute() {
    using namespace std::chrono_literals;
    FailureLimiter limiter;
    const auto start = FailureLimiter::Clock::time_point() + 1h;
    for (int i = 0; i < 9; ++i)
        limiter.recordFailure("a", start + i * 1s);
    QCOMPARE(limiter.blockedFor("a", start + 9s).count(), 0);
    limiter.recordFailure("a", start + 10s);
    QCOMPARE(limiter.blockedFor("a", start + 10s).count(), 50);
    QCOMPARE(limiter.blockedFor("a", start + 59500ms).count(), 1);
    QCOMPARE(limiter.blockedFor("b", start + 10s).count(), 0);
    // The minute that began with the first failure is over.
    QCOMPARE(limiter.blockedFor("a", start + 60s).count(), 0);
    limiter.recordFailure("a", start + 61s);
    QCOMPARE(limiter.blockedFor("a", start + 61s).count(), 0);

    // Failures spread wider than a minute never add up to ten.
    FailureLimiter slow;
    for (int i = 0; i < 30; ++i)
        slow.recordFailure("c", start + i * 7s);
    QCOMPARE(slow.blockedFor("c", start + 210s).count(), 0);
}

void TestAdminGate::boundsTheAddressesItTracks() {
    using namespace std::chrono_literals;
    FailureLimiter limiter;
    const auto start = FailureLimiter::Clock::time_point() + 1h;
    for (std::size_t i = 0; i < FailureLimiter::kMaxAddresses + 500; ++i)
        limiter.recordFailure("10.1." + std::to_string(i), start + std::chrono::milliseconds(i));
    QCOMPARE(limiter.trackedAddresses(), FailureLimiter::kMaxAddresses);
    // Finished windows go first.
    limiter.recordFailure("late", start + 2min);
    QCOMPARE(limiter.trackedAddresses(), std::size_t(1));
}

void TestAdminGate::letsTheRightBearerOrCookieIn() {
    SessionStore sessions;
    QVERIFY(sessions.isOpen());
    AdminGate gate(AdminToken::fromSecret(kSecret), sessions.store(), false);
    QCOMPARE(gate.check(bearer(kSecret.toStdString())), AdminGate::Verdict::Allowed);
    QCOMPARE(
        gate.check(request("10.0.0.1", {{"authorization", "bearer " + kSecret.toStdString()}})),
        AdminGate::Verdict::Allowed);
    const std::string session = signIn(gate);
    QVERIFY(!session.empty());
    QCOMPARE(gate.check(withCookie(session)), AdminGate::Verdict::Allowed);
    // The digests are keyed with the token: a new token ends every session.
    AdminGate newToken(AdminToken::fromSecret(kSecret + "new"), sessions.store(), false);
    QCOMPARE(newToken.check(withCookie(session)), AdminGate::Verdict::Unauthorized);
    QCOMPARE(gate.check(request("10.0.0.1")), AdminGate::Verdict::Unauthorized);
    QCOMPARE(gate.check(bearer("wrong")), AdminGate::Verdict::Unauthorized);
    // The token itself is not a cookie, nor the cookie a Bearer token.
    QCOMPARE(
        gate.check(request("10.0.0.1", {{"Cookie", "vantoro_admin=" + kSecret.toStdString()}})),
        AdminGate::Verdict::Unauthorized);
    QCOMPARE(gate.check(bearer(session)), AdminGate::Verdict::Unauthorized);
    // An id of the right shape that no sign-in gave.
    std::string forged = session;
    forged[0] = forged[0] == 'a' ? 'b' : 'a';
    QCOMPARE(gate.check(withCookie(forged)), AdminGate::Verdict::Unauthorized);
    QCOMPARE(gate.check(request("10.0.0.1", {{"Authorization", "Basic " + kSecret.toStdString()}})),
             AdminGate::Verdict::Unauthorized);
}

void TestAdminGate::refusesBrowsersWithTheFormAndScriptsWithAChallenge() {
    SessionStore sessions;
    AdminGate gate(AdminToken::fromSecret(kSecret), sessions.store(), false);
    HttpResponse page;
    gate.refuse(AdminGate::Verdict::Unauthorized,
                request("10.0.0.2", {{"Accept", "text/html,application/xhtml+xml"}}), page);
    QCOMPARE(page.status, 401);
    QVERIFY(page.body.find("<form method=\"post\" action=\"/admin/login\">") != std::string::npos);
    HttpResponse script;
    gate.refuse(AdminGate::Verdict::Unauthorized, request("10.0.0.2"), script);
    QCOMPARE(script.status, 401);
    QCOMPARE(headerOf(script, "WWW-Authenticate"), std::string("Bearer realm=\"vantoro-admin\""));
    QCOMPARE(script.body, std::string("Unauthorized\n"));
}

void TestAdminGate::loginSetsAStrictHttpOnlyCookie() {
    const AdminToken token = AdminToken::fromSecret(kSecret);
    SessionStore sessions;
    for (const bool secure : {false, true}) {
        AdminGate gate(token, sessions.store(), secure);
        HttpRequest form = loginForm(kSecret.toStdString());
        HttpResponse res;
        gate.login(form, res);
        QCOMPARE(res.status, 303);
        QCOMPARE(headerOf(res, "Location"), std::string("/admin"));
        const std::string cookie = headerOf(res, "Set-Cookie");
        // A new id of 256 random bits at every sign-in, living as long as
        // its session.
        const QRegularExpression form64(QStringLiteral("^vantoro_admin=[0-9a-f]{64};"));
        QVERIFY2(form64.match(QString::fromStdString(cookie)).hasMatch(), cookie.c_str());
        QVERIFY(cookie.find("; Max-Age=43200;") != std::string::npos);
        const std::string first = signIn(gate);
        QVERIFY(!first.empty() && first != signIn(gate));
        QVERIFY(cookie.find("; HttpOnly") != std::string::npos);
        QVERIFY(cookie.find("; SameSite=Strict") != std::string::npos);
        QVERIFY(cookie.find("; Path=/admin") != std::string::npos);
        QCOMPARE(cookie.find("; Secure") != std::string::npos, secure);

        form.body = "token=" + kSecret.toStdString() + "0";
        HttpResponse wrong;
        gate.login(form, wrong);
        QCOMPARE(wrong.status, 401);
        QVERIFY(headerOf(wrong, "Set-Cookie").empty());
    }
}

void TestAdminGate::blockedAddressRefusesGuessesNotTheRightToken() {
    SessionStore sessions;
    AdminGate gate(AdminToken::fromSecret(kSecret), sessions.store(), false);
    const std::string session = signIn(gate, "10.0.0.9");
    for (int i = 0; i < FailureLimiter::kMaxFailures; ++i)
        QCOMPARE(gate.check(bearer("guess" + std::to_string(i), "10.0.0.9")),
                 AdminGate::Verdict::Unauthorized);
    QCOMPARE(gate.check(bearer("guess", "10.0.0.9")), AdminGate::Verdict::TooMany);
    QCOMPARE(gate.check(request("10.0.0.9")), AdminGate::Verdict::TooMany);
    HttpResponse res;
    gate.refuse(AdminGate::Verdict::TooMany, bearer("x", "10.0.0.9"), res);
    QCOMPARE(res.status, 429);
    const int retryAfter = std::stoi(headerOf(res, "Retry-After"));
    QVERIFY(retryAfter > 0 && retryAfter <= 60);
    HttpRequest form = request("10.0.0.9");
    form.body = "token=guess";
    HttpResponse login;
    gate.login(form, login);
    QCOMPARE(login.status, 429);
    // Only failures are limited: the right token passes, and logs in, and
    // so does a live session.
    QCOMPARE(gate.check(bearer(kSecret.toStdString(), "10.0.0.9")), AdminGate::Verdict::Allowed);
    QCOMPARE(gate.check(withCookie(session, "10.0.0.9")), AdminGate::Verdict::Allowed);
    form.body = "token=" + kSecret.toStdString();
    HttpResponse rightLogin;
    gate.login(form, rightLogin);
    QCOMPARE(rightLogin.status, 303);
    // Another address is not affected, and a missing token is not a guess.
    QCOMPARE(gate.check(bearer(kSecret.toStdString(), "10.0.0.8")), AdminGate::Verdict::Allowed);
    for (int i = 0; i < 20; ++i)
        QCOMPARE(gate.check(request("10.0.0.7")), AdminGate::Verdict::Unauthorized);
    QCOMPARE(gate.check(bearer(kSecret.toStdString(), "10.0.0.7")), AdminGate::Verdict::Allowed);
}

void TestAdminGate::coversOnlyTheAdminTree() {
    QVERIFY(AdminGate::covers("/admin"));
    QVERIFY(AdminGate::covers("/admin/"));
    QVERIFY(AdminGate::covers("/admin/ranking"));
    QVERIFY(!AdminGate::covers("/administrator"));
    QVERIFY(!AdminGate::covers("/wechat/admin"));
    QVERIFY(!AdminGate::covers("/"));
    // The scrape path is behind the door too, and only it.
    QVERIFY(AdminGate::covers("/metrics"));
    QVERIFY(!AdminGate::covers("/metrics/"));
    QVERIFY(!AdminGate::covers("/metricsx"));
}

void TestAdminGate::sessionsEndAfterTwelveHoursAndLeaveNoRows() {
    using namespace std::chrono_literals;
    SessionStore sessions;
    AdminGate gate(AdminToken::fromSecret(kSecret), sessions.store(), false, sessions.clock());
    const std::string early = signIn(gate);
    sessions.advance(1h);
    const std::string later = signIn(gate);
    sessions.advance(11h - 1s);
    QCOMPARE(gate.check(withCookie(early)), AdminGate::Verdict::Allowed);
    sessions.advance(1s);
    QCOMPARE(gate.check(withCookie(early)), AdminGate::Verdict::Unauthorized);
    QCOMPARE(gate.check(withCookie(later)), AdminGate::Verdict::Allowed);
    // The store holds digests, never an id.
    QString error;
    const QString kept = sessions.store()
                             .select("SELECT group_concat(digest) FROM admin_sessions", {}, &error)
                             .value(0)
                             .value(0)
                             .toString();
    QCOMPARE(kept.size(), 64 * 2 + 1);
    QVERIFY(!kept.contains(QString::fromStdString(early)) &&
            !kept.contains(QString::fromStdString(later)));
    // The next sign-in drops the rows of sessions that are over.
    sessions.advance(1h);
    QVERIFY(!signIn(gate).empty());
    QCOMPARE(sessions.rows(), 1);
    QCOMPARE(gate.check(withCookie(later)), AdminGate::Verdict::Unauthorized);
}

void TestAdminGate::aStoreThatCannotBeReachedTakesNoCookie() {
    SessionStore sessions;
    AdminGate gate(AdminToken::fromSecret(kSecret), sessions.store(), false);
    const std::string session = signIn(gate, "10.0.0.4");
    sessions.store().close();
    // Refused, and not taken for guesses: the address is never shut out.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("session could not be looked up"));
    for (int i = 0; i < FailureLimiter::kMaxFailures * 2; ++i)
        QCOMPARE(gate.check(withCookie(session, "10.0.0.4")), AdminGate::Verdict::Unauthorized);
    QCOMPARE(gate.check(bearer(kSecret.toStdString(), "10.0.0.4")), AdminGate::Verdict::Allowed);
    HttpResponse login;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("sign-in could not be kept"));
    gate.login(loginForm(kSecret.toStdString(), "10.0.0.4"), login);
    QCOMPARE(login.status, 503);
    QVERIFY(headerOf(login, "Set-Cookie").empty());
}

// How an Origin is matched; which requests are checked at all, and the
// Sec-Fetch-Site cases, are in tst_adminroutes.
void TestAdminGate::originCheckKnowsTheServersOwnPages_data() {
    using Headers = std::vector<std::pair<std::string, std::string>>;
    QTest::addColumn<QString>("publicUrl");
    QTest::addColumn<Headers>("headers");
    QTest::addColumn<bool>("allowed");
    const std::pair<std::string, std::string> host{"Host", "Admin.Example.org:8080"};
    QTest::newRow("own origin, any case")
        << QString() << Headers{host, {"Origin", "http://admin.example.org:8080"}} << true;
    QTest::newRow("own host, another port")
        << QString() << Headers{host, {"Origin", "http://admin.example.org:8081"}} << false;
    QTest::newRow("default port written out")
        << QString()
        << Headers{{"Host", "admin.example.org:80"}, {"Origin", "http://admin.example.org"}}
        << true;
    QTest::newRow("public url behind a proxy")
        << QStringLiteral("https://Vantoro.example.com/")
        << Headers{{"Host", "127.0.0.1:8081"}, {"Origin", "https://vantoro.example.com"}} << true;
    QTest::newRow("public url's host over http")
        << QStringLiteral("https://vantoro.example.com")
        << Headers{{"Host", "vantoro.example.com"}, {"Origin", "http://vantoro.example.com"}}
        << false;
    QTest::newRow("no host header")
        << QString() << Headers{{"Origin", "http://admin.example.org:8080"}} << false;
}

void TestAdminGate::originCheckKnowsTheServersOwnPages() {
    using Headers = std::vector<std::pair<std::string, std::string>>;
    QFETCH(QString, publicUrl);
    QFETCH(Headers, headers);
    QFETCH(bool, allowed);
    HttpRequest req = request("10.0.0.5", headers);
    req.method = "POST";
    QCOMPARE(OriginCheck(QUrl(publicUrl)).allows(req), allowed);
}

QTEST_GUILESS_MAIN(TestAdminGate)
#include "tst_admingate.moc"
