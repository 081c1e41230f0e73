#include "server/admin/dashboardpage.h"
#include "server/store/sqlitereportstore.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Q = DashboardQueries;

const DashboardPeriod kWeek{QDate(2026, 12, 1), QDate(2026, 12, 7)};
// 2026-12-03 12:00:00 UTC.
constexpr double kNoon = 1796299200;

// Every figure of a page: "figure[key]" -> its text, key being the value
// of its data-day, data-event, data-network or data-group attribute.
QMap<QString, QString> figuresOf(const QByteArray& html) {
    static const QRegularExpression figure(
        "data-figure=\"([a-z-]+)\"(?: data-[a-z]+=\"([^\"]*)\")?>([^<]*)<");
    QMap<QString, QString> found;
    for (const QRegularExpressionMatch& m : figure.globalMatch(QString::fromUtf8(html)))
        found.insert(m.captured(1) + '[' + m.captured(2) + ']', m.captured(3));
    return found;
}

QByteArray recordJson(const QString& id, const QString& fields) {
    return QStringLiteral(R"({"id":"%1","ts":%2,"session_id":"s",%3})")
        .arg(id)
        .arg(kNoon, 0, 'f', 0)
        .arg(fields)
        .toUtf8();
}

} // namespace

class TestDashboardPage : public QObject {
    Q_OBJECT

private slots:
    void periodsFromARequest_data();
    void periodsFromARequest();
    void figuresCanBeReadFromThePage();
    void hostileTextIsEscaped();
    void aCrashGroupPageShowsItsTexts();
    void thePageNeedsNothingFromOutside();
    void theHeaderSaysHowLongRecordsAreKept();
};

void TestDashboardPage::periodsFromARequest_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("expected"); // "from..to"
    QTest::addColumn<bool>("refused");
    QTest::newRow("nothing asked") << ""
                                   << ""
                                   << "2026-12-03..2026-12-09" << false;
    QTest::newRow("both") << "2026-11-01"
                          << "2026-11-30"
                          << "2026-11-01..2026-11-30" << false;
    QTest::newRow("one day") << "2026-11-05"
                             << "2026-11-05"
                             << "2026-11-05..2026-11-05" << false;
    QTest::newRow("only the end") << ""
                                  << "2026-11-30"
                                  << "2026-11-24..2026-11-30" << false;
    QTest::newRow("only the start") << "2026-12-01"
                                    << ""
                                    << "2026-12-01..2026-12-09" << false;
    QTest::newRow("no such month") << "2026-13-01"
                                   << ""
                                   << "2026-12-03..2026-12-09" << true;
    QTest::newRow("short form") << "2026-1-5"
                                << "2026-12-01"
                                << "2026-12-03..2026-12-09" << true;
    QTest::newRow("text") << ""
                          << "<script>"
                          << "2026-12-03..2026-12-09" << true;
    QTest::newRow("backwards") << "2026-12-05"
                               << "2026-12-01"
                               << "2026-12-03..2026-12-09" << true;
    QTest::newRow("over a year") << "2025-01-01"
                                 << "2026-12-01"
                                 << "2026-12-03..2026-12-09" << true;
}

void TestDashboardPage::periodsFromARequest() {
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, expected);
    QFETCH(bool, refused);
    QString notice = "stale";
    const DashboardPeriod period =
        DashboardPeriod::fromQuery(from, to, QDate(2026, 12, 9), &notice);
    QCOMPARE(period.fromText() + ".." + period.toText(), expected);
    QCOMPARE(!notice.isEmpty(), refused);
    QCOMPARE(period.days().size(), period.from.daysTo(period.to) + 1);
}

void TestDashboardPage::figuresCanBeReadFromThePage() {
    QTemporaryDir dir;
    SqliteReportStore store;
    QVERIFY(store.open(dir.filePath("r.sqlite"), nullptr));
    const QString crash =
        R"(Application received signal SIGSEGV\n(null)\n(\n    /x/vantoro(+0x10)[0x1],\n    /lib/libc.so.6(+0x2)[0x2],\n    /x/vantoro(+0x30)[0x3]\n)\n\ndSYM UUID: B1\nBinary Image: vantoro\n)";
    const QList<QByteArray> json = {
        recordJson("a", R"("type":"launch")"),
        recordJson("b", R"("type":"launch")"),
        recordJson("c", R"("type":"terminate","duration":42.5)"),
        recordJson("d", R"("type":"event","event_id":"blow")"),
        recordJson("e", R"("type":"event","event_id":"rank_share","label":"weibo")"),
        recordJson("f", R"("type":"event","event_id":"haze_share")"),
        recordJson("g", R"("type":"error","context":")" + crash + '"'),
        recordJson("h", R"("type":"error","context":")" + crash + '"'),
    };
    ReportStore::Report report;
    for (const QByteArray& j : json)
        report.records.append({QString(), j});
    QVERIFY(store.store(report).ok);

    Q queries(store);
    const Q::Figures figures = queries.figures(kWeek);
    QCOMPARE(figures.crashes.size(), 1);
    const QString group = figures.crashes[0].key;
    const QMap<QString, QString> shown =
        figuresOf(DashboardPage::overview(figures, {{"articles/a.md", 3, "no title"}}));
    QCOMPARE(shown.value("sessions[2026-12-03]"), "2");
    QCOMPARE(shown.value("sessions[2026-12-01]"), "0");
    QCOMPARE(shown.value("sessions[2026-12-07]"), "0");
    QVERIFY(!shown.contains("sessions[2026-12-08]"));
    QCOMPARE(shown.value("ends[]"), "1");
    QCOMPARE(shown.value("median-duration[]"), "42.5");
    QCOMPARE(shown.value("events[blow]"), "1");
    QCOMPARE(shown.value("events[hots]"), "0");
    QCOMPARE(shown.value("shares[weibo]"), "1");
    QCOMPARE(shown.value("shares[]"), "1");
    QCOMPARE(shown.value("crash-count[" + group + "]"), "2");
    QCOMPARE(shown.value("total-sessions[]"), "2");
    QCOMPARE(shown.value("total-events[]"), "3");
    QCOMPARE(shown.value("total-crashes[]"), "2");
    QCOMPARE(shown.value("total-problems[]"), "1");
    QCOMPARE(shown.value("problem[]"), "no title");

    const QByteArray page = DashboardPage::overview(figures, {});
    QVERIFY(page.contains("href=\"/admin/crashes?group=" + group.toUtf8() + "\""));
    QVERIFY(page.contains("name=\"from\" value=\"2026-12-01\""));
    QVERIFY(page.contains("name=\"to\" value=\"2026-12-07\""));
    QCOMPARE(figuresOf(DashboardPage::overview(Q::Figures{kWeek, {}, {}, {}, {}, {}, {}}, {}))
                 .value("median-duration[]"),
             "—");
}

void TestDashboardPage::hostileTextIsEscaped() {
    const QString script = "<script>alert('x')</script>";
    Q::Figures figures;
    figures.period = kWeek;
    figures.sessions = {{"2026-12-01", 1}};
    figures.events = {{script, 3}, {"%2%3", 1}};
    figures.shares = {{"\"><img src=x onerror=alert(1)>", 2}};
    figures.crashes = {{"\"><script>", script, script, script, 1, kNoon, kNoon}};
    const QByteArray page =
        DashboardPage::overview(figures, {{script, 1, script}}, QStringLiteral("bad <b>date</b>"));
    QVERIFY(!page.contains("<script"));
    QVERIFY(!page.contains("<img"));
    QVERIFY(!page.contains("<b>"));
    QVERIFY(page.contains("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"));
    QVERIFY(page.contains("bad &lt;b&gt;date&lt;/b&gt;"));
    // A name that looks like a placeholder is shown as it is.
    QVERIFY(page.contains("<code>%2%3</code>"));
    const QMap<QString, QString> shown = figuresOf(page);
    QCOMPARE(shown.value("events[&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;]"), "3");
    QCOMPARE(shown.value("crash-count[&quot;&gt;&lt;script&gt;]"), "1");

    const QByteArray texts =
        DashboardPage::crashes(script, {{kNoon, "SIGSEGV\n" + script + "\n&amp;"}});
    QVERIFY(!texts.contains("<script"));
    QVERIFY(texts.contains("SIGSEGV\n&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;\n&amp;amp;"));

    // Control characters and direction overrides cannot start a line or turn
    // a name around; a long one is cut.
    figures.events = {{QString::fromUtf8("\u202Eevil\nline\x01"), 1}};
    figures.shares = {{QString(5000, u'w'), 1}};
    const QString shownPage = QString::fromUtf8(DashboardPage::overview(figures, {}, {}));
    QVERIFY(shownPage.contains(QStringLiteral("<code>\\u202eevil\\x0aline\\x01</code>")));
    QVERIFY(!shownPage.contains(QChar(0x202e)));
    QVERIFY(shownPage.contains(QStringLiteral("... (4700 more characters)")));
}

void TestDashboardPage::aCrashGroupPageShowsItsTexts() {
    const QByteArray page =
        DashboardPage::crashes("0123456789abcdef", {{kNoon + 60, "second"}, {kNoon, "first"}});
    QCOMPARE(figuresOf(page).value("crash-texts[]"), "2");
    QVERIFY(page.indexOf("second") < page.indexOf("first"));
    QVERIFY(page.contains("2026-12-03 12:01:00 UTC"));
    QVERIFY(page.contains("0123456789abcdef"));
    QVERIFY(DashboardPage::crashes("x", {}, "disk <gone>").contains("disk &lt;gone&gt;"));
    QVERIFY(!page.contains("crash-text-cut"));
    const QByteArray cut = DashboardPage::crashes("x", {{kNoon, "head", true, 70000}});
    QVERIFY(cut.contains("data-figure=\"crash-text-cut\""));
    QVERIFY(cut.contains("70000"));
}

// The server's Content-Security-Policy allows inline styles and nothing
// else: no script, no image, font or sheet from anywhere.
void TestDashboardPage::thePageNeedsNothingFromOutside() {
    Q::Figures figures;
    figures.period = kWeek;
    figures.sessions = {{"2026-12-01", 4}, {"2026-12-02", 0}};
    figures.events = {{"blow", 2}};
    const QString page = QString::fromUtf8(DashboardPage::overview(figures, {}));
    for (const char* forbidden : {"<script", "<link", "<img", "<iframe", "src=", "url(", "@import",
                                  "http://", "https://", " on"})
        QVERIFY2(!page.contains(QLatin1String(forbidden), Qt::CaseInsensitive), forbidden);
    QVERIFY(page.contains("<svg"));
    QVERIFY(page.contains("运营概览"));
}

// The oldest days of a period may be empty because they were removed; the
// header says so, in the header and not among the figures' totals.
void TestDashboardPage::theHeaderSaysHowLongRecordsAreKept() {
    const Q::Figures figures{kWeek, {}, {}, {}, {}, {}, {}};
    const QByteArray kept = DashboardPage::overview(figures, {}, {}, 30);
    QCOMPARE(figuresOf(kept).value("keep-days[]"), "30");
    QVERIFY(kept.indexOf("keep-days") < kept.indexOf("</header>"));
    QCOMPARE(figuresOf(DashboardPage::overview(figures, {})).value("keep-days[]"), "永久");
}

QTEST_GUILESS_MAIN(TestDashboardPage)
#include "tst_dashboardpage.moc"
