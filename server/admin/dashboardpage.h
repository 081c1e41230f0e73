#pragma once

#include "server/admin/dashboardqueries.h"
#include "server/content/contentproblem.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The operator's pages: server-rendered HTML with inline SVG charts and no
// script or outside resource, for a laptop screen. Every number sits in an
// element with a data-figure attribute (and data-day, data-event,
// data-network or data-group where it is one of several), so that a check
// can read the figures back from the page. Every text from reports or
// files goes through ContentPages::escape().
class DashboardPage {
public:
    // `notice`: a message for the operator above the figures (e.g. a period
    // that could not be read), or empty. `keepDays`: how many days records
    // are kept, 0 for ever.
    static QByteArray overview(const DashboardQueries::Figures& figures,
                               const QList<ContentProblem>& problems, const QString& notice = {},
                               int keepDays = 0);
    // One crash group's texts; `error` when they could not be read.
    static QByteArray crashes(const QString& groupKey,
                              const QList<DashboardQueries::CrashText>& texts,
                              const QString& error = {});
};
