#include "server/reportintake.h"

#include "server/pages/clienttext.h"
#include "server/reports/reportparser.h"
#include "server/serverlog.h"
#include "server/store/reportstore.h"

#include <QDateTime>
#include <QList>

namespace {

// The four parts of a dotted IPv4 address, or an empty list.
QList<int> ipv4Parts(QStringView address) {
    QList<int> parts;
    for (QStringView part : address.split(u'.')) {
        bool ok = false;
        const int value = part.toInt(&ok);
        if (!ok || part.isEmpty() || part.size() > 3 || value > 255 || !part[0].isDigit())
            return {};
        parts << value;
    }
    return parts.size() == 4 ? parts : QList<int>();
}

QString ipv4Class(const QList<int>& p) {
    if (p[0] == 127)
        return QStringLiteral("loopback");
    if (p[0] == 10 || (p[0] == 172 && p[1] >= 16 && p[1] <= 31) || (p[0] == 192 && p[1] == 168))
        return QStringLiteral("private");
    if (p[0] == 169 && p[1] == 254)
        return QStringLiteral("link-local");
    return QStringLiteral("public");
}

} // namespace

ReportIntake::ReportIntake(ReportStore& store) : m_store(store) {}

ReportIntake::Answer ReportIntake::take(QByteArrayView json, QStringView clientAddress,
                                        const RecordAllowance& allowance) {
    ReportParser parser(json, kMaxRecords);
    std::optional<ReportStore::Report> report = parser.parse();
    if (!report)
        return refused(parser.failure() == ReportParser::Failure::TooManyRecords ? 413 : 400,
                       parser.error());
    if (const int wait = allowance ? allowance(report->records.size()) : 0; wait > 0) {
        Answer slowDown{429, {{QStringLiteral("error"), QStringLiteral("too many records")}}};
        slowDown.retryAfter = wait;
        return slowDown;
    }
    dateAtArrivalWhenAhead(*report);
    // Kept with the report; said here so that a loss is seen at once.
    if (report->droppedRecords > 0)
        qCWarning(lcServer) << "a report says" << report->droppedRecords
                            << "records were dropped unsent by the application";
    if (!m_store.isOpen())
        return {503, {{QStringLiteral("error"), QStringLiteral("no database")}}};
    const ReportStore::Outcome outcome = m_store.store(*report, addressClass(clientAddress));
    if (!outcome.ok) {
        Answer failed{503, {{QStringLiteral("error"), QStringLiteral("the report was not kept")}}};
        failed.storeFailed = true;
        return failed;
    }
    return {200,
            {{QStringLiteral("stored"), outcome.stored},
             {QStringLiteral("duplicates"), outcome.duplicates}}};
}

// A phone's clock may be wrong, and a sender may lie: a record dated more
// than a day ahead would sort before every real one for as long as its date
// lies ahead (crash texts are shown newest first). Its facts take the time
// it arrived; its text keeps what was sent.
void ReportIntake::dateAtArrivalWhenAhead(UploadedReport& report) {
    const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000;
    int redated = 0;
    for (ReportStore::Record& record : report.records) {
        if (!record.facts || !record.facts->ts || *record.facts->ts <= now + kMaxAheadSeconds)
            continue;
        record.facts->ts = now;
        record.facts->day = RecordFacts::dayOf(now);
        ++redated;
    }
    if (redated > 0)
        qCWarning(lcServer) << redated
                            << "records dated more than a day ahead are dated at their arrival";
}

ReportIntake::Answer ReportIntake::refused(int status, const QString& why) {
    qCWarning(lcServer).noquote() << "report refused:" << ClientText::printable(why);
    return {status, {{QStringLiteral("error"), why}}};
}

QString ReportIntake::addressClass(QStringView address) {
    const QList<int> v4 = ipv4Parts(address);
    if (!v4.isEmpty())
        return ipv4Class(v4);
    if (!address.contains(u':'))
        return {};
    const QString lower = address.toString().toLower();
    // An IPv4 address carried in IPv6 is judged as itself.
    if (lower.startsWith(QLatin1String("::ffff:"))) {
        const QList<int> mapped = ipv4Parts(QStringView(lower).mid(7));
        return mapped.isEmpty() ? QString() : ipv4Class(mapped);
    }
    if (lower == QLatin1String("::1"))
        return QStringLiteral("loopback");
    // fe80::/10 and fc00::/7 are told by a first group of four digits.
    const bool fullFirstGroup = lower.indexOf(u':') == 4;
    if (fullFirstGroup && lower.startsWith(QLatin1String("fe")) &&
        QStringLiteral("89ab").contains(lower[2]))
        return QStringLiteral("link-local");
    if (fullFirstGroup &&
        (lower.startsWith(QLatin1String("fc")) || lower.startsWith(QLatin1String("fd"))))
        return QStringLiteral("private");
    return QStringLiteral("public");
}
