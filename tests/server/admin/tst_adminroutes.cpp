#include "server/admin/admintoken.h"
#include "server/admin/failurelimiter.h"
#include "server/content/contentfolder.h"
#include "server/contentserver.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <httplib.h>

namespace {

const std::string kToken = "f00dfeedf00dfeedf00dfeedf00dfeed";

const char* const kRanking =
    R"({"updated": "2026-12-08 09:00", "note": "实时", "cities": [{"city": "拉萨", "aqi": 21, "pm25": 9}]})";

struct AdminPath {
    const char* method;
    const char* path;
};

// Every path under /admin that answers only with the token, and paths that
// do not exist: without the token, nobody learns which is which.
const AdminPath kLockedPaths[] = {
    {"GET", "/admin"},
    {"GET", "/admin/"},
    {"GET", "/admin/crashes"},
    {"GET", "/admin/crashes?group=0123456789abcdef"},
    {"GET", "/admin/export/figures.csv"},
    {"GET", "/admin/export/records.ndjson"},
    {"PUT", "/admin/ranking"},
    {"GET", "/admin/ranking"},
    {"POST", "/admin"},
    {"GET", "/admin/no-such-page"},
    {"DELETE", "/admin/ranking"},
    {"HEAD", "/admin"},
};

using Headers = std::vector<std::pair<std::string, std::string>>;

// "NAME=VALUE" of a response's Set-Cookie, for a request's Cookie header.
std::string cookieOf(const httplib::Result& res) {
    const std::string setCookie = res->get_header_value("Set-Cookie");
    return setCookie.substr(0, setCookie.find(';'));
}

void copyRanking(const QString& folder, const QString& sampleFolder) {
    QDir().mkpath(folder + QStringLiteral("/articles"));
    QFile::copy(sampleFolder + QStringLiteral("/pm25rank.json"),
                folder + QStringLiteral("/pm25rank.json"));
}

} // namespace

class TestAdminRoutes : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void everyAdminPathIsLockedWithoutTheRightToken();
    void theRightTokenOpensTheDoor();
    void theLoginFormGivesABrowserItsCookie();
    void stateChangesComeOnlyFromTheServersOwnPages_data();
    void stateChangesComeOnlyFromTheServersOwnPages();
    void aForeignLoginIsNeitherAGuessNorASignIn();
    void tenWrongTokensShutTheAddressOutForAMinute();
    void theAdminPagesCannotBeFramed();
    void rankingIsReplacedOnlyWithAValidBody();
    void theSampleContentTakesNoRanking();
    void aBrokenContentFileShowsOnTheDashboard();
    void aServerWithoutTokenHasNoAdminAtAll();

private:
    httplib::Result send(const AdminPath& path, const httplib::Headers& headers,
                         const std::string& body = {});
    static httplib::Headers bearer(const std::string& token);

    QTemporaryDir* m_dir = nullptr;
    ContentServer* m_server = nullptr;
    std::unique_ptr<httplib::Client> m_client;
};

void TestAdminRoutes::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
}

void TestAdminRoutes::init() {
    m_dir = new QTemporaryDir;
    const QString content = m_dir->filePath(QStringLiteral("content"));
    copyRanking(content, ContentFolder::samplePath());
    m_server = new ContentServer;
    m_server->setDataFolder(m_dir->filePath(QStringLiteral("data")));
    m_server->setContentFolder(content);
    m_server->setAdminToken(AdminToken::fromSecret(QByteArray::fromStdString(kToken)));
    QVERIFY(m_server->start());
    m_client = std::make_unique<httplib::Client>("127.0.0.1", m_server->port());
    m_client->set_read_timeout(10);
}

void TestAdminRoutes::cleanup() {
    m_client.reset();
    delete m_server;
    m_server = nullptr;
    delete m_dir;
    m_dir = nullptr;
}

httplib::Headers TestAdminRoutes::bearer(const std::string& token) {
    return {{"Authorization", "Bearer " + token}};
}

httplib::Result TestAdminRoutes::send(const AdminPath& path, const httplib::Headers& headers,
                                      const std::string& body) {
    const std::string method = path.method;
    if (method == "GET")
        return m_client->Get(path.path, headers);
    if (method == "HEAD")
        return m_client->Head(path.path, headers);
    if (method == "POST")
        return m_client->Post(path.path, headers, body, "application/json");
    if (method == "PUT")
        return m_client->Put(path.path, headers, body, "application/json");
    return m_client->Delete(path.path, headers, body, "application/json");
}

void TestAdminRoutes::everyAdminPathIsLockedWithoutTheRightToken() {
    const std::string wrongSameLength(kToken.size(), 'a');
    const httplib::Headers refusals[] = {
        {},
        bearer("not-the-token"),
        bearer(wrongSameLength),
        bearer(kToken.substr(0, 8)),
        bearer(kToken + kToken),
        {{"Cookie", "vantoro_admin=" + kToken}},
    };
    int wrongGuesses = 0;
    for (const AdminPath& path : kLockedPaths) {
        for (const httplib::Headers& headers : refusals) {
            // The limit would otherwise answer 429 before the end.
            if (wrongGuesses == FailureLimiter::kMaxFailures - 1) {
                cleanup();
                init();
                wrongGuesses = 0;
            }
            wrongGuesses += headers.empty() ? 0 : 1;
            const auto res = send(path, headers, kRanking);
            QVERIFY2(res, path.path);
            QCOMPARE(res->status, 401);
            if (std::string(path.method) != "HEAD")
                QCOMPARE(res->body, std::string("Unauthorized\n"));
            QCOMPARE(res->get_header_value("WWW-Authenticate"),
                     std::string("Bearer realm=\"vantoro-admin\""));
        }
    }
    // A browser is shown the form instead, and nothing else.
    const auto page = m_client->Get("/admin", {{"Accept", "text/html"}});
    QCOMPARE(page->status, 401);
    QVERIFY(page->body.find("name=\"token\"") != std::string::npos);
    QVERIFY(page->body.find("data-figure") == std::string::npos);
}

void TestAdminRoutes::theRightTokenOpensTheDoor() {
    const auto dashboard = m_client->Get("/admin", bearer(kToken));
    QCOMPARE(dashboard->status, 200);
    QCOMPARE(dashboard->get_header_value("Cache-Control"), std::string("no-store"));
    QVERIFY(dashboard->body.find("data-figure") != std::string::npos);
    QCOMPARE(m_client->Head("/admin", bearer(kToken))->status, 200);
    QCOMPARE(m_client->Get("/admin/crashes?group=0123456789abcdef", bearer(kToken))->status, 200);
    QCOMPARE(m_client->Get("/admin/no-such-page", bearer(kToken))->status, 404);
    QCOMPARE(m_client->Post("/admin", bearer(kToken), "", "text/plain")->status, 404);

    const auto csv =
        m_client->Get("/admin/export/figures.csv?from=2026-12-01&to=2026-12-03", bearer(kToken));
    QCOMPARE(csv->status, 200);
    QCOMPARE(csv->get_header_value("Content-Type"), std::string("text/csv; charset=utf-8"));
    QCOMPARE(csv->get_header_value("Content-Disposition"),
             std::string("attachment; filename=\"vantoro-figures-2026-12-01-2026-12-03.csv\""));
    QCOMPARE(csv->body, std::string("day,sessions,ends_of_use,events,shares,crashes\r\n"
                                    "2026-12-01,0,0,0,0,0\r\n2026-12-02,0,0,0,0,0\r\n"
                                    "2026-12-03,0,0,0,0,0\r\n"));
    QCOMPARE(m_client->Get("/admin/export/figures.csv?from=yesterday", bearer(kToken))->status,
             400);

    // Made on a worker, with the admin pages' headers all the same.
    const auto records =
        m_client->Get("/admin/export/records.ndjson?from=2026-12-01&to=2026-12-03", bearer(kToken));
    QCOMPARE(records->status, 200);
    QCOMPARE(records->get_header_value("Content-Type"),
             std::string("application/x-ndjson; charset=utf-8"));
    QCOMPARE(records->get_header_value("Content-Disposition"),
             std::string("attachment; filename=\"vantoro-records-2026-12-01-2026-12-03.ndjson\""));
    QCOMPARE(records->get_header_value("Cache-Control"), std::string("no-store"));
    QCOMPARE(records->body, std::string());
    const auto backwards =
        m_client->Get("/admin/export/records.ndjson?from=2026-12-03&to=2026-12-01", bearer(kToken));
    QCOMPARE(backwards->status, 400);
    // What was wrong, and nothing of what the dashboard shows instead.
    QCOMPARE(QString::fromStdString(backwards->body),
             QStringLiteral(R"({"error":"开始日期晚于结束日期"})"));
}

void TestAdminRoutes::theLoginFormGivesABrowserItsCookie() {
    QCOMPARE(m_client->Get("/admin/login")->status, 200);
    const auto wrong =
        m_client->Post("/admin/login", "token=nope", "application/x-www-form-urlencoded");
    QCOMPARE(wrong->status, 401);
    QVERIFY(!wrong->has_header("Set-Cookie"));
    const auto right =
        m_client->Post("/admin/login", "token=" + kToken, "application/x-www-form-urlencoded");
    QCOMPARE(right->status, 303);
    QCOMPARE(right->get_header_value("Location"), std::string("/admin"));
    const std::string setCookie = right->get_header_value("Set-Cookie");
    const std::string cookie = cookieOf(right);
    QVERIFY(setCookie.find("HttpOnly") != std::string::npos);
    QVERIFY(setCookie.find("SameSite=Strict") != std::string::npos);
    QVERIFY(setCookie.find("Max-Age=43200") != std::string::npos);
    QCOMPARE(m_client->Get("/admin", {{"Cookie", cookie}})->status, 200);
    // Each sign-in is a session of its own.
    const auto again =
        m_client->Post("/admin/login", "token=" + kToken, "application/x-www-form-urlencoded");
    QVERIFY(cookieOf(again) != cookie);
    const auto out = m_client->Post("/admin/logout", {{"Cookie", cookie}}, "", "text/plain");
    QCOMPARE(out->status, 303);
    QVERIFY(out->get_header_value("Set-Cookie").find("Max-Age=0") != std::string::npos);
    // The old cookie is dead on the server, not only forgotten by the
    // browser; the other session lives on.
    QCOMPARE(m_client->Get("/admin", {{"Cookie", cookie}})->status, 401);
    const auto form = m_client->Get("/admin", {{"Cookie", cookie}, {"Accept", "text/html"}});
    QCOMPARE(form->status, 401);
    QVERIFY(form->body.find("name=\"token\"") != std::string::npos);
    QCOMPARE(m_client->Get("/admin", {{"Cookie", cookieOf(again)}})->status, 200);
}

// What browsers say about where a request comes from, on each request
// that changes something; "%SELF%" is the server's own origin.
void TestAdminRoutes::stateChangesComeOnlyFromTheServersOwnPages_data() {
    QTest::addColumn<Headers>("headers");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("Origin is the server's own") << Headers{{"Origin", "%SELF%"}} << true;
    QTest::newRow("Sec-Fetch-Site none") << Headers{{"Sec-Fetch-Site", "none"}} << true;
    QTest::newRow("Sec-Fetch-Site same-origin")
        << Headers{{"Sec-Fetch-Site", "same-origin"}, {"Origin", "%SELF%"}} << true;
    QTest::newRow("Sec-Fetch-Site same-site")
        << Headers{{"Sec-Fetch-Site", "same-site"}, {"Origin", "http://127.0.0.1:1"}} << false;
    QTest::newRow("Sec-Fetch-Site cross-site")
        << Headers{{"Sec-Fetch-Site", "cross-site"}, {"Origin", "https://elsewhere.example"}}
        << false;
    QTest::newRow("Origin foreign") << Headers{{"Origin", "https://elsewhere.example"}} << false;
    QTest::newRow("Origin null") << Headers{{"Origin", "null"}} << false;
    QTest::newRow("neither header (a script)") << Headers{} << true;
}

void TestAdminRoutes::stateChangesComeOnlyFromTheServersOwnPages() {
    QFETCH(Headers, headers);
    QFETCH(bool, allowed);
    httplib::Headers sent;
    for (auto [name, value] : headers) {
        if (value == "%SELF%")
            value = "http://127.0.0.1:" + std::to_string(m_server->port());
        sent.emplace(name, value);
    }
    const auto login = m_client->Post("/admin/login", sent, "token=" + kToken,
                                      "application/x-www-form-urlencoded");
    const std::string session = cookieOf(login);
    httplib::Headers withCookie = sent;
    withCookie.emplace("Cookie", session);
    httplib::Headers withBearer = sent;
    withBearer.emplace("Authorization", "Bearer " + kToken);
    const auto ranking = m_client->Put("/admin/ranking", withBearer, kRanking, "application/json");
    const auto logout = m_client->Post("/admin/logout", withCookie, "", "text/plain");
    QCOMPARE(login->status, allowed ? 303 : 403);
    QCOMPARE(ranking->status, allowed ? 200 : 403);
    QCOMPARE(logout->status, allowed ? 303 : 403);
    if (allowed)
        return;
    QVERIFY(session.empty());
    QCOMPARE(login->get_header_value("Content-Type"), "text/plain; charset=utf-8");
    QVERIFY(login->body.find("another site") != std::string::npos);
    // Reading is not changing: the same headers pass on GET.
    QCOMPARE(m_client->Get("/admin", withBearer)->status, 200);
}

void TestAdminRoutes::aForeignLoginIsNeitherAGuessNorASignIn() {
    const httplib::Headers foreign{{"Origin", "https://elsewhere.example"}};
    for (int i = 0; i < FailureLimiter::kMaxFailures * 2; ++i) {
        const auto guess = m_client->Post("/admin/login", foreign, "token=guess",
                                          "application/x-www-form-urlencoded");
        QCOMPARE(guess->status, 403);
    }
    const auto right = m_client->Post("/admin/login", foreign, "token=" + kToken,
                                      "application/x-www-form-urlencoded");
    QCOMPARE(right->status, 403);
    QVERIFY(!right->has_header("Set-Cookie"));
    // None of them counted: a wrong token is still only wrong, not throttled.
    QCOMPARE(m_client->Get("/admin", bearer("guess"))->status, 401);
}

void TestAdminRoutes::tenWrongTokensShutTheAddressOutForAMinute() {
    for (int i = 0; i < FailureLimiter::kMaxFailures; ++i)
        QCOMPARE(m_client->Get("/admin", bearer("guess-" + std::to_string(i)))->status, 401);
    for (const AdminPath& path : kLockedPaths) {
        const auto res = send(path, bearer("another-guess"), kRanking);
        QCOMPARE(res->status, 429);
        const int retryAfter = std::stoi(res->get_header_value("Retry-After"));
        QVERIFY(retryAfter > 0 && retryAfter <= 60);
    }
    QCOMPARE(
        m_client->Post("/admin/login", "token=guess", "application/x-www-form-urlencoded")->status,
        429);
    // Only wrong guesses are shut out: the operator, behind the same
    // address, still gets in, with the token or through the form.
    QCOMPARE(m_client->Get("/admin", bearer(kToken))->status, 200);
    QCOMPARE(m_client->Post("/admin/login", "token=" + kToken, "application/x-www-form-urlencoded")
                 ->status,
             303);
    QCOMPARE(m_client->Get("/admin/login")->status, 200);
    // The public pages still answer.
    QCOMPARE(m_client->Get("/wechat/getPm25Rank.do")->status, 200);
}

// The operator's pages refuse to be framed, give no referrer and are kept
// by no cache.
void TestAdminRoutes::theAdminPagesCannotBeFramed() {
    for (const char* path : {"/admin/login", "/admin"}) {
        const auto page = m_client->Get(path, bearer(kToken));
        const std::string policy = page->get_header_value("Content-Security-Policy");
        QVERIFY2(policy.find("frame-ancestors 'none'") != std::string::npos, policy.c_str());
        QVERIFY(policy.find("form-action 'self'") != std::string::npos);
        QVERIFY(policy.find("base-uri 'none'") != std::string::npos);
        QCOMPARE(page->get_header_value("X-Frame-Options"), "DENY");
        QCOMPARE(page->get_header_value("Referrer-Policy"), "no-referrer");
        QCOMPARE(page->get_header_value("Cache-Control"), "no-store");
    }
    // The public pages keep their own policy.
    const auto ranking = m_client->Get("/wechat/getPm25Rank.do");
    QVERIFY(ranking->get_header_value("Content-Security-Policy").find("frame-ancestors") ==
            std::string::npos);
}

void TestAdminRoutes::rankingIsReplacedOnlyWithAValidBody() {
    const std::string before = m_client->Get("/wechat/getPm25Rank.do")->body;
    for (const char* bad : {"", "{", R"({"cities": "none"})", R"({"cities": [{"city": "x"}]})"}) {
        const auto res = m_client->Put("/admin/ranking", bearer(kToken), bad, "application/json");
        QCOMPARE(res->status, 400);
        QVERIFY(res->body.find("error") != std::string::npos);
    }
    QCOMPARE(m_client->Get("/wechat/getPm25Rank.do")->body, before);

    const auto put = m_client->Put("/admin/ranking", bearer(kToken), kRanking, "application/json");
    QCOMPARE(put->status, 200);
    const std::string after = m_client->Get("/wechat/getPm25Rank.do")->body;
    QVERIFY(after.find("拉萨") != std::string::npos);
    QVERIFY(after.find("2026-12-08 09:00") != std::string::npos);
    QFile file(m_dir->filePath(QStringLiteral("content/pm25rank.json")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray(kRanking));
    file.close();

    // A ranking file that cannot be replaced (here a folder in its place,
    // which stops root as well): the sender is told the fault is not its
    // body's, and the last good ranking stays served.
    QVERIFY(file.remove());
    QVERIFY(QDir().mkpath(file.fileName() + QStringLiteral("/blocked")));
    const auto refused = m_client->Put("/admin/ranking", bearer(kToken),
                                       R"({"cities": [{"city": "林芝", "aqi": 15, "pm25": 6}]})",
                                       "application/json");
    QCOMPARE(refused->status, 500);
    QVERIFY(refused->body.find("could not be written") != std::string::npos);
    QVERIFY(m_client->Get("/wechat/getPm25Rank.do")->body.find("拉萨") != std::string::npos);
}

void TestAdminRoutes::theSampleContentTakesNoRanking() {
    ContentServer sample;
    sample.setDataFolder(m_dir->filePath(QStringLiteral("sample-data")));
    sample.setAdminToken(AdminToken::fromSecret(QByteArray::fromStdString(kToken)));
    QVERIFY(sample.start());
    httplib::Client client("127.0.0.1", sample.port());
    QCOMPARE(client.Put("/admin/ranking", bearer(kToken), kRanking, "application/json")->status,
             409);
}

void TestAdminRoutes::aBrokenContentFileShowsOnTheDashboard() {
    QFile article(m_dir->filePath(QStringLiteral("content/articles/broken.md")));
    QVERIFY(article.open(QIODevice::WriteOnly));
    article.write("---\ntitle: 标题\ntag: 科普\ndate: 2026-13-01\nsummary: 摘要\n---\n正文\n");
    article.close();
    // The folder is polled: the problem appears without a restart.
    QTRY_VERIFY_WITH_TIMEOUT(
        m_client->Get("/admin", bearer(kToken))->body.find("articles/broken.md") !=
            std::string::npos,
        5000);
    const std::string page = m_client->Get("/admin", bearer(kToken))->body;
    const std::size_t row = page.find("<code>articles/broken.md</code>");
    QVERIFY(row != std::string::npos);
    // The line of the bad date, and the message beside it.
    QVERIFY(page.find("<td class=\"num\">4</td><td data-figure=\"problem\">", row) !=
            std::string::npos);
}

void TestAdminRoutes::aServerWithoutTokenHasNoAdminAtAll() {
    // As the application runs it embedded: no token, no door.
    ContentServer embedded;
    embedded.setDataFolder(m_dir->filePath(QStringLiteral("embedded")));
    QVERIFY(embedded.start());
    httplib::Client client("127.0.0.1", embedded.port());
    for (const AdminPath& path :
         {AdminPath{"GET", "/admin"}, AdminPath{"GET", "/admin/login"},
          AdminPath{"POST", "/admin/login"}, AdminPath{"PUT", "/admin/ranking"}}) {
        const std::string method = path.method;
        const auto res = method == "GET" ? client.Get(path.path, bearer(kToken))
                         : method == "POST"
                             ? client.Post(path.path, bearer(kToken), "token=" + kToken,
                                           "application/x-www-form-urlencoded")
                             : client.Put(path.path, bearer(kToken), kRanking, "application/json");
        QCOMPARE(res->status, 404);
    }
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("embedded/admin-token"))));
}

QTEST_GUILESS_MAIN(TestAdminRoutes)
#include "tst_adminroutes.moc"
