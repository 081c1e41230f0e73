#pragma once

#include "server/store/reportstore.h"

#include <QString>
#include <functional>
#include <memory>

// Which report store a database URL names, and that store, opened:
//   sqlite:PATH                     an SQLite file (the default, in the data folder)
//   postgresql://USER@HOST/DB?...   a PostgreSQL database that several server
//                                   processes may share (postgres:// too)
class ReportStores {
public:
    // Empty when the URL names a store; otherwise why it does not.
    static QString check(const QString& url);
    static QString sqliteUrl(const QString& path);
    // The file of an sqlite: URL; empty for any other.
    static QString sqlitePath(const QString& url);
    // The store of a URL that check() accepts. A database that cannot be
    // reached now is logged and leaves the store closed: reports are then
    // answered 503 until it can be reached.
    static std::unique_ptr<ReportStore> open(const QString& url);

    // Opens a postgresql:// URL; set by the programs that link the
    // PostgreSQL store (PostgresReportStores::install).
    using Opener = std::function<std::unique_ptr<ReportStore>(const QString& url)>;
    static void setPostgresOpener(Opener opener);

private:
    static bool isPostgres(const QString& url);
};
