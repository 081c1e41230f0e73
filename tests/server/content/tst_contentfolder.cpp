#include "server/content/articlefile.h"
#include "server/content/contentfolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <sys/stat.h>
#include <thread>

namespace {

QByteArray articleText(const QByteArray& title, const QByteArray& date,
                       const QByteArray& body = "Some *text*.\n") {
    return "---\ntitle: " + title + "\ntag: 科普\ndate: " + date + "\nsummary: s\n---\n" + body;
}

const QByteArray kRanking = R"({"updated": "u", "note": "n", "cities": [
  {"city": "甲", "aqi": 80, "pm25": 50},
  {"city": "乙", "aqi": 20, "pm25": 9}
]})";

QStringList ids(const ContentSnapshot& snapshot) {
    QStringList out;
    for (const Article& a : snapshot.articles)
        out << a.id;
    return out;
}

QStringList titles(const ContentSnapshot& snapshot) {
    QStringList out;
    for (const Article& a : snapshot.articles)
        out << a.title;
    return out;
}

} // namespace

class TestContentFolder : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void aGoodArticleIsReadWhole();
    void headerErrorsAreReportedWithTheirLine_data();
    void headerErrorsAreReportedWithTheirLine();
    void markdownComesOutWithoutActiveHtml();
    void articlesRunNewestFirstAndBadNamesAreSkipped();
    void aBrokenEditKeepsTheLastGoodVersion();
    void aBrokenRankingKeepsTheLastGoodOne();
    void deletedFilesDisappear();
    void anUnreadableFolderKeepsWhatWasServed();
    void thePollerPicksUpAChange();
    void readersAlwaysSeeAWholeSnapshot();
    void replaceRankingChecksThenWritesWhole();
    void theSampleContentIsNotReplaced();
    void onlyRegularFilesAreRead();

private:
    QString path(const QString& file) const { return m_dir->path() + u'/' + file; }
    void write(const QString& file, const QByteArray& bytes);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestContentFolder::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir().mkpath(path(QStringLiteral("articles"))));
}

void TestContentFolder::cleanup() {
    m_dir.reset();
}

// Written aside and renamed in, so that a poll never reads a half-written
// file and reports it as broken.
void TestContentFolder::write(const QString& file, const QByteArray& bytes) {
    QSaveFile out(path(file));
    QVERIFY(out.open(QIODevice::WriteOnly));
    QCOMPARE(out.write(bytes), bytes.size());
    QVERIFY(out.commit());
}

void TestContentFolder::aGoodArticleIsReadWhole() {
    // A BOM and Windows line ends, as a desktop editor may save them.
    const QByteArray text =
        "\xEF\xBB\xBF---\r\ntitle:  雾霾与健康 \r\ntag: 健康\r\ndate: 2024-02-29\r\n"
        "summary: 一句话\r\nsample: yes\r\n---\r\n# 标题\r\n\r\n正文。\r\n";
    ArticleFile::Error error;
    const auto article = ArticleFile::parse(QStringLiteral("haze-health"), text, &error);
    QVERIFY2(article, qPrintable(error.message));
    QCOMPARE(article->id, QStringLiteral("haze-health"));
    QCOMPARE(article->title, QStringLiteral("雾霾与健康"));
    QCOMPARE(article->tag, QStringLiteral("健康"));
    QCOMPARE(article->date, QDate(2024, 2, 29));
    QCOMPARE(article->summary, QStringLiteral("一句话"));
    QVERIFY(article->sample);
    QVERIFY2(article->html.contains(QStringLiteral("<h1>标题</h1>")), qPrintable(article->html));
    QVERIFY(article->html.contains(QStringLiteral("<p>正文。</p>")));

    QVERIFY(ArticleFile::isValidId(QStringLiteral("A_z-09")));
    QVERIFY(ArticleFile::isValidId(QString(64, u'a')));
    QVERIFY(!ArticleFile::isValidId(QString(65, u'a')));
    QVERIFY(!ArticleFile::isValidId(QStringLiteral("a.b")));
    QVERIFY(!ArticleFile::isValidId(QStringLiteral("a\n")));
    QVERIFY(!ArticleFile::isValidId(QString()));
}

void TestContentFolder::headerErrorsAreReportedWithTheirLine_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message");
    const QByteArray rest = "tag: t\ndate: 2024-01-01\nsummary: s\n---\nBody\n";
    QTest::newRow("no header") << QByteArray("title: t\n" + rest) << 1 << "must start";
    QTest::newRow("unknown key") << QByteArray("---\ntitle: t\nauthor: a\n" + rest) << 3
                                 << "unknown header key \"author\"";
    QTest::newRow("duplicate key") << QByteArray("---\ntitle: t\ntag: t\n" + rest) << 4
                                   << "\"tag\" given twice (first on line 3)";
    QTest::newRow("no colon") << QByteArray("---\ntitle t\n" + rest) << 2 << "key: value";
    QTest::newRow("header never closed")
        << QByteArray("---\ntitle: t\ntag: t\ndate: 2024-01-01\nsummary: s\n") << 1 << "no closing";
    QTest::newRow("no date") << QByteArray("---\ntitle: t\ntag: t\nsummary: s\n---\nBody\n") << 5
                             << "no \"date\"";
    QTest::newRow("empty title") << QByteArray("---\ntitle:\n" + rest) << 2 << "\"title\" is empty";
    QTest::newRow("30 February") << QByteArray("---\ntitle: t\ntag: t\ndate: 2024-02-30\n"
                                               "summary: s\n---\nBody\n")
                                 << 4 << "2024-02-30";
    QTest::newRow("date without zeros") << QByteArray("---\ntitle: t\ntag: t\ndate: 2024-1-5\n"
                                                      "summary: s\n---\nBody\n")
                                        << 4 << "YYYY-MM-DD";
    QTest::newRow("sample neither yes nor no")
        << QByteArray("---\ntitle: t\nsample: maybe\n" + rest) << 3 << "sample";
    QTest::newRow("empty body") << QByteArray("---\ntitle: t\n" + rest.chopped(5) + "\n  \n") << 7
                                << "no text";
    QTest::newRow("Latin-1 in the body")
        << QByteArray("---\ntitle: t\n" + rest + "ok\ncaf\xE9\n") << 9 << "UTF-8";
    QTest::newRow("cut UTF-8 in the header")
        << QByteArray("---\ntitle: \xE9\x9B\n" + rest) << 2 << "UTF-8";
}

void TestContentFolder::headerErrorsAreReportedWithTheirLine() {
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    QFETCH(QString, message);
    write(QStringLiteral("articles/bad.md"), text);
    // The operator finds it in the log, by file and line.
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("/articles/bad\\.md:%1: .*%2")
                                                .arg(line)
                                                .arg(QRegularExpression::escape(message))));
    const ContentFolder folder(m_dir->path());
    QVERIFY(folder.snapshot()->articles.isEmpty());
    // No ranking file is a problem of its own.
    const QList<ContentProblem> problems = folder.problems();
    QCOMPARE(problems.size(), 2);
    QCOMPARE(problems.at(0).file, QStringLiteral("articles/bad.md"));
    QCOMPARE(problems.at(0).line, line);
    QVERIFY2(problems.at(0).message.contains(message), qPrintable(problems.at(0).message));
    QCOMPARE(problems.at(1).file, QStringLiteral("pm25rank.json"));
}

void TestContentFolder::markdownComesOutWithoutActiveHtml() {
    const QByteArray body = "Plain *emphasis* and [a link](https://example.org/a).\n\n"
                            "<script>alert(1)</script>\n\n"
                            "<img src=x onerror=alert(2)>\n\n"
                            "Inline <span onclick=\"alert(3)\">span</span>.\n\n"
                            "[click](javascript:alert(4)) [caps](JaVaScRiPt:alert(5)) "
                            "![pic](javascript:alert(6)) <javascript:alert(7)>\n\n"
                            "<a href=\"javascript:alert(8)\">raw link</a>\n";
    ArticleFile::Error error;
    const auto article =
        ArticleFile::parse(QStringLiteral("x"), articleText("t", "2024-01-01", body), &error);
    QVERIFY2(article, qPrintable(error.message));
    const QString html = article->html;
    // A javascript: target may stay as plain text, never as an attribute.
    for (const char* active : {"<script", "onerror", "onclick", "<img src=\"x\"", "<span",
                               "=\"javascript:", "<a href=\"javascript"})
        QVERIFY2(!html.contains(QLatin1String(active), Qt::CaseInsensitive),
                 qPrintable(QStringLiteral("%1 in %2").arg(QLatin1String(active), html)));
    // Ordinary Markdown still comes through.
    QVERIFY(html.contains(QStringLiteral("<em>emphasis</em>")));
    QVERIFY(html.contains(QStringLiteral("<a href=\"https://example.org/a\">a link</a>")));
    QVERIFY(html.contains(QStringLiteral(">click</a>")));
}

void TestContentFolder::articlesRunNewestFirstAndBadNamesAreSkipped() {
    write(QStringLiteral("articles/old.md"), articleText("Old", "2023-12-31"));
    write(QStringLiteral("articles/b-same-day.md"), articleText("B", "2024-03-01"));
    write(QStringLiteral("articles/a-same-day.md"), articleText("A", "2024-03-01"));
    write(QStringLiteral("articles/newest.md"), articleText("N", "2024-03-02"));
    write(QStringLiteral("articles/not an id.md"), articleText("Skipped", "2024-05-01"));
    write(QStringLiteral("articles/notes.txt"), "not an article, not looked at");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not an id\\.md: .*id")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("pm25rank\\.json")));
    const ContentFolder folder(m_dir->path());
    QCOMPARE(ids(*folder.snapshot()), (QStringList{"newest", "a-same-day", "b-same-day", "old"}));
    QCOMPARE(folder.problems().size(), 2);
    QCOMPARE(folder.problems().at(0).file, QStringLiteral("articles/not an id.md"));
}

void TestContentFolder::aBrokenEditKeepsTheLastGoodVersion() {
    write(QStringLiteral("pm25rank.json"), kRanking);
    write(QStringLiteral("articles/a.md"), articleText("First", "2024-01-01"));
    ContentFolder folder(m_dir->path());
    const auto before = folder.snapshot();
    QCOMPARE(titles(*before), QStringList{"First"});

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("a\\.md:4: .*last good")));
    write(QStringLiteral("articles/a.md"), articleText("Second", "2024-13-01"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("new\\.md:1: ")));
    write(QStringLiteral("articles/new.md"), "no header at all");
    folder.reload();
    QCOMPARE(titles(*folder.snapshot()), QStringList{"First"});
    QCOMPARE(folder.problems().size(), 2);

    write(QStringLiteral("articles/a.md"), articleText("Third", "2024-01-02"));
    folder.reload();
    QCOMPARE(titles(*folder.snapshot()), QStringList{"Third"});
    QCOMPARE(folder.problems().size(), 1);
    QCOMPARE(folder.problems().at(0).file, QStringLiteral("articles/new.md"));
    // A snapshot a reader holds is never changed under it.
    QCOMPARE(titles(*before), QStringList{"First"});
}

void TestContentFolder::aBrokenRankingKeepsTheLastGoodOne() {
    // Broken from the start: there is no ranking at all.
    write(QStringLiteral("pm25rank.json"), "{\n  \"cities\": [\n    {\"city\": \"甲\",,}\n]}");
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("pm25rank\\.json:3: not JSON.*503")));
    ContentFolder folder(m_dir->path());
    QVERIFY(!folder.snapshot()->ranking);
    QCOMPARE(folder.problems().size(), 1);
    QCOMPARE(folder.problems().at(0).line, 3);

    write(QStringLiteral("pm25rank.json"), kRanking);
    folder.reload();
    QVERIFY(folder.snapshot()->ranking);
    QCOMPARE(folder.snapshot()->ranking->cities.first().name, QStringLiteral("乙"));
    QVERIFY(folder.problems().isEmpty());

    // Valid JSON, but an entry without a city: refused as a whole.
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("entry 2 .*last good ranking")));
    write(QStringLiteral("pm25rank.json"),
          R"({"cities": [{"city": "丙", "aqi": 1, "pm25": 1}, {"aqi": 2, "pm25": 2}]})");
    folder.reload();
    QCOMPARE(folder.snapshot()->ranking->cities.size(), 2);
    QCOMPARE(folder.snapshot()->ranking->cities.first().name, QStringLiteral("乙"));
    QCOMPARE(folder.problems().size(), 1);
}

void TestContentFolder::deletedFilesDisappear() {
    write(QStringLiteral("pm25rank.json"), kRanking);
    write(QStringLiteral("articles/a.md"), articleText("A", "2024-01-01"));
    write(QStringLiteral("articles/b.md"), articleText("B", "2024-01-02"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("broken\\.md:1: ")));
    write(QStringLiteral("articles/broken.md"), "x");
    ContentFolder folder(m_dir->path());
    QCOMPARE(ids(*folder.snapshot()), (QStringList{"b", "a"}));
    QCOMPARE(folder.problems().size(), 1);

    QVERIFY(QFile::remove(path(QStringLiteral("articles/a.md"))));
    QVERIFY(QFile::remove(path(QStringLiteral("articles/broken.md"))));
    QVERIFY(QFile::remove(path(QStringLiteral("pm25rank.json"))));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("pm25rank\\.json: missing")));
    folder.reload();
    QCOMPARE(ids(*folder.snapshot()), QStringList{"b"});
    QVERIFY(!folder.snapshot()->ranking);
    QCOMPARE(folder.problems().size(), 1);
    QCOMPARE(folder.problems().at(0).file, QStringLiteral("pm25rank.json"));
}

void TestContentFolder::anUnreadableFolderKeepsWhatWasServed() {
    write(QStringLiteral("pm25rank.json"), kRanking);
    write(QStringLiteral("articles/a.md"), articleText("A", "2024-01-01"));
    QTemporaryDir parent;
    const QString root = parent.path() + QStringLiteral("/content");
    QVERIFY(QDir().rename(m_dir->path(), root));
    ContentFolder folder(root);
    QCOMPARE(folder.snapshot()->articles.size(), 1);

    // The folder goes away, as a dropped network mount would.
    const QString away = parent.path() + QStringLiteral("/away");
    QVERIFY(QDir().rename(root, away));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot be read")));
    folder.reload();
    QCOMPARE(folder.snapshot()->articles.size(), 1);
    QVERIFY(folder.snapshot()->ranking);
    QCOMPARE(folder.problems().size(), 1);

    QVERIFY(QDir().rename(away, root));
    folder.reload();
    QVERIFY(folder.problems().isEmpty());
    QVERIFY(QDir().rename(root, m_dir->path()));
}

void TestContentFolder::thePollerPicksUpAChange() {
    write(QStringLiteral("pm25rank.json"), kRanking);
    ContentFolder folder(m_dir->path());
    folder.startWatching();
    QVERIFY(folder.snapshot()->articles.isEmpty());
    QElapsedTimer clock;
    clock.start();
    write(QStringLiteral("articles/fresh.md"), articleText("Fresh", "2024-01-01"));
    QTRY_COMPARE_WITH_TIMEOUT(ids(*folder.snapshot()), QStringList{"fresh"}, 3000);
    qInfo("new article served after %lld ms", clock.elapsed());

    clock.restart();
    write(QStringLiteral("articles/fresh.md"), articleText("Fresher", "2024-01-01"));
    QTRY_COMPARE_WITH_TIMEOUT(titles(*folder.snapshot()), QStringList{"Fresher"}, 3000);
    qInfo("edit served after %lld ms", clock.elapsed());
    folder.stopWatching();
}

void TestContentFolder::readersAlwaysSeeAWholeSnapshot() {
    write(QStringLiteral("pm25rank.json"), kRanking);
    ContentFolder folder(m_dir->path());
    // Reloads from the poller and from this thread, racing a reader.
    folder.startWatching(std::chrono::milliseconds(1));
    std::atomic<bool> done = false;
    std::atomic<int> changedUnderReader = 0;
    std::atomic<int> reads = 0;
    std::thread reader([&] {
        while (!done) {
            const auto snapshot = folder.snapshot();
            const QStringList first = titles(*snapshot);
            std::this_thread::yield();
            if (titles(*snapshot) != first)
                ++changedUnderReader;
            ++reads;
        }
    });
    QString title;
    for (int round = 0; round < 60; ++round) {
        title = QStringLiteral("round %1%2").arg(round).arg(QString(round % 7, u'!'));
        write(QStringLiteral("articles/%1.md").arg(round % 3),
              articleText(title.toUtf8(), "2024-01-01"));
        folder.reload();
        QVERIFY(titles(*folder.snapshot()).contains(title));
    }
    done = true;
    reader.join();
    folder.stopWatching();
    QVERIFY(reads > 0);
    QCOMPARE(changedUnderReader.load(), 0);
}

void TestContentFolder::replaceRankingChecksThenWritesWhole() {
    write(QStringLiteral("pm25rank.json"), kRanking);
    ContentFolder folder(m_dir->path());
    const QStringList entries =
        QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

    QString error;
    QVERIFY(ContentFolder::RankingUpdate::Invalid ==
            folder.replaceRanking("{\n\"cities\": [\n{\"city\": 1 2}]}", &error));
    QVERIFY2(error.startsWith(QStringLiteral("line 3: ")), qPrintable(error));
    for (const char* aqi : {"-1", "1e308", "-1e308", "1e400", "2.5"})
        QVERIFY2(ContentFolder::RankingUpdate::Invalid ==
                     folder.replaceRanking(R"({"cities": [{"city": "甲", "pm25": 1, "aqi": )" +
                                               QByteArray(aqi) + "}]}",
                                           &error),
                 aqi);
    QVERIFY(ContentFolder::RankingUpdate::Invalid ==
            folder.replaceRanking(R"({"cities": []})", &error));
    QFile file(path(QStringLiteral("pm25rank.json")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), kRanking);
    file.close();

    const QByteArray next = R"({"note": "new", "cities": [{"city": "丁", "aqi": 5, "pm25": 3}]})";
    QVERIFY2(folder.replaceRanking(next, &error) == ContentFolder::RankingUpdate::Replaced,
             qPrintable(error));
    // Shown at once, without waiting for a poll.
    QCOMPARE(folder.snapshot()->ranking->note, QStringLiteral("new"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), next);
    // The same size again within the same clock tick is read back too.
    QByteArray same = next;
    same.replace("new", "neu");
    QVERIFY(folder.replaceRanking(same, &error) == ContentFolder::RankingUpdate::Replaced);
    QCOMPARE(folder.snapshot()->ranking->note, QStringLiteral("neu"));
    // Written aside and renamed in: nothing is left beside it.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             entries);
}

// A FIFO, or a link to one, where a content file belongs is a problem of its
// own: the folder is read without waiting for a writer, and the ranking can
// still be replaced.
void TestContentFolder::onlyRegularFilesAreRead() {
    QVERIFY(QDir().mkpath(path("articles")));
    write("articles/good.md",
          "---\ntitle: Good\ntag: t\ndate: 2025-01-01\nsummary: s\n---\nText\n");
    QCOMPARE(::mkfifo(QFile::encodeName(path("pm25rank.json")).constData(), 0600), 0);
    QCOMPARE(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
    QVERIFY(QFile::link(path("fifo"), path("articles/linked.md")));
    ContentFolder folder(m_dir->path());
    const auto content = folder.snapshot();
    QCOMPARE(content->articles.size(), 1);
    QStringList problems;
    for (const ContentProblem& problem : content->problems)
        problems << problem.file + ": " + problem.message;
    QVERIFY2(problems.filter("not a regular file").size() == 2, qPrintable(problems.join('\n')));
    QString error;
    QVERIFY2(folder.replaceRanking(kRanking, &error) == ContentFolder::RankingUpdate::Replaced,
             qPrintable(error));
    QVERIFY(folder.snapshot()->ranking.has_value());
}

void TestContentFolder::theSampleContentIsNotReplaced() {
    write(QStringLiteral("pm25rank.json"), kRanking);
    ContentFolder folder(m_dir->path(), ContentFolder::Mode::Sample);
    QString error;
    QVERIFY(ContentFolder::RankingUpdate::NotEditable ==
            folder.replaceRanking(R"({"cities": [{"city": "甲", "aqi": 1, "pm25": 1}]})", &error));
    QVERIFY2(error.contains(QStringLiteral("--content")), qPrintable(error));
    QFile file(path(QStringLiteral("pm25rank.json")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), kRanking);

    // The shipped sample is whole and marked as such.
    const ContentFolder shipped(ContentFolder::samplePath(), ContentFolder::Mode::Sample);
    QVERIFY(shipped.problems().isEmpty());
    QCOMPARE(shipped.snapshot()->articles.size(), 4);
    for (const Article& a : shipped.snapshot()->articles)
        QVERIFY2(a.sample, qPrintable(a.id));
    QVERIFY(shipped.snapshot()->ranking->note.contains(QStringLiteral("演示数据")));
}

QTEST_GUILESS_MAIN(TestContentFolder)
#include "tst_contentfolder.moc"
