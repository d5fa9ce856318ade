#pragma once
// Turns the module's T-SQL texts into the connected engine's dialect, and ":NAME" parameters into
// positional markers. SQL Server gets the text unchanged apart from the markers.
//
// What is rewritten for SQLite and PostgreSQL:
//   db..table                         -> table (the connection already names the database)
//   Convert(Char(n),getDate(),112)    -> today's date as "yyyymmdd"
//   convert(int,X), convert(float,X)  -> CAST(X AS ...)
//   DELETE table WHERE                -> DELETE FROM table WHERE
//   a + b on texts                    -> a || b, each CHAR(n) column padded to n first
//   comparisons with text parameters  -> ignore trailing blanks, as fixed-width columns do
#include <QHash>
#include <QString>
#include <QStringList>

namespace kv::ado {

enum class SqlDialect { SQLite, PostgreSQL, SQLServer };

// Text columns of the database, from its catalog: table -> column -> width (0 = not fixed-width).
// Names are upper case.
struct SchemaInfo {
    QHash<QString, QHash<QString, int>> textColumns;
    // Width of a text column; -1 when the column is unknown or not a text.
    int width(const QString& table, const QString& column) const;
};

struct TranslatedSql {
    QString text;
    // Parameter name of each positional marker of one row, in order (a name may repeat).
    QStringList markers;
    // Rows of parameter values the statement takes: its markers are `markers` once per row.
    int rows = 1;
};

// Names of the ":NAME" parameters in order of first appearance (outside literals and quoted names).
QStringList parameterNames(const QString& sql);

// paramTypes: one letter per name of parameterNames(): 'S' text, 'F' number, 'N' unset.
// schema may be null; then only literals and text parameters mark a '+' as concatenation.
// rows > 1 asks for one INSERT, UPDATE or DELETE that runs for that many rows of values at once, which
// only PostgreSQL gets (a statement there is a round trip to the server); the text is empty when the
// statement cannot take them.
TranslatedSql translateSql(const QString& sql, SqlDialect dialect, const QString& paramTypes,
                           const SchemaInfo* schema, int rows = 1);

// True when the text has a '+' outside literals, that is when the schema is worth loading.
bool mayConcatenate(const QString& sql);

} // namespace kv::ado
