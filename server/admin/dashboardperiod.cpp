#include "server/admin/dashboardperiod.h"

#include <QDateTime>

namespace {

QDate parsed(QStringView text) {
    // Exactly "yyyy-MM-dd": the date input's own format.
    if (text.size() != 10)
        return {};
    return QDate::fromString(text.toString(), QStringLiteral("yyyy-MM-dd"));
}

} // namespace

DashboardPeriod DashboardPeriod::lastDays(int days, QDate today) {
    return {today.addDays(1 - qMax(1, days)), today};
}

QDate DashboardPeriod::today() {
    return QDateTime::currentDateTimeUtc().date();
}

DashboardPeriod DashboardPeriod::fromQuery(QStringView from, QStringView to, QDate today,
                                           QString* notice) {
    const DashboardPeriod fallback = lastDays(kDefaultDays, today);
    auto refuse = [&](const QString& why) {
        if (notice)
            *notice = why;
        return fallback;
    };
    DashboardPeriod period = fallback;
    if (!to.isEmpty()) {
        period.to = parsed(to);
        if (!period.to.isValid())
            return refuse(QStringLiteral("结束日期无法识别（应为 YYYY-MM-DD）"));
        period.from = period.to.addDays(1 - kDefaultDays);
    }
    if (!from.isEmpty()) {
        period.from = parsed(from);
        if (!period.from.isValid())
            return refuse(QStringLiteral("开始日期无法识别（应为 YYYY-MM-DD）"));
    }
    if (period.from > period.to)
        return refuse(QStringLiteral("开始日期晚于结束日期"));
    if (period.from.daysTo(period.to) >= kMaxDays)
        return refuse(QStringLiteral("时间段超过 %1 天").arg(kMaxDays));
    if (notice)
        notice->clear();
    return period;
}

QStringList DashboardPeriod::days() const {
    QStringList list;
    for (QDate day = from; day.isValid() && day <= to; day = day.addDays(1))
        list << day.toString(Qt::ISODate);
    return list;
}
