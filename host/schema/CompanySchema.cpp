#include "host/schema/CompanySchema.h"

#include <QFile>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>

#include "frame/KvADO.h"
#include "platform/KvError.h"

static void initSchemaResource() {
    Q_INIT_RESOURCE(schema);
}

namespace kv::schema {

QString companySchemaDDL(const TKvADOConnection& connection) {
    initSchemaResource();
    QString name;
    switch (connection.dialect()) {
    case ado::SqlDialect::SQLite:
        name = ":/schema/company_sqlite.sql";
        break;
    case ado::SqlDialect::PostgreSQL:
        name = ":/schema/company_pgsql.sql";
        break;
    case ado::SqlDialect::SQLServer:
        name = ":/schema/company_mssql.sql";
        break;
    }
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) throw EKvError(QString("The schema file %1 is missing").arg(name));
    return QString::fromUtf8(file.readAll());
}

QStringList splitStatements(const QString& ddl) {
    QStringList statements;
    QString current;
    for (const QString& line : ddl.split('\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith("--")) continue;
        current += line + '\n';
        if (trimmed.endsWith(';')) {
            current = current.trimmed();
            current.chop(1);
            statements << current;
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty()) statements << current.trimmed();
    return statements;
}

void applyCompanySchema(TKvADOConnection& connection) {
    if (!connection.Connected()) connection.Open();
    const QStringList statements = splitStatements(companySchemaDDL(connection));
    connection.StartTransaction();
    auto rollback = qScopeGuard([&connection] { connection.Rollback(); });
    QSqlQuery q(connection.database());
    for (const QString& sql : statements)
        if (!q.exec(sql))
            throw EKvError(QString("Cannot create the company tables: %1\n%2")
                               .arg(connection.scrub(q.lastError()), sql.left(60)));
    connection.Commit();
    rollback.dismiss();
}

} // namespace kv::schema
