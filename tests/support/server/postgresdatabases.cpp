#include "support/server/postgresdatabases.h"

#include <QTest>

QString PostgresDatabases::next(const QString& prefix, QString* skipWhy, QString* error) {
    if (!m_server && m_missing.isEmpty()) {
        m_server = std::make_unique<PostgresInstance>();
        if (!m_server->start(&m_missing))
            m_server.reset();
    }
    if (!m_server) {
        *skipWhy = QStringLiteral("no PostgreSQL server: ") + m_missing;
        return {};
    }
    return m_server->createDatabase(prefix + QString::number(++m_made), error);
}

void PostgresDatabases::addStoreRows() {
    QTest::addColumn<QString>("store");
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgresql") << QStringLiteral("postgresql");
}
