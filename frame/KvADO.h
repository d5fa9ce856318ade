#pragma once
// The database access the module calls: a connection opened from the launcher's OLE DB connection
// string and queries with ":NAME" parameters, on Qt SQL. The engine is chosen by the connection
// string's Data Source (see docs/database.md):
//   sqlite:PATH, or a path ending .db/.sqlite/.sqlite3/.db3   SQLite file
//   pgsql:HOST[:PORT]                                          PostgreSQL server
//   odbc:DSN or odbc:ODBC-CONNECTION-STRING                    any ODBC data source
//   anything else (HOST, HOST,PORT, HOST\INSTANCE)             SQL Server through ODBC (FreeTDS)
// Values are always bound as parameters; the module's T-SQL texts are translated for the engine
// (KvADODialect.h). A connection belongs to the thread that opens it.
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

#include "frame/KvADODialect.h"
#include "platform/data/ClientDataSet.h"
#include "platform/data/Provider.h"

class QSqlQuery;
class QThread;
struct sqlite3_stmt;

namespace kv::ado {

// What an OLE DB connection string asks for, resolved to a Qt SQL driver.
struct ConnectionSettings {
    QString driver;                             // QSQLITE, QPSQL or QODBC
    SqlDialect dialect = SqlDialect::SQLServer; // for ODBC: refined from the server once open
    QString databaseName;                       // file, database or ODBC connection string
    QString hostName;
    int port = -1;
    QString userName;
    QString password;
    QString connectOptions;
    QString catalog; // Initial Catalog
    int connectTimeout = 0;
    int commandTimeout = 0;
    // SQLite: how long a writer waits for another connection's lock (milliseconds).
    int busyTimeout = 0;
};

// Splits "Key=Value;Key2=\"Quoted;Value\"" into keys (upper case) and values.
QHash<QString, QString> parseConnectionString(const QString& text);
// Raises EKvError (never showing the password) when the string names no usable data source.
ConnectionSettings resolveConnectionString(const QString& text);

} // namespace kv::ado

class TKvADOQuery;

class TKvADOConnection : public QObject {
    Q_OBJECT
public:
    explicit TKvADOConnection(QObject* owner = nullptr);
    ~TKvADOConnection() override;

    QString ConnectionString() const { return FConnectionString; }
    // Only while closed.
    void SetConnectionString(const QString& text);
    bool LoginPrompt() const { return false; }
    void SetLoginPrompt(bool) {}

    bool Connected() const;
    void SetConnected(bool value);
    // Raises EKvError naming the database and the reason when it cannot be opened.
    void Open();
    void Close();
    // A company is opened, never made: with this set, an SQLite file that does not exist is an error
    // instead of a new empty database, and one that SQLite cannot read is refused when opened.
    void setOpenExistingOnly(bool value) { FExistingOnly = value; }
    bool openExistingOnly() const { return FExistingOnly; }
    // A connection that reads its rows in one pass and closes (a read beside the workbench's work)
    // revisits no page: with this set before Open, SQLite keeps its small default page cache for it
    // instead of the one sized for loads and saves.
    void setReadsOnce(bool value) { FReadsOnce = value; }
    // An SQLite file deleted, or another file put in its place, since the connection opened it: the
    // connection still holds the old file, which takes no more writes and is not the company's.
    bool FileReplacedSinceOpen() const;
    // The database in words, for messages: "the SQLite file /x/DEMO.db", "the PostgreSQL database DEMO
    // on host:port"; empty before the connection string was first resolved.
    QString describe() const;
    // Width of a fixed-width text column as the catalog declares it; -1 when unknown.
    int textColumnWidth(const QString& table, const QString& column);

    // On SQLite a transaction takes the write lock when it starts (a save reads before it writes,
    // and SQLite lets a reader that wants to write wait for nobody). While another connection holds
    // the lock, the start and the commit wait up to the busy time-out, calling OnLockWait now and
    // then; after it they raise EKvError saying the database is locked.
    void StartTransaction();
    void Commit();
    void Rollback();
    bool InTransaction() const { return FInTransaction; }
    // Called about every tenth of a second while waiting for a lock: time waited and time-out (ms).
    std::function<void(int waitedMs, int timeoutMs)> OnLockWait;

    kv::ado::SqlDialect dialect() const { return FSettings.dialect; }
    // Whether statements of several rows at once (TKvADOBatch) go to this server: PostgreSQL through
    // its own driver.
    bool takesRowBatches() const { return FSettings.driver == QLatin1String("QPSQL"); }
    // The Qt connection (for tools that read without the data-set layer); valid while open.
    QSqlDatabase database() const { return FDatabase; }
    QString connectionName() const { return FConnectionName; }

    // Translation and statement caches, used by the queries of this connection.
    // rows > 1: the statement for that many rows of values at once; its text is empty where the engine
    // or the statement does not take them.
    const kv::ado::TranslatedSql& translated(const QString& sql, const QString& paramTypes, int rows = 1);
    QSqlQuery& statement(const QString& translatedSql);
    // The next row of a query run on this connection; false at the end of the rows. Qt SQL ends the
    // rows on a fault as it does at their end: a fault raises EKvError naming the database and sql, so
    // that rows cut short never pass for all there are.
    bool nextRow(QSqlQuery& query, const QString& sql) const;
    int cachedStatements() const { return static_cast<int>(FStatements.size()); }
    // Error text with the password removed.
    QString scrub(const QString& message) const;
    // What the engine said, with the password removed; the driver's own words ("Unable to fetch row")
    // only when the engine said nothing.
    QString scrub(const QSqlError& error) const;
    void checkThread() const;
    // Changes whenever the cached statements are dropped (on close).
    int generation() const { return FGeneration; }

private:
    const kv::ado::SchemaInfo& schemaInfo();
    void clearStatements();
    // Runs a statement of the transaction itself on SQLite, waiting for other connections' locks.
    void execWaitingForLock(const char* sql, const char* what);

    QString FConnectionString;
    kv::ado::ConnectionSettings FSettings;
    QString FConnectionName;
    QSqlDatabase FDatabase;
    QThread* FThread = nullptr;
    bool FInTransaction = false;
    bool FExistingOnly = false;
    // The SQLite file as opened: its device and inode.
    quint64 FFileDevice = 0, FFileInode = 0;
    bool FReadsOnce = false;
    int FGeneration = 0;
    std::unique_ptr<kv::ado::SchemaInfo> FSchema;
    QHash<QString, kv::ado::TranslatedSql> FTranslations;
    QHash<QString, QSqlQuery*> FStatements;
};

// A parameter of a query: a text, a number or unset (null).
class TParam {
public:
    explicit TParam(QString name) : FName(std::move(name)) {}
    const QString& Name() const { return FName; }
    // A text is never NULL: the database driver would bind an unset string as one.
    void SetAsString(const QString& value) { FValue = value.isNull() ? QString(0, QChar()) : value; }
    void SetAsFloat(double value) { FValue = value; }
    void SetAsInteger(int value) { FValue = static_cast<double>(value); }
    void SetValue(const QVariant& value) { FValue = value; }
    void Clear() { FValue = QVariant(); }
    QVariant Value() const { return FValue; }
    QString AsString() const { return FValue.toString(); }
    // 'S' text, 'F' number, 'N' unset.
    QChar typeCode() const;

private:
    QString FName;
    QVariant FValue;
};

// A query: SQL text with ":NAME" parameters. Open() reads the whole result into the query itself,
// which is then an ordinary data set (fields by name, First/Next/Eof, a data source can show it);
// as a provider's source it streams its rows to the client data set instead.
class TKvADOQuery : public kv::TClientDataSet, public kv::TRowSource {
    Q_OBJECT
public:
    explicit TKvADOQuery(QObject* owner = nullptr);
    ~TKvADOQuery() override;

    TKvADOConnection* Connection() const { return FConnection; }
    void SetConnection(TKvADOConnection* connection) { FConnection = connection; }

    QString SQL() const { return FSQL; }
    // Replaces the text as a whole; the parameters are those the new text names, all unset.
    void SetSQL(const QString& text);

    int ParamCount() const { return static_cast<int>(FParams.size()); }
    TParam& Params(int index) { return *FParams.at(static_cast<size_t>(index)); }
    // Raises EKvError for a name the text does not use.
    TParam& ParamByName(const QString& name);

    // Runs an INSERT, UPDATE or DELETE; returns the number of rows it touched.
    int ExecSQL();
    // Runs the SELECT and keeps its rows; the fields follow the result's columns.
    void Open();
    void Close() { kv::TClientDataSet::Close(); }
    void SetActive(bool value) { value ? Open() : Close(); }

    // TRowSource
    void openRows() override;
    int columnCount() const override;
    QString columnName(int column) const override;
    kv::TFieldType columnType(int column) const override;
    int columnSize(int column) const override;
    bool nextRow() override;
    QVariant columnValue(int column) const override;
    void closeRows() override;

private:
    QSqlQuery& execute();

    QPointer<TKvADOConnection> FConnection;
    QString FSQL;
    std::vector<std::unique_ptr<TParam>> FParams;
    QSqlQuery* FActive = nullptr;
    kv::TDataSetProvider FSelf;
    // The statement of the last run, reused while text, parameter types and connection stay.
    struct Prepared {
        QSqlQuery* statement = nullptr;
        QString types;
        std::vector<int> paramOfMarker;
        const TKvADOConnection* connection = nullptr;
        int generation = -1;
    } FPrepared;
};

// One INSERT, UPDATE or DELETE run for many rows of parameter values, as a save writes them. On
// PostgreSQL (its own driver) each statement is a round trip to the server, so the rows go to it
// together, up to MaxRows() in one statement; elsewhere, and for a statement that cannot take several
// rows, they run one by one. The rows run in the order they were added; a statement runs when MaxRows() rows
// wait or at Flush(). A guarded statement (each row must touch exactly one) compares RowsAffected() with
// RowsRun() after Flush(), or at any time in between.
class TKvADOBatch {
public:
    TKvADOBatch(TKvADOConnection* connection, const QString& sql);

    // Raises EKvError for a name the text does not use.
    TParam& ParamByName(const QString& name);
    // Takes the parameters' current values as one more row.
    void AddRow();
    void Flush();

    qint64 RowsRun() const { return FRun; }
    qint64 RowsAffected() const { return FAffected; }
    int MaxRows() const { return FMaxRows; }
    void SetMaxRows(int rows);

private:
    // Runs `rows` rows of values from `first` in one statement; false when the statement cannot take them.
    bool run(const std::vector<QVariant>& values, int first, int rows);

    QPointer<TKvADOConnection> FConnection;
    TKvADOQuery FQuery;             // the statement text and its parameters
    QString FTypes;                 // parameter types of the waiting rows
    std::vector<QVariant> FWaiting; // row after row, one value per parameter
    int FMaxRows = 512;
    qint64 FRun = 0;
    qint64 FAffected = 0;
};

// The rows of one statement read forward, once, at the engine's pace: on SQLite through its own
// calls, each text read in place and no value made per cell; elsewhere through Qt SQL. For the
// reads of hundreds of thousands of rows a load makes, where a value per cell costs most of the time.
// Raises EKvError naming the database and the statement when it cannot be prepared or run, or when a
// row cannot be read: a read cut short must not pass for all the rows there are.
class TKvADORowReader {
public:
    // values: one per positional marker of the translated statement.
    TKvADORowReader(TKvADOConnection& connection, const kv::ado::TranslatedSql& sql,
                    const QVariantList& values);
    ~TKvADORowReader();
    TKvADORowReader(const TKvADORowReader&) = delete;
    TKvADORowReader& operator=(const TKvADORowReader&) = delete;

    bool Next();
    bool IsNull(int column) const;
    // The column's text, valid until the next row (or the next call for the column); empty for a null.
    QStringView Text(int column);
    // The same as a string of its own, for keeping.
    QString String(int column);
    // The column as a number, as a query's value gives it: 0 for a null or a text that is no number.
    double Number(int column) const;

private:
    [[noreturn]] void fail(const char* step, const QString& error) const;

    TKvADOConnection& FConnection;
    QString FSql;
    sqlite3_stmt* FStatement = nullptr; // SQLite
    std::unique_ptr<QSqlQuery> FQuery;  // elsewhere
    std::vector<QString> FTexts;        // elsewhere: the texts of the current row
};

// Rows of keys and values that set-based statements of a transaction join with: a temporary table of
// the connection, made in the running transaction and gone with it. A statement per row costs a call
// into the engine (on a server a round trip) for each; here the rows go in at the engine's own pace:
// SQLite takes them through its own calls, bypassing the per-value work of Qt SQL, PostgreSQL as one
// array per column for tens of thousands of rows, other servers in statements of many rows. Text
// columns compare as fixed-width columns do, ignoring trailing blanks.
class TKvADOKeyTable {
public:
    struct Column {
        QString name;
        bool text = true;
    };
    // Name: letters and digits only. Index: the columns the joining statements look rows up by, the
    // ones that tell rows apart soonest first. Every engine gets it: a planner that expects few matches
    // of several equalities joins row by row, and without the index each row scans the whole table.
    TKvADOKeyTable(TKvADOConnection* connection, const QString& name, std::vector<Column> columns,
                   const QStringList& index);
    ~TKvADOKeyTable();
    TKvADOKeyTable(const TKvADOKeyTable&) = delete;
    TKvADOKeyTable& operator=(const TKvADOKeyTable&) = delete;

    // The table as statements name it ("#NAME" on SQL Server).
    const QString& Name() const { return FName; }
    // The values of the next row, column after column; AddRow takes them as one row.
    TKvADOKeyTable& Text(const QString& value);
    TKvADOKeyTable& Number(double value);
    void AddRow();
    // Every row is in: the index is built, the server told what the table holds.
    void Finish();
    qint64 RowCount() const { return FRows; }

private:
    void exec(const QString& sql);
    void drop() noexcept;
    void flushArrays();

    QPointer<TKvADOConnection> FConnection;
    QString FBase, FName;
    std::vector<Column> FColumns;
    QStringList FIndex;
    int FNext = 0; // column of the next value
    qint64 FRows = 0;
    sqlite3_stmt* FInsert = nullptr;     // SQLite
    std::vector<QString> FArrays;        // PostgreSQL: each column's values as an array text
    int FPending = 0;                    // rows in FArrays
    std::unique_ptr<TKvADOBatch> FBatch; // elsewhere
};
