#include "server/admin/dashboardpage.h"

#include "server/pages/clienttext.h"
#include "server/pages/contentpages.h"

#include <QDateTime>
#include <algorithm>

namespace {

using Q = DashboardQueries;

const char* const kStyle = R"(
body{margin:0;font-family:"PingFang SC","Microsoft YaHei","WenQuanYi Micro Hei",sans-serif;
background:#f2f4f7;color:#1f2933;font-size:15px;line-height:1.5}
header{background:#1f4e79;color:#fff;padding:16px 28px}
header h1{margin:0;font-size:22px}
header p{margin:4px 0 0;opacity:.9}
.totals span{font-weight:bold}
main{max-width:1180px;margin:0 auto;padding:16px 20px}
form{background:#fff;border-radius:8px;padding:10px 16px;margin-bottom:14px;
box-shadow:0 1px 3px rgba(0,0,0,.08)}
form label{margin-right:14px}
input,button{font:inherit;padding:3px 6px}
button{background:#1f4e79;color:#fff;border:0;border-radius:4px;padding:4px 14px}
.grid{display:grid;grid-template-columns:repeat(auto-fit,minmax(520px,1fr));gap:14px}
section{background:#fff;border-radius:8px;padding:14px 18px;box-shadow:0 1px 3px rgba(0,0,0,.08);
min-width:0}
section.wide{grid-column:1/-1}
h2{margin:0 0 10px;font-size:17px;color:#1f4e79}
h2 small{color:#7b8794;font-weight:normal;font-size:13px;margin-left:6px}
table{width:100%;border-collapse:collapse;font-size:14px}
th,td{padding:5px 8px;border-bottom:1px solid #e4e7eb;text-align:left;vertical-align:top}
th{background:#eef2f7;color:#323f4b;font-weight:600}
.num{text-align:right;font-variant-numeric:tabular-nums;white-space:nowrap}
.big{font-size:30px;font-weight:bold;color:#1f4e79}
.scroll{max-height:320px;overflow:auto}
.notice{background:#fff4e5;border-left:4px solid #f0a020;padding:8px 12px;margin-bottom:14px}
.error{background:#fde8e8;border-left:4px solid #d64545;padding:8px 12px;margin-bottom:14px}
.muted{color:#7b8794}
code{font-family:"DejaVu Sans Mono",monospace;font-size:13px;word-break:break-all}
pre{background:#f7f9fb;border:1px solid #e4e7eb;padding:10px;overflow:auto;font-size:13px;
white-space:pre-wrap;word-break:break-all}
svg{display:block;width:100%;height:auto}
svg text{font-size:11px;fill:#52606d}
a{color:#1f6fb2}
)";

QString esc(const QString& text) {
    return ContentPages::escape(text);
}

// A text an application sent, shown on one line as it is, whatever it holds.
QString field(const QString& text) {
    return esc(ClientText::printable(text));
}

QString number(qint64 n) {
    return QString::number(n);
}

QString seconds(double value) {
    return QString::number(value, 'g', 12);
}

QString utcTime(double ts) {
    return QDateTime::fromMSecsSinceEpoch(qint64(ts * 1000.0), Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QByteArray page(const QString& title, const QString& body) {
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">"
                          "\n<meta name=\"viewport\" content=\"width=device-width, "
                          "initial-scale=1\">\n<title>%1</title>\n<style>%2</style>\n</head>\n"
                          "<body>\n%3\n</body>\n</html>\n")
        .arg(esc(title), QLatin1String(kStyle), body)
        .toUtf8();
}

// One bar per day, drawn by the server; with many days only some are named.
QString dayChart(const QList<Q::DayCount>& days) {
    const int width = 1100, height = 220, top = 16, bottom = 24;
    qint64 max = 1;
    for (const Q::DayCount& d : days)
        max = std::max(max, d.count);
    const double slot = double(width) / double(std::max<qsizetype>(1, days.size()));
    const qsizetype every = std::max<qsizetype>(1, days.size() / 12 + (days.size() % 12 ? 1 : 0));
    QString bars;
    for (qsizetype i = 0; i < days.size(); ++i) {
        const double h = double(height - top - bottom) * double(days[i].count) / double(max);
        const double x = double(i) * slot;
        bars += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" "
                               "fill=\"#3e7cb1\"><title>%5: %6</title></rect>")
                    .arg(x + slot * 0.15, 0, 'f', 1)
                    .arg(double(height - bottom) - h, 0, 'f', 1)
                    .arg(slot * 0.7, 0, 'f', 1)
                    .arg(h, 0, 'f', 1)
                    .arg(esc(days[i].day), number(days[i].count));
        if (i % every == 0)
            bars += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>")
                        .arg(x + slot / 2, 0, 'f', 1)
                        .arg(height - 8)
                        .arg(esc(days[i].day.mid(5)));
    }
    return QStringLiteral("<svg viewBox=\"0 0 %1 %2\" role=\"img\" aria-label=\"每日会话\">"
                          "<line x1=\"0\" y1=\"%3\" x2=\"%1\" y2=\"%3\" stroke=\"#cbd2d9\"/>"
                          "<text x=\"2\" y=\"11\">%4</text>%5</svg>")
        .arg(width)
        .arg(height)
        .arg(height - bottom)
        .arg(number(max), bars);
}

QString eventName(const QString& id) {
    return id.isNull() ? QStringLiteral("（无标识）") : id;
}

QString eventChart(const QList<Q::EventCount>& events) {
    const int width = 480, row = 22, labelWidth = 110, valueWidth = 50;
    qint64 max = 1;
    for (const Q::EventCount& e : events)
        max = std::max(max, e.count);
    QString bars;
    for (qsizetype i = 0; i < events.size(); ++i) {
        const double w =
            double(width - labelWidth - valueWidth) * double(events[i].count) / double(max);
        const int y = int(i) * row;
        const QString name = eventName(events[i].eventId);
        // One call for all: a name is then never taken for a placeholder.
        bars +=
            QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\">%3</text>"
                           "<rect x=\"%4\" y=\"%5\" width=\"%6\" height=\"%7\" "
                           "fill=\"#2f9e72\"/><text x=\"%8\" y=\"%2\">%9</text>")
                .arg(number(labelWidth - 6), number(y + 15), field(name.left(16)),
                     number(labelWidth), number(y + 4), QString::number(w, 'f', 1), number(row - 8),
                     QString::number(double(labelWidth) + w + 4, 'f', 1), number(events[i].count));
    }
    return QStringLiteral("<svg viewBox=\"0 0 %1 %2\" role=\"img\" aria-label=\"事件\">%3</svg>")
        .arg(width)
        .arg(std::max<qsizetype>(1, events.size()) * row)
        .arg(bars);
}

QString sessionsSection(const QList<Q::DayCount>& days) {
    QString rows;
    for (const Q::DayCount& d : days)
        rows += QStringLiteral("<tr><td>%1</td><td class=\"num\" data-figure=\"sessions\" "
                               "data-day=\"%1\">%2</td></tr>")
                    .arg(esc(d.day), number(d.count));
    return QStringLiteral("<section class=\"wide\"><h2>每日会话<small>Sessions per day "
                          "(UTC)</small></h2>%1<div class=\"scroll\"><table><thead><tr><th>日期"
                          "</th><th class=\"num\">会话数</th></tr></thead><tbody>%2</tbody>"
                          "</table></div></section>")
        .arg(dayChart(days), rows);
}

QString endsSection(const Q::EndsOfUse& ends) {
    QString median = QStringLiteral("<span data-figure=\"median-duration\">—</span>");
    if (ends.medianSeconds)
        median = QStringLiteral("<span data-figure=\"median-duration\">%1</span> 秒 "
                                "<span class=\"muted\">(%2 分钟)</span>")
                     .arg(seconds(*ends.medianSeconds))
                     .arg(*ends.medianSeconds / 60.0, 0, 'f', 1);
    return QStringLiteral("<section><h2>使用结束<small>Ends of use</small></h2><table><tbody>"
                          "<tr><th>结束次数</th><td class=\"num big\"><span data-figure=\"ends\">"
                          "%1</span></td></tr><tr><th>使用时长中位数</th><td class=\"num\">%2"
                          "</td></tr></tbody></table></section>")
        .arg(number(ends.count), median);
}

// The row that sums what a table leaves out; none when nothing is.
QString othersRow(const char* figure, qint64 others, int columns = 2) {
    if (others <= 0)
        return {};
    return QStringLiteral("<tr class=\"muted\"><td colspan=\"%1\">其余（未列出）</td>"
                          "<td class=\"num\" data-figure=\"%2-others\">%3</td></tr>")
        .arg(number(columns - 1), QLatin1String(figure), number(others));
}

QString eventsSection(const QList<Q::EventCount>& events, qint64 others) {
    QString rows;
    for (const Q::EventCount& e : events)
        rows +=
            QStringLiteral("<tr><td><code>%1</code></td><td class=\"num\" data-figure=\"events\" "
                           "data-event=\"%2\">%3</td></tr>")
                .arg(field(eventName(e.eventId)), field(e.eventId), number(e.count));
    rows += othersRow("events", others);
    return QStringLiteral("<section><h2>事件<small>Events per identifier</small></h2>%1"
                          "<table><thead><tr><th>事件标识</th><th class=\"num\">次数</th></tr>"
                          "</thead><tbody>%2</tbody></table></section>")
        .arg(eventChart(events), rows);
}

QString sharesSection(const QList<Q::ShareCount>& shares, qint64 others) {
    QString rows;
    for (const Q::ShareCount& s : shares) {
        const QString name = s.network.isNull()
                                 ? QStringLiteral("<span class=\"muted\">未注明渠道（事件无标签）"
                                                  "</span>")
                                 : QStringLiteral("<code>%1</code>").arg(field(s.network));
        rows += QStringLiteral("<tr><td>%1</td><td class=\"num\" data-figure=\"shares\" "
                               "data-network=\"%2\">%3</td></tr>")
                    .arg(name, s.network.isNull() ? QString() : field(s.network), number(s.count));
    }
    rows += othersRow("shares", others);
    return QStringLiteral("<section><h2>分享渠道<small>Shares per network</small></h2>"
                          "<p class=\"muted\">分享事件（blow_share、haze_share、rank_share）按"
                          "标签计数；没有标签的分享事件单独计数，不推测渠道。</p><table><thead>"
                          "<tr><th>渠道（标签）</th><th class=\"num\">次数</th></tr></thead>"
                          "<tbody>%1</tbody></table></section>")
        .arg(rows);
}

QString crashesSection(const QList<Q::CrashGroup>& groups, qint64 others) {
    QString rows;
    for (const Q::CrashGroup& g : groups)
        rows +=
            QStringLiteral("<tr><td>%1</td><td><code>%2</code></td><td><code>%3</code></td>"
                           "<td class=\"num\" data-figure=\"crash-count\" data-group=\"%4\">%5</td>"
                           "<td class=\"num\">%6</td><td class=\"num\">%7</td>"
                           "<td><a href=\"/admin/crashes?group=%4\">全文</a></td></tr>")
                .arg(field(g.kind), field(g.buildId), field(g.frame), esc(g.key), number(g.count),
                     utcTime(g.firstSeen), utcTime(g.lastSeen));
    if (groups.isEmpty())
        rows = QStringLiteral("<tr><td colspan=\"7\" class=\"muted\">这段时间没有崩溃。</td></tr>");
    if (others > 0)
        rows += QStringLiteral("<tr class=\"muted\"><td colspan=\"3\">其余分组（未列出）</td>"
                               "<td class=\"num\" data-figure=\"crash-others\">%1</td>"
                               "<td colspan=\"3\"></td></tr>")
                    .arg(number(others));
    return QStringLiteral(
               "<section class=\"wide\"><h2>崩溃分组<small>Crash groups, latest first"
               "</small></h2><table><thead><tr><th>原因</th><th>构建（dSYM UUID）</th>"
               "<th>首个应用栈帧</th><th class=\"num\">次数</th><th class=\"num\">首次（UTC）"
               "</th><th class=\"num\">最近（UTC）</th><th></th></tr></thead><tbody>%1"
               "</tbody></table></section>")
        .arg(rows);
}

QString problemsSection(const QList<ContentProblem>& problems) {
    QString rows;
    for (const ContentProblem& p : problems)
        rows += QStringLiteral("<tr><td><code>%1</code></td><td class=\"num\">%2</td>"
                               "<td data-figure=\"problem\">%3</td></tr>")
                    .arg(esc(p.file), p.line > 0 ? number(p.line) : QStringLiteral("—"),
                         esc(p.message));
    if (problems.isEmpty())
        rows = QStringLiteral("<tr><td colspan=\"3\" class=\"muted\">内容文件没有问题。</td></tr>");
    return QStringLiteral("<section class=\"wide\"><h2>内容问题<small>Content problems</small>"
                          "</h2><table><thead><tr><th>文件</th><th class=\"num\">行</th>"
                          "<th>问题</th></tr></thead><tbody>%1</tbody></table></section>")
        .arg(rows);
}

QString periodForm(const DashboardPeriod& period) {
    return QStringLiteral("<form method=\"get\" action=\"/admin\"><label>开始 From "
                          "<input type=\"date\" name=\"from\" value=\"%1\"></label><label>结束 "
                          "To <input type=\"date\" name=\"to\" value=\"%2\"></label>"
                          "<button type=\"submit\">查看</button> <span class=\"muted\">按 UTC "
                          "日期，含首尾两天</span></form>")
        .arg(esc(period.fromText()), esc(period.toText()));
}

QString totalsLine(const DashboardQueries::Figures& f, qsizetype problems) {
    qint64 sessions = 0, events = 0, crashes = 0;
    for (const Q::DayCount& d : f.sessions)
        sessions += d.count;
    for (const Q::EventCount& e : f.events)
        events += e.count;
    events += f.otherEvents;
    for (const Q::CrashGroup& g : f.crashes)
        crashes += g.count;
    crashes += f.otherCrashes;
    return QStringLiteral(
               "<p class=\"totals\">%1 至 %2 · 会话 <span data-figure=\"total-sessions\">"
               "%3</span> · 事件 <span data-figure=\"total-events\">%4</span> · "
               "使用结束 <span data-figure=\"total-ends\">%5</span> · 崩溃 "
               "<span data-figure=\"total-crashes\">%6</span> · 内容问题 "
               "<span data-figure=\"total-problems\">%7</span></p>")
        .arg(esc(f.period.fromText()), esc(f.period.toText()), number(sessions), number(events),
             number(f.ends.count), number(crashes), number(problems));
}

// Why the oldest days may show nothing: records older than that are gone.
QString keepLine(int keepDays) {
    if (keepDays <= 0)
        return QStringLiteral("<p class=\"keep\"><span data-figure=\"keep-days\">永久</span>"
                              "保留 · kept for ever</p>");
    return QStringLiteral("<p class=\"keep\">保留 <span data-figure=\"keep-days\">%1</span> 天 · "
                          "kept for %1 days</p>")
        .arg(keepDays);
}

} // namespace

QByteArray DashboardPage::overview(const DashboardQueries::Figures& figures,
                                   const QList<ContentProblem>& problems, const QString& notice,
                                   int keepDays) {
    QString messages;
    if (!notice.isEmpty())
        messages += QStringLiteral("<div class=\"notice\">%1</div>").arg(esc(notice));
    if (!figures.error.isEmpty())
        messages += QStringLiteral("<div class=\"error\">部分数据读取失败：%1</div>")
                        .arg(esc(figures.error));
    const QString body =
        QStringLiteral("<header><h1>运营概览 <small>Operator overview</small></h1>%1</header>"
                       "<main>%2%3<div class=\"grid\">%4%5%6%7%8%9</div></main>")
            .arg(totalsLine(figures, problems.size()) + keepLine(keepDays), messages,
                 periodForm(figures.period), sessionsSection(figures.sessions),
                 endsSection(figures.ends), sharesSection(figures.shares, figures.otherShares),
                 eventsSection(figures.events, figures.otherEvents),
                 crashesSection(figures.crashes, figures.otherCrashes), problemsSection(problems));
    return page(QStringLiteral("运营概览"), body);
}

QByteArray DashboardPage::crashes(const QString& groupKey,
                                  const QList<DashboardQueries::CrashText>& texts,
                                  const QString& error) {
    QString items;
    for (const DashboardQueries::CrashText& t : texts) {
        const QString cut =
            t.cut ? QStringLiteral("<p class=\"muted\" data-figure=\"crash-text-cut\">只显示开头 "
                                   "%1 个字符；整条记录 %2 个字符。</p>")
                        .arg(number(t.text.size()), number(t.recordLength))
                  : QString();
        items += QStringLiteral("<h2>%1 UTC</h2><pre data-figure=\"crash-text\">%2</pre>%3")
                     .arg(utcTime(t.ts), esc(t.text), cut);
    }
    if (!error.isEmpty())
        items = QStringLiteral("<div class=\"error\">读取失败：%1</div>").arg(esc(error));
    else if (texts.isEmpty())
        items = QStringLiteral("<p class=\"muted\">没有这一组的崩溃记录。</p>");
    const QString body =
        QStringLiteral("<header><h1>崩溃全文 <small>Crash texts</small></h1><p>分组 <code>%1"
                       "</code> · 最近 <span data-figure=\"crash-texts\">%2</span> 条（最多 %3 "
                       "条）</p></header><main><p><a href=\"/admin\">← 返回运营概览</a></p>"
                       "<section>%4</section></main>")
            .arg(esc(groupKey), number(texts.size()), number(DashboardQueries::kMaxCrashTexts),
                 items);
    return page(QStringLiteral("崩溃全文"), body);
}
