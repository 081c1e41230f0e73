#include "server/admin/admintoken.h"
#include "server/contentserver.h"
#include "support/server/headlessbrowser.h"
#include "support/server/nginxproxy.h"
#include "support/zlibpacked.h"

#include <QDateTime>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <httplib.h>

namespace {

const QByteArray kToken = "d0e1a2b3c4d5e6f7a8b9c0d1e2f3a4b5";
constexpr double kDay = 86400.0;

// Noon UTC, `daysAgo` days before today.
double noonDaysAgo(int daysAgo) {
    const QDate day = QDateTime::currentDateTimeUtc().date().addDays(-daysAgo);
    return double(QDateTime(day, QTime(12, 0), Qt::UTC).toSecsSinceEpoch());
}

QString dayText(int daysAgo) {
    return QDateTime::currentDateTimeUtc().date().addDays(-daysAgo).toString(Qt::ISODate);
}

QString crashContext(const QString& signal, const QString& address, const QString& build) {
    return QStringLiteral("Application received signal %1\n(null)\n(\n"
                          "    /opt/vantoro/bin/vantoro(+0x4a10) [0x55d0c0a04a10],\n"
                          "    /lib/x86_64-linux-gnu/libc.so.6(+0x3bfd0) [0x7f00aa03bfd0],\n"
                          "    /opt/vantoro/bin/vantoro(_ZN12BlewFogLayer4stepEv+0x1a) [%2],\n"
                          "    /lib/x86_64-linux-gnu/libc.so.6(__libc_start_main+0x85) "
                          "[0x7f00aa027e45]\n)\n\ndSYM UUID: %3\nCPU Type: x86_64\n"
                          "Slide Address: 0x0000000000001000\nBinary Image: vantoro\n"
                          "Base Address: 0x55d0c0a00000\n")
        .arg(signal, address, build);
}

// A report the way the application builds one, its records in their lists.
class ReportBuilder {
public:
    void launch(int daysAgo) { add("launch", "launch", noonDaysAgo(daysAgo), {}); }
    void end(int daysAgo, double seconds) {
        add("terminate", "terminate", noonDaysAgo(daysAgo),
            {{QStringLiteral("duration"), seconds}});
    }
    void event(int daysAgo, const QString& id, const QString& label = {}) {
        QJsonObject extra{{QStringLiteral("event_id"), id},
                          {QStringLiteral("acc"), 1},
                          {QStringLiteral("du"), 0}};
        if (!label.isEmpty())
            extra.insert(QStringLiteral("label"), label);
        add("event", "event", noonDaysAgo(daysAgo), extra);
    }
    void crash(int daysAgo, const QString& context) {
        add("error", "error", noonDaysAgo(daysAgo), {{QStringLiteral("context"), context}});
    }
    QByteArray json() const {
        QJsonObject report{{QStringLiteral("header"),
                            QJsonObject{{QStringLiteral("appkey"), QStringLiteral("test")}}}};
        for (auto list = m_lists.cbegin(); list != m_lists.cend(); ++list)
            report.insert(list.key(), list.value());
        return QJsonDocument(report).toJson(QJsonDocument::Compact);
    }

private:
    void add(const char* list, const char* type, double ts, QJsonObject record) {
        record.insert(QStringLiteral("id"), QStringLiteral("r%1").arg(++s_nextId));
        record.insert(QStringLiteral("type"), QString::fromLatin1(type));
        record.insert(QStringLiteral("ts"), ts);
        record.insert(QStringLiteral("session_id"), QStringLiteral("S1"));
        QJsonArray& records = m_lists[QString::fromLatin1(list)];
        records.append(record);
    }

    static inline int s_nextId = 0;
    QMap<QString, QJsonArray> m_lists;
};

// The text of every element `data-figure="NAME"` (with `qualifier="VALUE"`
// where given), as the browser rendered it.
QMap<QString, QString> figures(const QString& dom, const QString& name, const QString& qualifier) {
    const QRegularExpression element(
        QStringLiteral("<(?:td|span)[^>]*data-figure=\"%1\"(?:[^>]*%2=\"([^\"]*)\")?[^>]*>([^<]*)<")
            .arg(QRegularExpression::escape(name), qualifier.isEmpty()
                                                       ? QStringLiteral("data-none")
                                                       : QRegularExpression::escape(qualifier)));
    QMap<QString, QString> found;
    for (auto match = element.globalMatch(dom); match.hasNext();) {
        const auto m = match.next();
        found.insert(m.captured(1), m.captured(2).trimmed());
    }
    return found;
}

QString figure(const QString& dom, const QString& name) {
    return figures(dom, name, QString()).value(QString());
}

} // namespace

class TestAdminDashboard : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void theBrowserShowsTheStoresFigures();
    void aCrashGroupOpensToItsTexts();
    void aFormOnAnotherOriginSignsNobodyIn();

private:
    void send(const QByteArray& json);

    QTemporaryDir m_dir;
    ContentServer m_server;
    HeadlessBrowser m_browser;
    QString m_dom;
    QString m_artifacts;
};

void TestAdminDashboard::initTestCase() {
    if (HeadlessBrowser::executable().isEmpty())
        QSKIP("Chromium is not installed (Debian package chromium): the dashboard is not "
              "checked in a browser");
    if (NginxProxy::executable().isEmpty())
        QSKIP("nginx is not installed (Debian package nginx-light): the browser has no proxy "
              "to sign in through");
    QStandardPaths::setTestModeEnabled(true);
    m_artifacts = qEnvironmentVariable("VANTORO_ARTIFACTS", m_dir.path());
    QDir().mkpath(m_artifacts);
    m_server.setDataFolder(m_dir.filePath(QStringLiteral("data")));
    m_server.setAdminToken(AdminToken::fromSecret(kToken));
    QVERIFY(m_server.start());

    ReportBuilder first;
    for (int i = 0; i < 3; ++i)
        first.launch(0);
    first.launch(2);
    first.launch(2);
    first.launch(5);
    first.launch(10); // before the period
    first.end(0, 30);
    first.end(2, 600);
    first.end(5, 90);
    first.end(12, 5); // before the period
    send(first.json());
    // The same report again, as after a lost answer: nothing counts twice.
    send(first.json());

    ReportBuilder second;
    for (int i = 0; i < 4; ++i)
        second.event(0, QStringLiteral("blow"));
    second.event(1, QStringLiteral("blow_amount"));
    second.event(1, QStringLiteral("blow_amount"));
    second.event(3, QStringLiteral("haze"));
    second.event(3, QStringLiteral("hots"));
    second.event(0, QStringLiteral("blow_share"));
    second.event(0, QStringLiteral("rank_share"), QStringLiteral("wechat_timeline"));
    second.event(4, QStringLiteral("rank_share"), QStringLiteral("wechat_timeline"));
    second.event(4, QStringLiteral("tutorial_open"));
    second.event(9, QStringLiteral("blow")); // before the period
    const QString build = QStringLiteral("0A1B2C3D4E5F60718293A4B5C6D7E8F9");
    second.crash(1,
                 crashContext(QStringLiteral("SIGSEGV"), QStringLiteral("0x55d0c0a05e2a"), build));
    second.crash(0,
                 crashContext(QStringLiteral("SIGSEGV"), QStringLiteral("0x5612ab305e2a"), build));
    second.crash(0,
                 crashContext(QStringLiteral("SIGABRT"), QStringLiteral("0x5612ab305e2a"), build));
    send(second.json());

    const QByteArray dom = m_browser.dumpDomAfterLogin(m_server.baseUrl(), kToken);
    QVERIFY2(!dom.isEmpty(), qPrintable(m_browser.error()));
    m_dom = QString::fromUtf8(dom);
}

void TestAdminDashboard::cleanupTestCase() {
    m_server.stop();
}

void TestAdminDashboard::send(const QByteArray& json) {
    httplib::Client client("127.0.0.1", m_server.port());
    const auto res = client.Post("/analytics/report", {{"Content-Encoding", "gzip"}},
                                 zlibPacked(json, 31).toStdString(), "application/json");
    QVERIFY(res);
    QCOMPARE(res->status, 200);
}

void TestAdminDashboard::theBrowserShowsTheStoresFigures() {
    // Signed in through the form: the page is the dashboard, not the form.
    QVERIFY2(m_dom.contains(QStringLiteral("data-figure")), qPrintable(m_dom.left(2000)));

    QMap<QString, QString> sessions;
    for (int daysAgo = 6; daysAgo >= 0; --daysAgo)
        sessions.insert(dayText(daysAgo), QStringLiteral("0"));
    sessions[dayText(0)] = QStringLiteral("3");
    sessions[dayText(2)] = QStringLiteral("2");
    sessions[dayText(5)] = QStringLiteral("1");
    QCOMPARE(figures(m_dom, QStringLiteral("sessions"), QStringLiteral("data-day")), sessions);
    QCOMPARE(figure(m_dom, QStringLiteral("total-sessions")), QStringLiteral("6"));

    QCOMPARE(figure(m_dom, QStringLiteral("ends")), QStringLiteral("3"));
    QCOMPARE(figure(m_dom, QStringLiteral("median-duration")), QStringLiteral("90"));

    const QMap<QString, QString> events =
        figures(m_dom, QStringLiteral("events"), QStringLiteral("data-event"));
    const QMap<QString, QString> expected{
        {"blow", "4"},        {"blow_amount", "2"},   {"blow_share", "1"}, {"haze", "1"},
        {"haze_amount", "0"}, {"haze_share", "0"},    {"hots", "1"},       {"rank", "0"},
        {"rank_share", "2"},  {"tutorial_open", "1"},
    };
    QCOMPARE(events, expected);

    const QMap<QString, QString> shares =
        figures(m_dom, QStringLiteral("shares"), QStringLiteral("data-network"));
    QCOMPARE(shares.value(QStringLiteral("wechat_timeline")), QStringLiteral("2"));
    // The blow_share event carries no label: counted apart, not guessed.
    QCOMPARE(shares.value(QString()), QStringLiteral("1"));

    const QMap<QString, QString> crashes =
        figures(m_dom, QStringLiteral("crash-count"), QStringLiteral("data-group"));
    QCOMPARE(crashes.size(), 2);
    QCOMPARE(QStringList(crashes.values()).join(u',') == QStringLiteral("1,2") ||
                 QStringList(crashes.values()).join(u',') == QStringLiteral("2,1"),
             true);

    // What Chromium drew, for a person to look at.
    const QString png = m_artifacts + QStringLiteral("/admin-dashboard.png");
    QVERIFY2(m_browser.screenshotAfterLogin(m_server.baseUrl(), kToken, png, QSize(1280, 2200)),
             qPrintable(m_browser.error()));
    const QImage shot(png);
    QCOMPARE(shot.size(), QSize(1280, 2200));
}

void TestAdminDashboard::aCrashGroupOpensToItsTexts() {
    const QMap<QString, QString> crashes =
        figures(m_dom, QStringLiteral("crash-count"), QStringLiteral("data-group"));
    const QString group = crashes.key(QStringLiteral("2"));
    QVERIFY(!group.isEmpty());
    httplib::Client client("127.0.0.1", m_server.port());
    const auto page = client.Get("/admin/crashes?group=" + group.toStdString(),
                                 {{"Authorization", "Bearer " + kToken.toStdString()}});
    QCOMPARE(page->status, 200);
    const QString html = QString::fromStdString(page->body);
    QCOMPARE(html.count(QStringLiteral("data-figure=\"crash-text\"")), 2);
    // Both runs of the same crash, each with its own addresses.
    QVERIFY(html.contains(QStringLiteral("0x55d0c0a05e2a")));
    QVERIFY(html.contains(QStringLiteral("0x5612ab305e2a")));
    QVERIFY(!html.contains(QStringLiteral("SIGABRT")));
}

// The old way of this test's own sign-in: a form on another port of the
// same host posts the token. Chromium says where the post comes from, and
// the server turns it away without a session.
void TestAdminDashboard::aFormOnAnotherOriginSignsNobodyIn() {
    const auto sessions = [this] {
        QString error;
        return m_server.reportStore()
            ->select("SELECT COUNT(*) FROM admin_sessions", {}, &error)
            .value(0)
            .value(0)
            .toLongLong();
    };
    const qlonglong before = sessions();
    QVERIFY(before > 0);
    const QString dom =
        QString::fromUtf8(m_browser.dumpDomAfterForeignLogin(m_server.baseUrl(), kToken));
    QVERIFY2(!dom.isEmpty(), qPrintable(m_browser.error()));
    QVERIFY2(dom.contains(QStringLiteral("this request came from another site")),
             qPrintable(dom.left(2000)));
    QVERIFY(!dom.contains(QStringLiteral("data-figure")));
    QCOMPARE(sessions(), before);
}

QTEST_GUILESS_MAIN(TestAdminDashboard)
#include "tst_admindashboard.moc"
