#include "analytics/records/analyticslog.h"

Q_LOGGING_CATEGORY(lcAnalytics, "vantoro.analytics")
