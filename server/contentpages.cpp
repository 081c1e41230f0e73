#include "server/contentpages.h"

#include <iterator>

namespace {

struct Article {
    const char16_t* topic;
    const char16_t* title;
    const char16_t* date;
    const char16_t* summary;
    const char16_t* paragraphs[4];
};

constexpr Article kArticles[] = {
    {u"成因",
     u"冬季雾霾为何频发：逆温层与静稳天气",
     u"2024-01-15",
     u"冷空气一走，城市上空就像盖上了锅盖。",
     {u"冬季夜长，地面降温快，近地面空气比上方更冷，形成“逆温层”。冷空气沉在下面，污染物无法向上扩"
      u"散。",
      u"风速小、湿度大的静稳天气让颗粒物在原地越积越多，湿度高时细颗粒物还会吸水长大，能见度随之下"
      u"降。",
      u"供暖季燃煤、机动车尾气和工业排放叠加，本地污染与周边输送相互作用，一次重污染过程往往持续数"
      u"天。",
      u"一场风力四级以上的冷空气或一次有效降水，通常就能让空气质量迅速好转。"}},
    {u"科普",
     u"PM2.5 是什么：一文读懂细颗粒物",
     u"2024-01-12",
     u"直径不到头发丝三十分之一的颗粒，能深入肺泡。",
     {u"PM2.5 指空气动力学当量直径小于等于 2.5 微米的颗粒物，单位是微克每立方米（μg/m³）。",
      u"它比 PM10 更细，能随呼吸进入细支气管和肺泡，长期暴露与呼吸系统和心血管疾病风险上升有关。",
      u"空气质量指数（AQI）把多种污染物换算成 0 到 500 的数值：0–50 为优，51–100 为良，超过 100 "
      u"即为污染。",
      u"看数值时记得区分实时浓度与 24 小时平均浓度，两者可能相差很大。"}},
    {u"防护",
     u"雾霾天如何选择和佩戴口罩",
     u"2024-01-10",
     u"普通棉布口罩挡不住细颗粒物。",
     {u"选择标注 KN95 或更高防护等级的颗粒物防护口罩，普通棉布口罩和医用外科口罩对 PM2.5 "
      u"的过滤效果有限。",
      u"佩戴时按压鼻夹，让口罩与面部贴合；有明显漏气时，再好的滤材也会大打折扣。",
      u"口罩呼吸阻力变大或变脏时应及时更换。儿童、孕妇和心肺疾病患者应尽量减少外出，佩戴前咨询医生"
      u"。",
      u"重污染天减少户外剧烈运动，把晨练改到室内进行。"}},
    {u"居家",
     u"室内空气净化：开窗、净化器与绿植",
     u"2024-01-08",
     u"关窗不等于安全，净化器也不是万能的。",
     {u"重污染时段应关闭门窗，选择空气质量好转的时段短时开窗通风，避免室内二氧化碳和其他污染物积累"
      u"。",
      u"选购空气净化器时关注洁净空气输出比率（CADR），适用面积与房间大小相匹配，并按时更换滤网。",
      u"绿植能让人心情愉快，但对颗粒物的净化作用很小，不能代替通风和净化设备。",
      u"室内吸烟、油烟和燃香也会显著提高 PM2.5 浓度，做饭时请打开油烟机。"}},
};

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
)";

QString text(const char16_t* s) {
    return QString::fromUtf16(s);
}

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

QByteArray ContentPages::page(const QString& title, const QString& body) {
    return QStringLiteral(
               "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1, "
               "maximum-scale=1\">\n<title>%1</title>\n<style>%2</style>\n</head>\n"
               "<body>\n%3\n</body>\n</html>\n")
        .arg(escape(title), QLatin1String(kStyle), body)
        .toUtf8();
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

int ContentPages::articleCount() {
    return int(std::size(kArticles));
}

QByteArray ContentPages::hotIssues() {
    QString cards;
    for (int i = 0; i < articleCount(); ++i) {
        const Article& a = kArticles[i];
        cards += QStringLiteral("<div class=\"card\"><h2><span class=\"tag\">%1</span>"
                                "<a href=\"/wechat/article.do?id=%2\">%3</a></h2>"
                                "<p>%4</p><p class=\"meta\">%5</p></div>")
                     .arg(escape(text(a.topic)))
                     .arg(i + 1)
                     .arg(escape(text(a.title)), escape(text(a.summary)), escape(text(a.date)));
    }
    const QString body = QStringLiteral("<header><h1>空气质量热点</h1><p>关注雾霾，守护呼吸</p>"
                                        "</header><main>%1</main>"
                                        "<footer>Vantoro · 点击标题阅读全文</footer>")
                             .arg(cards);
    return page(QStringLiteral("空气质量热点"), body);
}

QByteArray ContentPages::article(int id) {
    if (id < 1 || id > articleCount())
        return {};
    const Article& a = kArticles[id - 1];
    QString paragraphs;
    for (const char16_t* p : a.paragraphs)
        paragraphs += QStringLiteral("<p>%1</p>").arg(escape(text(p)));
    QString more;
    for (int i = 1; i <= articleCount(); ++i)
        if (i != id)
            more += QStringLiteral("<li><a href=\"/wechat/article.do?id=%1\">%2</a></li>")
                        .arg(i)
                        .arg(escape(text(kArticles[i - 1].title)));
    const QString body =
        QStringLiteral("<header><h1>%1</h1><p>%2 · %3</p></header><main>"
                       "<div class=\"card\">%4</div>"
                       "<div class=\"card\"><h2>更多热点</h2><ul>%5</ul>"
                       "<p><a href=\"/wechat/getPm25CentralIssue.do\">← 返回热点列表</a></p></div>"
                       "</main>")
            .arg(escape(text(a.title)), escape(text(a.topic)), escape(text(a.date)), paragraphs,
                 more);
    return page(text(a.title), body);
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

QByteArray ContentPages::lungResult(int capacity, int percent, const QString& comment) {
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
    return page(QStringLiteral("我的肺活量：%1毫升").arg(capacity), body);
}

QByteArray ContentPages::smogResult(int percent, const QString& comment) {
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
    return page(QStringLiteral("超越%1%的环保卫士").arg(percent), body);
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
