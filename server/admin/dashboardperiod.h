#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QStringView>

// The UTC days [from, to], both included, that the operator's figures cover.
struct DashboardPeriod {
    QDate from;
    QDate to;

    // The `days` days up to and including `today`.
    static DashboardPeriod lastDays(int days, QDate today);
    // The period a request asks for ("yyyy-MM-dd" each, either may be
    // empty): what is missing is taken from the last seven days; what cannot
    // be read gives those seven days and, in `notice`, what was wrong with
    // it, for the operator.
    static DashboardPeriod fromQuery(QStringView from, QStringView to, QDate today,
                                     QString* notice);
    // UTC today.
    static QDate today();

    QStringList days() const;
    QString fromText() const { return from.toString(Qt::ISODate); }
    QString toText() const { return to.toString(Qt::ISODate); }

    static constexpr int kDefaultDays = 7;
    // A year and a day: a day's bar stays wider than a pixel, and a query
    // stays bounded.
    static constexpr int kMaxDays = 367;
};
