#pragma once

// Lets database URLs name PostgreSQL (postgresql://, postgres://): programs
// that link the PostgreSQL store call install() once, before they parse
// their options. The application's embedded server does not.
class PostgresReportStores {
public:
    static void install();
};
