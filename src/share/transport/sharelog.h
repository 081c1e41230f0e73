#pragma once

#include <QLoggingCategory>

// Every call the application makes on the share service is logged here.
Q_DECLARE_LOGGING_CATEGORY(lcShare)
