#include "server/pages/contentpages.h"

namespace {

const char* const kStyle = R"(
body{margin:0;font-family:"PingFang SC","Microsoft YaHei","WenQuanYi Micro Hei",sans-serif;
background:#f2f5f7;color:#222;font-size:16px;line-height:1.6}
header{background:#2e8b57;color:#fff;padding:14px 16px}
header h1{margin:0;font-size:20px}
header p{margin:4px 0 0;font-size:13px;opacity:.85}
main{padding:12px}
.card{background:#fff;border-radius:8px;padding:14px 16px;margin-bottom:12px;
box-shadow:0 1px 3px rgba(0,0,0,.08)}
.card h2{margin:0 0 6px;font-size:17px}
.tag{display:inline-block;background:#e6f4ec;color:#2e8b57;border-radius:4px;padding:0 6px;
font-size:12px;margin-right:6px}
a{color:#1f6fb2;text-decoration:none}
.meta{color:#888;font-size:13px}
.big{font-size:40px;font-weight:bold;color:#2e8b57;margin:4px 0}
.comment{font-size:18px;color:#444}
table{width:100%;border-collapse:collapse;background:#fff;font-size:14px}
th,td{padding:8px 4px;text-align:center;border-bottom:1px solid #eee}
th{background:#e6f4ec;color:#2e8b57}
.level{display:inline-block;border-radius:4px;padding:0 6px;font-size:12px}
footer{color:#888;font-size:12px;text-align:center;padding:12px}
.sample{background:#fff4d6;color:#8a5a00}
.article img{max-width:100%}
.article pre{overflow-x:auto}
)";

} // namespace

QString ContentPages::escape(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\'':
            out += QLatin1String("&#39;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray ContentPages::page(const QString& title, const QString& body, const QString& head) {
    return QStringLiteral(
               "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1, "
               "maximum-scale=1\">\n<title>%1</title>\n%2<style>%3</style>\n</head>\n"
               "<body>\n%4\n</body>\n</html>\n")
        .arg(escape(title), head, QLatin1String(kStyle), body)
        .toUtf8();
}

QString ContentPages::shareHead(const QString& title, const QString& description,
                                const QString& link) {
    return QStringLiteral("<link rel=\"canonical\" href=\"%1\">\n"
                          "<meta property=\"og:url\" content=\"%1\">\n"
                          "<meta property=\"og:title\" content=\"%2\">\n"
                          "<meta property=\"og:description\" content=\"%3\">\n")
        .arg(escape(link), escape(title), escape(description));
}

QByteArray ContentPages::index() {
    const QString body = QStringLiteral(
        "<header><h1>Vantoro 空气质量</h1><p>热点话题、城市排行与分享结果</p></header>"
        "<main>"
        "<div class=\"card\"><h2><a href=\"/wechat/getPm25CentralIssue.do\">"
        "空气质量热点</a></h2><p class=\"meta\">雾霾成因、防护与科普</p></div>"
        "<div class=\"card\"><h2><a href=\"/wechat/getPm25Rank.do\">城市空气质量排行"
        "</a></h2><p class=\"meta\">各城市 AQI 与 PM2.5</p></div>"
        "<div class=\"card\"><h2>分享结果示例</h2><p>"
        "<a href=\"/wechat/capacityPmShare.do?value=3200&amp;percent=53&amp;"
        "level=2_5\">肺活量测试结果</a><br>"
        "<a href=\"/wechat/getPm25Capacity.do?percent=93&amp;random=1\">吹雾霾结果"
        "</a></p></div>"
        "</main>");
    return page(QStringLiteral("Vantoro 空气质量"), body);
}

QString ContentPages::sampleMark(const Article& article) {
    return article.sample ? QStringLiteral("<span class=\"tag sample\">示例内容</span>")
                          : QString();
}

QByteArray ContentPages::hotIssues(const QList<Article>& articles) {
    QString cards;
    for (const Article& a : articles)
        cards += QStringLiteral("<div class=\"card\"><h2><span class=\"tag\">%1</span>%2"
                                "<a href=\"/wechat/article.do?id=%3\">%4</a></h2>"
                                "<p>%5</p><p class=\"meta\">%6</p></div>")
                     // One pass, so that nothing in a title is taken for a placeholder.
                     .arg(escape(a.tag), sampleMark(a), escape(a.id), escape(a.title),
                          escape(a.summary), a.date.toString(Qt::ISODate));
    if (articles.isEmpty())
        cards = QStringLiteral("<div class=\"card\"><p>暂无热点文章。</p></div>");
    const QString body = QStringLiteral("<header><h1>空气质量热点</h1><p>关注雾霾，守护呼吸</p>"
                                        "</header><main>%1</main>"
                                        "<footer>Vantoro · 点击标题阅读全文</footer>")
                             .arg(cards);
    return page(QStringLiteral("空气质量热点"), body);
}

QByteArray ContentPages::article(const Article& article, const QList<Article>& all) {
    QString more;
    for (const Article& other : all)
        if (other.id != article.id)
            more += QStringLiteral("<li><a href=\"/wechat/article.do?id=%1\">%2</a></li>")
                        .arg(escape(other.id), escape(other.title));
    // The body is cmark's HTML, made in its safe mode; everything else is escaped here.
    const QString body =
        QStringLiteral("<header><h1>%1</h1><p>%2%3 · %4</p></header><main>"
                       "<div class=\"card article\">%5</div>"
                       "<div class=\"card\"><h2>更多热点</h2><ul>%6</ul>"
                       "<p><a href=\"/wechat/getPm25CentralIssue.do\">← 返回热点列表</a></p></div>"
                       "</main>")
            .arg(escape(article.title), sampleMark(article), escape(article.tag),
                 article.date.toString(Qt::ISODate), article.html, more);
    return page(article.title, body);
}

QByteArray ContentPages::ranking(const RankingTable& table) {
    QString rows;
    for (const RankingTable::City& city : table.cities) {
        const RankingTable::Level level = RankingTable::levelFor(city.aqi);
        rows += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td>"
                               "<td><span class=\"level\" style=\"background:%5;color:%6\">%7"
                               "</span></td></tr>\n")
                    // One pass, so that nothing in a city name is taken for a placeholder.
                    .arg(QString::number(city.rank), escape(city.name), QString::number(city.aqi),
                         QString::number(city.pm25), level.colour, level.textColour,
                         escape(level.name));
    }
    QString subtitle = table.updated.isEmpty()
                           ? QStringLiteral("按空气质量指数从优到差排列")
                           : QStringLiteral("更新时间：%1").arg(escape(table.updated));
    const QString body =
        QStringLiteral("<header><h1>城市空气质量排行</h1><p>%1</p></header><main>"
                       "<table><thead><tr><th>排名</th><th>城市</th><th>AQI</th>"
                       "<th>PM2.5<br>(μg/m³)</th><th>等级</th></tr></thead>\n<tbody>\n%2</tbody>"
                       "</table></main><footer>%3</footer>")
            .arg(subtitle, rows, escape(table.note));
    return page(QStringLiteral("城市空气质量排行"), body);
}

QByteArray ContentPages::lungResult(int capacity, int percent, const QString& comment,
                                    const QString& link) {
    const QString body =
        QStringLiteral("<header><h1>肺活量测试结果</h1><p>Vantoro · 吹一口气测肺活量</p></header>"
                       "<main><div class=\"card\"><p>我的肺活量</p>"
                       "<p class=\"big\">%1<small> 毫升</small></p>"
                       "<p>超越了全球%2%的环保卫士</p></div>"
                       "<div class=\"card\"><p class=\"comment\">%3</p></div>"
                       "<div class=\"card\"><a href=\"/wechat/getPm25CentralIssue.do\">"
                       "看看今天的空气质量热点 →</a></div></main>")
            .arg(capacity)
            .arg(percent)
            .arg(escape(comment));
    const QString title = QStringLiteral("我的肺活量：%1毫升").arg(capacity);
    return page(title, body, shareHead(title, comment, link));
}

QByteArray ContentPages::smogResult(int percent, const QString& comment, const QString& link) {
    const QString body =
        QStringLiteral("<header><h1>吹雾霾挑战</h1><p>Vantoro · 一口气吹散雾霾</p></header>"
                       "<main><div class=\"card\"><p>我的成绩</p>"
                       "<p class=\"big\">超越%1%</p><p>的环保卫士</p></div>"
                       "%2"
                       "<div class=\"card\"><a href=\"/wechat/getPm25Rank.do\">"
                       "看看各城市空气质量排行 →</a></div></main>")
            .arg(percent)
            .arg(comment.isEmpty()
                     ? QString()
                     : QStringLiteral("<div class=\"card\"><p class=\"comment\">%1</p></div>")
                           .arg(escape(comment)));
    const QString title = QStringLiteral("超越%1%的环保卫士").arg(percent);
    return page(title, body, shareHead(title, comment, link));
}

QByteArray ContentPages::error(int status, const QString& title, const QString& message) {
    const QString body = QStringLiteral("<header><h1>%1</h1><p>HTTP %2</p></header><main>"
                                        "<div class=\"card\"><p>%3</p>"
                                        "<p><a href=\"/\">返回首页</a></p></div></main>")
                             .arg(escape(title))
                             .arg(status)
                             .arg(escape(message));
    return page(title, body);
}
