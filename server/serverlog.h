#pragma once

#include <QLoggingCategory>

// Requests served by the content server, one line each, and its failures.
Q_DECLARE_LOGGING_CATEGORY(lcServer)
