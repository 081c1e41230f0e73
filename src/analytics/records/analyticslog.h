#pragma once

#include <QLoggingCategory>

// The analytics service's own diagnostic log.
Q_DECLARE_LOGGING_CATEGORY(lcAnalytics)
