#pragma once
// Creates the company database tables on an open connection, in the engine's own DDL.
#include <QString>
#include <QStringList>

class TKvADOConnection;

namespace kv::schema {

// The DDL text for the connection's engine.
QString companySchemaDDL(const TKvADOConnection& connection);
// The statements of a DDL text, without comments.
QStringList splitStatements(const QString& ddl);
// Runs every statement in one transaction; raises EKvError on the first failure (nothing is kept).
void applyCompanySchema(TKvADOConnection& connection);

} // namespace kv::schema
