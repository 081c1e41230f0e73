#include "platform/system/localizedstrings.h"
#include "results/blewresultstring.h"
#include "server/content/contentfolder.h"
#include "server/contentserver.h"
#include "server/pages/landingpagecache.h"
#include "support/server/storedreports.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <httplib.h>
#include <mutex>
#include <sqlite3.h>
#include <zlib.h>

namespace {

enum class Wrap { Gzip, Zlib };

QByteArray compressed(const QByteArray& data, Wrap wrap) {
    z_stream z{};
    // 15 + 16 asks zlib for a gzip header and trailer instead of its own.
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, wrap == Wrap::Gzip ? 31 : 15, 8,
                 Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&z, uLong(data.size()))) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return rc == Z_STREAM_END ? out : QByteArray();
}

QByteArray reportWith(const QStringList& ids) {
    QJsonArray records;
    for (const QString& id : ids)
        records.append(QJsonObject{{QStringLiteral("id"), id},
                                   {QStringLiteral("event"), QStringLiteral("blow_share")}});
    return QJsonDocument(QJsonObject{{QStringLiteral("records"), records}}).toJson();
}

std::mutex g_logMutex;
QStringList g_serverLog;
QtMessageHandler g_previousHandler = nullptr;

void captureServerLog(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (context.category && QByteArray(context.category) == "vantoro.server") {
        std::lock_guard lock(g_logMutex);
        g_serverLog << message;
    }
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

} // namespace

class TestContentServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void startsOnAFreePortAndStops();
    void pagesAreHtmlForAPhone_data();
    void pagesAreHtmlForAPhone();
    void hotIssuesLinkToArticlesAndBack();
    void rankingShowsEveryRowOfTheDataFile();
    void rankingWithoutUsableDataIsAnHonestError_data();
    void rankingWithoutUsableDataIsAnHonestError();
    void contentFolderIsServedAndItsRankingReplaced();
    void landingPagesRefuseBadParameters_data();
    void landingPagesRefuseBadParameters();
    void unknownAndClimbingPathsAreNotFound_data();
    void unknownAndClimbingPathsAreNotFound();
    void reportsAreStoredOnceEach();
    void badReportsAreRefusedAndNothingIsStored_data();
    void badReportsAreRefusedAndNothingIsStored();
    void reportIdsSurviveARestart();
    void withKeepDaysOldRecordsGoAtStart();
    void everyRequestIsLoggedOnce();
    void landingPagesLinkToThemselvesAtThePublicUrl();
    void withoutItsStoreTheCollectorSaysWhenToComeBack();
    void theHealthCheckSaysWhetherReportsCanBeKept();
    void landingPageCacheKeepsTheMostRecentlyAsked();
    void theDataItMakesIsItsUsersAlone();

private:
    void restartWithContent(const QString& folder);
    httplib::Result get(const std::string& path);
    httplib::Result post(const QByteArray& body, const char* encoding);
    static QString text(const httplib::Result& result);

    QTemporaryDir* m_dir = nullptr;
    ContentServer* m_server = nullptr;
    std::unique_ptr<httplib::Client> m_client;
};

void TestContentServer::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY2(QFile::exists(ContentFolder::samplePath() + QStringLiteral("/pm25rank.json")),
             "the sample ranking is not in the bundle");
    g_previousHandler = qInstallMessageHandler(captureServerLog);
}

void TestContentServer::cleanupTestCase() {
    qInstallMessageHandler(g_previousHandler);
}

void TestContentServer::init() {
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_server = new ContentServer;
    m_server->setDataFolder(m_dir->path());
    QVERIFY(m_server->start());
    m_client = std::make_unique<httplib::Client>("127.0.0.1", m_server->port());
    // Paths go out exactly as written, so that encoded dots reach the server.
    m_client->set_url_encode(false);
    m_client->set_connection_timeout(5);
    m_client->set_read_timeout(10);
}

void TestContentServer::cleanup() {
    m_client.reset();
    delete m_server;
    m_server = nullptr;
    delete m_dir;
    m_dir = nullptr;
}

void TestContentServer::restartWithContent(const QString& folder) {
    m_server->stop();
    m_server->setContentFolder(folder);
    QVERIFY(m_server->start());
    m_client = std::make_unique<httplib::Client>("127.0.0.1", m_server->port());
}

httplib::Result TestContentServer::get(const std::string& path) {
    return m_client->Get(path);
}

httplib::Result TestContentServer::post(const QByteArray& body, const char* encoding) {
    httplib::Headers headers;
    if (encoding)
        headers.emplace("Content-Encoding", encoding);
    return m_client->Post("/analytics/report", headers, body.toStdString(), "application/json");
}

QString TestContentServer::text(const httplib::Result& result) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString decoded = decoder.decode(QByteArray::fromStdString(result->body));
    return decoder.hasError() ? QStringLiteral("<not UTF-8>") : decoded;
}

void TestContentServer::startsOnAFreePortAndStops() {
    QVERIFY(m_server->port() > 0);
    QCOMPARE(m_server->baseUrl(), QStringLiteral("http://127.0.0.1:%1").arg(m_server->port()));
    QVERIFY(!m_server->start());

    ContentServer second;
    second.setDataFolder(m_dir->path() + QStringLiteral("/second"));
    QVERIFY(second.start());
    QVERIFY(second.port() != m_server->port());
    // The port of a running server is taken.
    ContentServer third;
    third.setDataFolder(m_dir->path() + QStringLiteral("/third"));
    QVERIFY(!third.start(QStringLiteral("127.0.0.1"), second.port()));
    second.stop();
    QCOMPARE(second.port(), 0);
    QVERIFY(second.baseUrl().isEmpty());

    const int port = m_server->port();
    m_server->stop();
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(2);
    QVERIFY(!client.Get("/"));
    // Startable again after a stop.
    QVERIFY(m_server->start());
    m_client = std::make_unique<httplib::Client>("127.0.0.1", m_server->port());
    QCOMPARE(get("/")->status, 200);
}

void TestContentServer::pagesAreHtmlForAPhone_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("expected");

    BlewResultString book;
    book.loadBook();
    auto smog = [](const char* key) {
        return LocalizedStrings::localizedStringForKey(QString::fromLatin1(key), QString(),
                                                       QStringLiteral("language"));
    };

    QTest::newRow("index") << "/"
                           << QStringList{QStringLiteral("/wechat/getPm25CentralIssue.do"),
                                          QStringLiteral("/wechat/getPm25Rank.do")};
    QTest::newRow("hot issues") << "/wechat/getPm25CentralIssue.do"
                                << QStringList{QStringLiteral("空气质量热点")};
    QTest::newRow("ranking") << "/wechat/getPm25Rank.do"
                             << QStringList{QStringLiteral("城市空气质量排行")};
    QTest::newRow("lung 3200 ml, band 2")
        << "/wechat/capacityPmShare.do?value=3200&percent=53&level=2_16"
        << QStringList{QStringLiteral("3200"), QStringLiteral("超越了全球53%的环保卫士"),
                       book.getResultString(QStringLiteral("BlewLvl_2_16"))};
    QTest::newRow("lung extremes")
        << "/wechat/capacityPmShare.do?value=0&percent=100&level=0_0"
        << QStringList{QStringLiteral(">0<"), QStringLiteral("超越了全球100%"),
                       book.getResultString(QStringLiteral("BlewLvl_0_0"))};
    QTest::newRow("lung top band, last comment")
        << "/wechat/capacityPmShare.do?value=10000&percent=100&level=3_18"
        << QStringList{QStringLiteral("10000"),
                       book.getResultString(QStringLiteral("BlewLvl_3_18"))};
    QTest::newRow("smog 90 takes row 234")
        << "/wechat/getPm25Capacity.do?percent=90&random=2"
        << QStringList{QStringLiteral("超越90%"), smog("atitude_234_2")};
    QTest::newRow("smog 93") << "/wechat/getPm25Capacity.do?percent=93&random=1"
                             << QStringList{QStringLiteral("超越93%"), smog("atitude_93_1")};
    QTest::newRow("smog 96 second")
        << "/wechat/getPm25Capacity.do?percent=96&random=2" << QStringList{smog("atitude_96_2")};
    QTest::newRow("smog 97 has one comment")
        << "/wechat/getPm25Capacity.do?percent=97&random=2" << QStringList{smog("atitude_97_1")};
    QTest::newRow("smog 99 shares 98's")
        << "/wechat/getPm25Capacity.do?percent=99&random=1"
        << QStringList{QStringLiteral("超越99%"), smog("atitude_98_1")};
}

void TestContentServer::pagesAreHtmlForAPhone() {
    QFETCH(QString, path);
    QFETCH(QStringList, expected);
    const auto result = get(path.toStdString());
    QVERIFY(result);
    QCOMPARE(result->status, 200);
    QCOMPARE(QString::fromStdString(result->get_header_value("Content-Type")),
             QStringLiteral("text/html; charset=utf-8"));
    const QString body = text(result);
    QVERIFY(body.startsWith(QStringLiteral("<!DOCTYPE html>")));
    QVERIFY(body.contains(QStringLiteral("<meta charset=\"utf-8\">")));
    QVERIFY(body.contains(QStringLiteral("name=\"viewport\"")));
    QVERIFY(!body.contains(QStringLiteral("<script")));
    for (const QString& piece : expected) {
        // A comment missing from its table would make the page pass vacuously.
        QVERIFY(!piece.isEmpty() && !piece.startsWith(QStringLiteral("atitude_")));
        QVERIFY2(body.contains(piece), qPrintable(piece));
    }
}

void TestContentServer::hotIssuesLinkToArticlesAndBack() {
    const QString list = text(get("/wechat/getPm25CentralIssue.do"));
    static const QRegularExpression link(
        QStringLiteral("href=\"(/wechat/article\\.do\\?id=[A-Za-z0-9_-]+)\""));
    QStringList articles;
    for (const auto& match : link.globalMatch(list))
        articles << match.captured(1);
    QVERIFY2(articles.size() >= 3 && articles.size() <= 4, qPrintable(articles.join(u' ')));
    // Shipped sample text says what it is, on the list and on each article.
    QCOMPARE(list.count(QStringLiteral("示例内容")), articles.size());
    QSet<QString> titles;
    for (const QString& article : articles) {
        const auto page = get(article.toStdString());
        QVERIFY(page);
        QCOMPARE(page->status, 200);
        const QString body = text(page);
        QVERIFY(body.contains(QStringLiteral("href=\"/wechat/getPm25CentralIssue.do\"")));
        QVERIFY(body.contains(QStringLiteral("示例内容")));
        static const QRegularExpression title(QStringLiteral("<title>(.*)</title>"));
        titles.insert(title.match(body).captured(1));
    }
    QCOMPARE(titles.size(), articles.size());
    QCOMPARE(get("/wechat/article.do?id=0")->status, 404);
    QCOMPARE(get("/wechat/article.do?id=1")->status, 404);
    QCOMPARE(get("/wechat/article.do?id=what-is-pm25x")->status, 404);
    QCOMPARE(get("/wechat/article.do?id=%2e%2e%2fpm25rank")->status, 404);
    QCOMPARE(get("/wechat/article.do")->status, 404);
}

void TestContentServer::rankingShowsEveryRowOfTheDataFile() {
    QFile file(ContentFolder::samplePath() + QStringLiteral("/pm25rank.json"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonArray cities =
        QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("cities")).toArray();
    QVERIFY(cities.size() >= 25);

    const auto result = get("/wechat/getPm25Rank.do");
    QCOMPARE(result->status, 200);
    const QString body = text(result);
    static const QRegularExpression row(
        QStringLiteral("<tr><td>(\\d+)</td><td>([^<]+)</td><td>(\\d+)</td><td>(\\d+)</td>"
                       "<td><span class=\"level\" style=\"background:(#[0-9a-f]{6});"));
    QHash<QString, QList<int>> shown;
    int previousAqi = -1;
    int expectedRank = 1;
    for (const auto& m : row.globalMatch(body)) {
        QCOMPARE(m.captured(1).toInt(), expectedRank++);
        const int aqi = m.captured(3).toInt();
        QVERIFY2(aqi >= previousAqi, "the ranking runs from the cleanest city to the dirtiest");
        previousAqi = aqi;
        shown.insert(m.captured(2), {aqi, m.captured(4).toInt()});
        // The colour follows the national AQI bands.
        const QString colour = m.captured(5);
        if (aqi <= 50)
            QCOMPARE(colour, QStringLiteral("#00e400"));
        else if (aqi > 300)
            QCOMPARE(colour, QStringLiteral("#7e0023"));
        else if (aqi > 150 && aqi <= 200)
            QCOMPARE(colour, QStringLiteral("#ff0000"));
    }
    QCOMPARE(shown.size(), cities.size());
    for (const QJsonValue v : cities) {
        const QJsonObject city = v.toObject();
        const QString name = city.value(QStringLiteral("city")).toString();
        QVERIFY2(shown.contains(name), qPrintable(name));
        QCOMPARE(shown.value(name), (QList<int>{city.value(QStringLiteral("aqi")).toInt(),
                                                city.value(QStringLiteral("pm25")).toInt()}));
    }
}

void TestContentServer::rankingWithoutUsableDataIsAnHonestError_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("exists");
    QTest::newRow("missing") << QByteArray() << false;
    QTest::newRow("not JSON") << QByteArray("{\"cities\": [") << true;
    QTest::newRow("empty list") << QByteArray("{\"cities\": []}") << true;
    QTest::newRow("AQI as text")
        << QByteArray("{\"cities\": [{\"city\": \"北京\", \"aqi\": \"114\", \"pm25\": 86}]}")
        << true;
    QTest::newRow("no name") << QByteArray("{\"cities\": [{\"aqi\": 114, \"pm25\": 86}]}") << true;
    QTest::newRow("negative PM2.5")
        << QByteArray("{\"cities\": [{\"city\": \"北京\", \"aqi\": 114, \"pm25\": -3}]}") << true;
}

void TestContentServer::rankingWithoutUsableDataIsAnHonestError() {
    QFETCH(QByteArray, content);
    QFETCH(bool, exists);
    // A content folder whose ranking was never good: there is none to fall back on.
    const QString folder = m_dir->path() + QStringLiteral("/content");
    QVERIFY(QDir().mkpath(folder));
    if (exists) {
        QFile file(folder + QStringLiteral("/pm25rank.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    restartWithContent(folder);
    QVERIFY(!m_server->contentProblems().isEmpty());
    {
        std::lock_guard lock(g_logMutex);
        g_serverLog.clear();
    }
    const auto result = get("/wechat/getPm25Rank.do");
    QVERIFY(result);
    QCOMPARE(result->status, 503);
    QVERIFY(text(result).contains(QStringLiteral("排行数据暂不可用")));
    QVERIFY(!text(result).contains(QStringLiteral("<tr><td>")));
    std::lock_guard lock(g_logMutex);
    QVERIFY2(g_serverLog.filter(QStringLiteral("ranking unavailable")).size() == 1,
             qPrintable(g_serverLog.join(u'\n')));
}

void TestContentServer::contentFolderIsServedAndItsRankingReplaced() {
    QString error;
    QVERIFY(
        !m_server->replaceRanking(R"({"cities": [{"city": "X", "aqi": 1, "pm25": 1}]})", &error));
    QVERIFY2(error.contains(QStringLiteral("sample")), qPrintable(error));

    const QString folder = m_dir->path() + QStringLiteral("/content");
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/articles")));
    QFile article(folder + QStringLiteral("/articles/dust-storm.md"));
    QVERIFY(article.open(QIODevice::WriteOnly));
    article.write("---\ntitle: Dust <storm>\ntag: t\ndate: 2025-03-01\nsummary: s\n---\n"
                  "**Sand** from the north.\n");
    article.close();
    restartWithContent(folder);

    const QString list = text(get("/wechat/getPm25CentralIssue.do"));
    QVERIFY(list.contains(QStringLiteral("id=dust-storm\">Dust &lt;storm&gt;</a>")));
    QVERIFY(!list.contains(QStringLiteral("示例内容")));
    QVERIFY(text(get("/wechat/article.do?id=dust-storm"))
                .contains(QStringLiteral("<strong>Sand</strong> from the north.")));
    QCOMPARE(get("/wechat/article.do?id=what-is-pm25")->status, 404);
    QCOMPARE(get("/wechat/getPm25Rank.do")->status, 503);

    QVERIFY(!m_server->replaceRanking("{\"cities\": [", &error));
    QCOMPARE(get("/wechat/getPm25Rank.do")->status, 503);
    QVERIFY2(m_server->replaceRanking(
                 R"({"note": "n", "cities": [{"city": "甲城", "aqi": 42, "pm25": 17}]})", &error),
             qPrintable(error));
    QVERIFY(m_server->contentProblems().isEmpty());
    const auto ranking = get("/wechat/getPm25Rank.do");
    QCOMPARE(ranking->status, 200);
    QVERIFY(text(ranking).contains(QStringLiteral("<td>甲城</td><td>42</td><td>17</td>")));
}

void TestContentServer::landingPagesRefuseBadParameters_data() {
    QTest::addColumn<QString>("path");
    const QString lung = QStringLiteral("/wechat/capacityPmShare.do?");
    const QString smog = QStringLiteral("/wechat/getPm25Capacity.do?");
    QTest::newRow("script in level")
        << lung + QStringLiteral("value=3200&percent=53&level=<script>alert(1)</script>");
    QTest::newRow("encoded script in level")
        << lung + QStringLiteral("value=3200&percent=53&level=%3Cscript%3Ealert(1)%3C%2Fscript%3E");
    QTest::newRow("quote after a good key")
        << lung + QStringLiteral("value=3200&percent=53&level=2_16%22%3E%3Cscript%3E");
    QTest::newRow("newline after a good key")
        << lung + QStringLiteral("value=1&percent=1&level=2_1%0A");
    QTest::newRow("band 4") << lung + QStringLiteral("value=3200&percent=53&level=4_1");
    QTest::newRow("index past the band")
        << lung + QStringLiteral("value=3200&percent=53&level=0_16");
    QTest::newRow("three digit index")
        << lung + QStringLiteral("value=3200&percent=53&level=1_100");
    QTest::newRow("no level") << lung + QStringLiteral("value=3200&percent=53");
    QTest::newRow("negative value") << lung + QStringLiteral("value=-1&percent=53&level=2_1");
    QTest::newRow("value too big") << lung + QStringLiteral("value=10001&percent=53&level=2_1");
    QTest::newRow("value not a number") << lung + QStringLiteral("value=3e3&percent=53&level=2_1");
    QTest::newRow("value with blank") << lung + QStringLiteral("value=%2032&percent=53&level=2_1");
    QTest::newRow("percent 101") << lung + QStringLiteral("value=3200&percent=101&level=2_1");
    QTest::newRow("no percent") << lung + QStringLiteral("value=3200&level=2_1");
    QTest::newRow("smog 89") << smog + QStringLiteral("percent=89&random=1");
    QTest::newRow("smog 100") << smog + QStringLiteral("percent=100&random=1");
    QTest::newRow("smog variant 0") << smog + QStringLiteral("percent=93&random=0");
    QTest::newRow("smog variant 3") << smog + QStringLiteral("percent=93&random=3");
    QTest::newRow("smog script") << smog + QStringLiteral("percent=<script>&random=1");
    QTest::newRow("smog nothing") << smog;
}

void TestContentServer::landingPagesRefuseBadParameters() {
    QFETCH(QString, path);
    const auto result = get(path.toStdString());
    QVERIFY(result);
    QCOMPARE(result->status, 400);
    QCOMPARE(QString::fromStdString(result->get_header_value("Content-Type")),
             QStringLiteral("text/html; charset=utf-8"));
    QVERIFY(!result->body.empty());
    QVERIFY(result->body.find("<script") == std::string::npos);
    QVERIFY(result->body.find("alert(") == std::string::npos);
}

void TestContentServer::unknownAndClimbingPathsAreNotFound_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("unknown") << QStringLiteral("/nothing/here.do");
    QTest::newRow("near miss") << QStringLiteral("/wechat/getPm25Rank.doo");
    QTest::newRow("dots") << QStringLiteral("/../etc/passwd");
    QTest::newRow("encoded dots") << QStringLiteral("/%2e%2e/%2e%2e/etc/passwd");
    QTest::newRow("encoded slash") << QStringLiteral("/wechat/..%2f..%2fetc/passwd");
    QTest::newRow("dots inside a route") << QStringLiteral("/wechat/../wechat/getPm25Rank.do");
    QTest::newRow("backslash") << QStringLiteral("/wechat\\getPm25Rank.do");
    QTest::newRow("no file serving") << QStringLiteral("/data/pm25rank.json");
    QTest::newRow("no file serving 2") << QStringLiteral("/resources/data/pm25rank.json");
    QTest::newRow("no content files") << QStringLiteral("/content/pm25rank.json");
    QTest::newRow("no article files") << QStringLiteral("/articles/what-is-pm25.md");
    QTest::newRow("report by GET") << QStringLiteral("/analytics/report");
}

void TestContentServer::unknownAndClimbingPathsAreNotFound() {
    QFETCH(QString, path);
    const auto result = get(path.toStdString());
    QVERIFY(result);
    QCOMPARE(result->status, 404);
    QVERIFY(result->body.find("root:") == std::string::npos);
    QVERIFY(text(result).contains(QStringLiteral("页面不存在")));
}

void TestContentServer::reportsAreStoredOnceEach() {
    QCOMPARE(StoredReports(*m_server).reportCount(), 0);
    auto stored = [](const httplib::Result& r) {
        return QJsonDocument::fromJson(QByteArray::fromStdString(r->body)).object();
    };

    const auto first = post(compressed(reportWith({"a1", "a2", "a3"}), Wrap::Gzip), "gzip");
    QVERIFY(first);
    QCOMPARE(first->status, 200);
    QCOMPARE(stored(first), (QJsonObject{{"stored", 3}, {"duplicates", 0}}));
    QCOMPARE(StoredReports(*m_server).recordIds(), (QStringList{"a1", "a2", "a3"}));
    // The report row says where it came from, not what it said.
    QCOMPARE(StoredReports(*m_server).reportClients(), QStringList{"loopback"});

    // A retry of the same upload, now deflated, and a newer one that overlaps it.
    const auto retry = post(compressed(reportWith({"a1", "a2", "a3"}), Wrap::Zlib), "deflate");
    QCOMPARE(retry->status, 200);
    QCOMPARE(stored(retry), (QJsonObject{{"stored", 0}, {"duplicates", 3}}));
    const auto overlap = post(compressed(reportWith({"a3", "b1", "b1"}), Wrap::Gzip), "gzip");
    QCOMPARE(stored(overlap), (QJsonObject{{"stored", 1}, {"duplicates", 2}}));
    QCOMPARE(StoredReports(*m_server).recordIds(), (QStringList{"a1", "a2", "a3", "b1"}));
    QCOMPARE(StoredReports(*m_server).reportCount(), 3);

    // Other lists than "records", elements without ids and non-object elements.
    const QByteArray mixed = R"({"launches": [{"id": "L1", "date": "x"}, {"date": "no id"}],
                                 "events": [{"id": "E1"}, 7, "text"], "version": "1.0"})";
    const auto other = post(compressed(mixed, Wrap::Gzip), "gzip");
    QCOMPARE(other->status, 200);
    QCOMPARE(stored(other), (QJsonObject{{"stored", 3}, {"duplicates", 0}}));
    QVERIFY(StoredReports(*m_server).recordIds().contains("L1"));
    QVERIFY(StoredReports(*m_server).recordIds().contains("E1"));
    QCOMPARE(StoredReports(*m_server).reportCount(), 4);
}

void TestContentServer::badReportsAreRefusedAndNothingIsStored_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("encoding");

    const QByteArray good = reportWith({"x1"});
    QTest::newRow("not compressed") << good << QByteArray();
    QTest::newRow("gzip claimed, plain sent") << good << QByteArray("gzip");
    QTest::newRow("unknown encoding") << compressed(good, Wrap::Gzip) << QByteArray("compress");
    QByteArray cut = compressed(good, Wrap::Gzip);
    cut[cut.size() / 2] = char(cut[cut.size() / 2] ^ 0x5a);
    QTest::newRow("damaged gzip") << cut << QByteArray("gzip");
    QTest::newRow("not JSON") << compressed("records: x1", Wrap::Gzip) << QByteArray("gzip");
    QTest::newRow("JSON list") << compressed(R"([{"id": "x1"}])", Wrap::Gzip) << QByteArray("gzip");
    QTest::newRow("numeric id") << compressed(R"({"records": [{"id": "x1"}, {"id": 7}]})",
                                              Wrap::Zlib)
                                << QByteArray("deflate");
    QTest::newRow("empty id") << compressed(R"({"records": [{"id": ""}]})", Wrap::Gzip)
                              << QByteArray("gzip");

    // Incompressible bytes just over the compressed limit.
    QByteArray noise(ContentServer::kMaxCompressedReport + 1, '\0');
    QRandomGenerator generator(7);
    generator.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    QTest::newRow("compressed over 1 MiB") << noise << QByteArray("gzip");

    // A small upload that inflates past the limit: a record id padded with blanks.
    QByteArray bomb = R"({"records": [{"id": "x1", "pad": ")";
    bomb += QByteArray(ContentServer::kMaxReport, ' ');
    bomb += R"("}]})";
    const QByteArray packedBomb = compressed(bomb, Wrap::Gzip);
    QVERIFY(packedBomb.size() < 64 * 1024);
    QTest::newRow("inflates over 8 MiB") << packedBomb << QByteArray("gzip");
}

void TestContentServer::badReportsAreRefusedAndNothingIsStored() {
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, encoding);
    const auto result = post(body, encoding.isEmpty() ? nullptr : encoding.constData());
    QVERIFY(result);
    // A body too big to take is refused as such before it is looked at.
    QCOMPARE(result->status, body.size() > ContentServer::kMaxCompressedReport ? 413 : 400);
    QCOMPARE(StoredReports(*m_server).reportCount(), 0);
    QVERIFY(StoredReports(*m_server).recordIds().isEmpty());
    // The server still answers after a refused upload.
    QCOMPARE(get("/")->status, 200);
}

void TestContentServer::reportIdsSurviveARestart() {
    QCOMPARE(post(compressed(reportWith({"r1", "r2"}), Wrap::Gzip), "gzip")->status, 200);
    m_server->stop();
    QVERIFY(m_server->start());
    m_client = std::make_unique<httplib::Client>("127.0.0.1", m_server->port());
    const auto again = post(compressed(reportWith({"r2", "r3"}), Wrap::Gzip), "gzip");
    QCOMPARE(again->status, 200);
    QCOMPARE(QJsonDocument::fromJson(QByteArray::fromStdString(again->body)).object(),
             (QJsonObject{{"stored", 1}, {"duplicates", 1}}));
    QCOMPARE(StoredReports(*m_server).recordIds(), (QStringList{"r1", "r2", "r3"}));
    QCOMPARE(StoredReports(*m_server).reportCount(), 2);
}

// The removal runs at start on a thread of its own, says what it removed,
// and is stopped before the store closes.
void TestContentServer::withKeepDaysOldRecordsGoAtStart() {
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QJsonArray records;
    for (const auto& [id, daysBack] : {std::pair{"old", 40}, std::pair{"recent", 1}})
        records.append(QJsonObject{{QStringLiteral("id"), id},
                                   {QStringLiteral("type"), QStringLiteral("launch")},
                                   {QStringLiteral("ts"), double(now - daysBack * 86400)}});
    const QByteArray report =
        QJsonDocument(QJsonObject{{QStringLiteral("launch"), records}}).toJson();
    QCOMPARE(post(compressed(report, Wrap::Gzip), "gzip")->status, 200);
    QCOMPARE(StoredReports(*m_server).recordIds(), (QStringList{"old", "recent"}));
    {
        std::lock_guard lock(g_logMutex);
        g_serverLog.clear();
    }
    m_server->stop();
    m_server->setKeepDays(30);
    QVERIFY(m_server->start());
    QTRY_COMPARE_WITH_TIMEOUT(StoredReports(*m_server).recordIds(), QStringList{"recent"}, 5000);
    auto runLines = [] {
        std::lock_guard lock(g_logMutex);
        return g_serverLog.filter(QStringLiteral("retention: removed 1 records and 0 reports "
                                                 "older than 30 days"));
    };
    QTRY_COMPARE_WITH_TIMEOUT(runLines().size(), 1, 5000);
    // The report still has a record, and arrived just now.
    QCOMPARE(StoredReports(*m_server).reportCount(), 1);
}

void TestContentServer::everyRequestIsLoggedOnce() {
    {
        std::lock_guard lock(g_logMutex);
        g_serverLog.clear();
    }
    QCOMPARE(get("/wechat/getPm25Rank.do")->status, 200);
    QCOMPARE(get("/missing.do")->status, 404);
    const auto bad = get("/wechat/getPm25Capacity.do?percent=1&random=1");
    QCOMPARE(bad->status, 400);
    // The server logs a request once its answer is on the way, so the last
    // line may come a moment after the client has the answer.
    auto getLines = [] {
        std::lock_guard lock(g_logMutex);
        return g_serverLog.filter(QRegularExpression(QStringLiteral("^GET ")));
    };
    QTRY_VERIFY_WITH_TIMEOUT(getLines().size() >= 3, 5000);
    QTest::qWait(50);
    const QStringList lines = getLines();
    QCOMPARE(lines.size(), 3);
    // Requests are served, and logged, on different threads: the lines may
    // come in any order, but each request has exactly one.
    const QStringList expected{QStringLiteral("\"/wechat/getPm25Rank.do\" 200"),
                               QStringLiteral("\"/missing.do\" 404"),
                               QStringLiteral("400 %1 bytes").arg(bad->body.size())};
    for (const QString& what : expected)
        QVERIFY2(lines.filter(what).size() == 1, qPrintable(what + " in " + lines.join('\n')));
}

void TestContentServer::landingPagesLinkToThemselvesAtThePublicUrl() {
    const std::string local = "http://127.0.0.1:" + std::to_string(m_server->port());
    const std::string lungPath = "/wechat/capacityPmShare.do?value=3200&percent=53&level=2_16";
    auto canonical = [this](const std::string& path) {
        static const QRegularExpression link(
            QStringLiteral("<link rel=\"canonical\" href=\"([^\"]*)\">"));
        return link.match(text(get(path))).captured(1).toStdString();
    };
    QCOMPARE(canonical(lungPath),
             local + "/wechat/capacityPmShare.do?value=3200&amp;percent=53&amp;level=2_16");
    // Kept once per result: another spelling of it gets the page of its one address.
    QCOMPARE(canonical("/wechat/capacityPmShare.do?level=2_16&percent=053&value=03200"),
             canonical(lungPath));

    m_server->stop();
    m_server->setPublicUrl(QUrl(QStringLiteral("https://vantoro.example.com/")));
    QVERIFY(m_server->start());
    m_client = std::make_unique<httplib::Client>("127.0.0.1", m_server->port());
    QCOMPARE(canonical(lungPath),
             std::string("https://vantoro.example.com/wechat/capacityPmShare.do?value=3200&amp;"
                         "percent=53&amp;level=2_16"));
    // Built from the checked values, not from what the request carried.
    QCOMPARE(canonical("/wechat/getPm25Capacity.do?percent=93&random=1&x=%22%3E"),
             std::string(
                 "https://vantoro.example.com/wechat/getPm25Capacity.do?percent=93&amp;random=1"));
    const QString page = text(get(lungPath));
    QVERIFY(page.contains(
        QStringLiteral("<meta property=\"og:title\" content=\"我的肺活量：3200毫升\">")));
    // Pages that are not shared carry no address of their own.
    QVERIFY(!text(get("/wechat/getPm25Rank.do")).contains(QStringLiteral("canonical")));
}

void TestContentServer::withoutItsStoreTheCollectorSaysWhenToComeBack() {
    // A folder where the database file should be: it cannot be opened.
    const QString blocked = m_dir->path() + QStringLiteral("/blocked.sqlite");
    QVERIFY(QDir().mkpath(blocked));
    m_server->stop();
    m_server->setDatabaseUrl(QStringLiteral("sqlite:") + blocked);
    QVERIFY(m_server->start());
    m_client = std::make_unique<httplib::Client>("127.0.0.1", m_server->port());
    const auto result = post(compressed(reportWith({QStringLiteral("a1")}), Wrap::Gzip), "gzip");
    QCOMPARE(result->status, 503);
    QCOMPARE(result->get_header_value("Retry-After"),
             std::to_string(ContentServer::kRetryAfterSeconds));
    QCOMPARE(StoredReports(*m_server).reportCount(), 0);
    // The pages do not need it.
    QCOMPARE(get("/wechat/getPm25CentralIssue.do")->status, 200);
    QCOMPARE(get("/healthz")->status, 503);
}

// While the database cannot be written (here another process holds it
// locked, which even root cannot write past), reports get 503 and so does
// the health check; once it can, both are served again with no report
// needed to find out.
void TestContentServer::theHealthCheckSaysWhetherReportsCanBeKept() {
    QCOMPARE(get("/healthz")->status, 200);
    sqlite3* other = nullptr;
    const QByteArray path = (m_dir->path() + QStringLiteral("/reports.sqlite")).toUtf8();
    QCOMPARE(sqlite3_open(path.constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    QCOMPARE(post(compressed(reportWith({QStringLiteral("h1")}), Wrap::Gzip), "gzip")->status, 503);
    QCOMPARE(get("/healthz")->status, 503);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    QTRY_COMPARE_WITH_TIMEOUT(get("/healthz")->status, 200, 5000);
    QCOMPARE(post(compressed(reportWith({QStringLiteral("h1")}), Wrap::Gzip), "gzip")->status, 200);
}

void TestContentServer::landingPageCacheKeepsTheMostRecentlyAsked() {
    LandingPageCache cache(2);
    QStringList rendered;
    auto ask = [&](const char* key) {
        return *cache.page(key, [&] {
            rendered << key;
            return std::string("page ") + key;
        });
    };
    QCOMPARE(ask("a"), "page a");
    ask("b");
    ask("a"); // a is the most recent now; b goes first
    ask("c");
    QCOMPARE(cache.size(), 2u);
    ask("a");
    ask("b");
    QCOMPARE(rendered, (QStringList{"a", "b", "c", "b"}));
}

// Player records are readable by no other user of the machine: a folder and
// a database the server makes are its user's alone.
void TestContentServer::theDataItMakesIsItsUsersAlone() {
    m_server->stop();
    const QString folder = m_dir->filePath("made/by/server");
    m_server->setDataFolder(folder);
    QVERIFY(m_server->start());
    // The user's, group's and others' bits.
    auto modeOf = [](const QString& path) { return int(QFileInfo(path).permissions() & 0x777); };
    QCOMPARE(modeOf(folder), int(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser));
    QCOMPARE(modeOf(folder + "/reports.sqlite"), int(QFile::ReadUser | QFile::WriteUser));
}

QTEST_GUILESS_MAIN(TestContentServer)
#include "tst_contentserver.moc"
