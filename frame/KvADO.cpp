#include "frame/KvADO.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <sqlite3.h>
#include <sys/stat.h>
#include <utility>

#include "platform/KvError.h"

using namespace kv;
using namespace kv::ado;

namespace kv::ado {

QHash<QString, QString> parseConnectionString(const QString& text) {
    QHash<QString, QString> result;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype eq = text.indexOf('=', i);
        if (eq < 0) break;
        const QString key = text.mid(i, eq - i).trimmed().toUpper();
        i = eq + 1;
        while (i < n && text[i] == u' ')
            ++i;
        QString value;
        if (i < n && (text[i] == u'"' || text[i] == u'\'')) {
            // Quoted: the quote doubled stands for itself.
            const QChar quote = text[i++];
            while (i < n) {
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text[i++];
            }
            while (i < n && text[i] != u';')
                ++i;
        } else {
            const qsizetype semi = text.indexOf(';', i);
            const qsizetype end = semi < 0 ? n : semi;
            value = text.mid(i, end - i).trimmed();
            i = end;
        }
        if (i < n && text[i] == u';') ++i;
        if (!key.isEmpty()) result.insert(key, value);
    }
    return result;
}

namespace {

QString odbcQuote(const QString& value) {
    if (value.contains(';') || value.contains('{') || value.contains('}') || value.startsWith(' ') ||
        value.endsWith(' '))
        return "{" + QString(value).replace("}", "}}") + "}";
    return value;
}

} // namespace

ConnectionSettings resolveConnectionString(const QString& text) {
    const QHash<QString, QString> keys = parseConnectionString(text);
    ConnectionSettings s;
    s.userName = keys.value("USER ID");
    s.password = keys.value("PASSWORD");
    s.catalog = keys.value("INITIAL CATALOG");
    s.connectTimeout = keys.value("CONNECT TIMEOUT").toInt();
    const QHash<QString, QString> extended = parseConnectionString(keys.value("EXTENDED PROPERTIES"));
    s.commandTimeout = extended.value("COMMAND TIMEOUT").toInt();
    const QString source = keys.value("DATA SOURCE").trimmed();
    if (source.isEmpty()) throw EKvError("The connection string names no data source");
    const QString lower = source.toLower();
    static const QStringList fileSuffixes = {".db", ".sqlite", ".sqlite3", ".db3"};
    const bool sqliteFile = std::any_of(fileSuffixes.begin(), fileSuffixes.end(),
                                        [&](const QString& suffix) { return lower.endsWith(suffix); });
    if (lower.startsWith("sqlite:") || sqliteFile) {
        s.driver = "QSQLITE";
        s.dialect = SqlDialect::SQLite;
        s.databaseName = lower.startsWith("sqlite:") ? source.mid(7) : source;
        // Another connection's write lock is waited for, up to the connect time-out.
        s.busyTimeout = std::clamp(s.connectTimeout > 0 ? s.connectTimeout : 30, 1, 30) * 1000;
        s.connectOptions = QString("QSQLITE_BUSY_TIMEOUT=%1").arg(s.busyTimeout);
        return s;
    }
    if (lower.startsWith("pgsql:")) {
        s.driver = "QPSQL";
        s.dialect = SqlDialect::PostgreSQL;
        const QString rest = source.mid(6);
        const qsizetype colon = rest.lastIndexOf(':');
        bool ok = false;
        const int port = colon > 0 ? rest.mid(colon + 1).toInt(&ok) : 0;
        s.hostName = ok ? rest.left(colon) : rest;
        s.port = ok ? port : -1;
        s.databaseName = s.catalog;
        if (s.connectTimeout > 0) s.connectOptions = QString("connect_timeout=%1").arg(s.connectTimeout);
        return s;
    }
    s.driver = "QODBC";
    s.dialect = SqlDialect::SQLServer;
    if (lower.startsWith("odbc:")) {
        const QString odbc = source.mid(5).trimmed();
        s.databaseName = odbc.contains('=') ? odbc : "DSN=" + odbcQuote(odbc);
    } else {
        // host, host,port or host\instance: SQL Server through FreeTDS unless another driver is named.
        QString driver = qEnvironmentVariable("TARNIX_ODBC_DRIVER");
        if (driver.isEmpty()) driver = "FreeTDS";
        QString host = source, port;
        if (const qsizetype comma = source.indexOf(','); comma > 0) {
            host = source.left(comma).trimmed();
            port = source.mid(comma + 1).trimmed();
        }
        s.databaseName = QString("DRIVER={%1};SERVER=%2").arg(driver, odbcQuote(host));
        if (!port.isEmpty()) s.databaseName += ";PORT=" + odbcQuote(port);
        s.databaseName += ";TDS_Version=7.4;ClientCharset=UTF-8";
    }
    if (!s.catalog.isEmpty()) s.databaseName += ";DATABASE=" + odbcQuote(s.catalog);
    if (s.connectTimeout > 0) s.connectOptions = QString("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(s.connectTimeout);
    return s;
}

} // namespace kv::ado

// ---- connection -------------------------------------------------------------------------------

namespace {
std::atomic<int> gConnectionNumber{0};
}

TKvADOConnection::TKvADOConnection(QObject* owner) : QObject(owner) {}

TKvADOConnection::~TKvADOConnection() {
    Close();
}

void TKvADOConnection::SetConnectionString(const QString& text) {
    if (Connected()) throw EKvError("Cannot change the connection string of an open connection");
    FConnectionString = text;
}

bool TKvADOConnection::Connected() const {
    return FDatabase.isValid() && FDatabase.isOpen();
}

void TKvADOConnection::SetConnected(bool value) {
    value ? Open() : Close();
}

QString TKvADOConnection::scrub(const QString& message) const {
    QString m = message;
    if (FSettings.password.size() >= 2) m.replace(FSettings.password, "****");
    return m;
}

QString TKvADOConnection::scrub(const QSqlError& error) const {
    const QString said = error.databaseText().trimmed();
    return scrub(said.isEmpty() ? error.driverText() : said);
}

void TKvADOConnection::checkThread() const {
    if (FThread && FThread != QThread::currentThread())
        throw EKvError("A database connection is used only by the thread that opened it");
}

namespace {

// SQLite counts every allocation under one process-wide lock; two connections reading at once (the
// workbench reads day rows beside its lines) spend much of their time waiting for each other on it.
// Nothing here uses the counts. The setting only takes before SQLite's first use in the process.
void stopSqliteMemoryCounts() {
    static const bool done = [] {
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        return true;
    }();
    (void)done;
}

} // namespace

QString TKvADOConnection::describe() const {
    if (FSettings.driver == QLatin1String("QSQLITE"))
        return QStringLiteral("the SQLite file %1").arg(QDir::toNativeSeparators(FSettings.databaseName));
    if (FSettings.driver == QLatin1String("QPSQL"))
        return QStringLiteral("the PostgreSQL database %1 on %2%3")
            .arg(FSettings.databaseName,
                 FSettings.hostName.isEmpty() ? QStringLiteral("localhost") : FSettings.hostName,
                 FSettings.port > 0 ? QStringLiteral(":%1").arg(FSettings.port) : QString());
    if (FSettings.driver == QLatin1String("QODBC")) {
        // The ODBC text minus anything secret: driver, server and database.
        QStringList parts;
        for (const QString& item : FSettings.databaseName.split(';', Qt::SkipEmptyParts)) {
            const QString key = item.section('=', 0, 0).trimmed().toUpper();
            if (key == "DRIVER" || key == "SERVER" || key == "PORT" || key == "DSN" || key == "DATABASE")
                parts << item.trimmed();
        }
        return QStringLiteral("the ODBC database %1").arg(parts.join(';'));
    }
    return {};
}

namespace {

// The device and inode of a file; false when it is not there.
bool fileIdentity(const QString& path, quint64& device, quint64& inode) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return false;
    device = quint64(st.st_dev);
    inode = quint64(st.st_ino);
    return true;
}

// A company file SQLite can open as it is: there, a file, not empty. SQLite itself would make a
// missing file and take an empty one for a new database.
void checkExistingSqliteFile(const QString& path) {
    const QFileInfo file(path);
    const QString name = QDir::toNativeSeparators(path);
    if (path.isEmpty() || path == QLatin1String(":memory:"))
        throw EKvError(QStringLiteral("The SQLite connection names no database file"));
    if (!file.exists()) throw EKvError(QStringLiteral("The SQLite file %1 does not exist").arg(name));
    if (file.isDir()) throw EKvError(QStringLiteral("%1 is a folder, not an SQLite file").arg(name));
    if (file.size() == 0) throw EKvError(QStringLiteral("The SQLite file %1 is empty").arg(name));
}

} // namespace

void TKvADOConnection::Open() {
    if (Connected()) return;
    // A driver closes a connection whose server went away: the statements prepared on it go with it,
    // before a new one takes its name.
    if (FDatabase.isValid()) Close();
    FSettings = resolveConnectionString(FConnectionString);
    if (FSettings.driver == "QSQLITE") stopSqliteMemoryCounts();
    if (FExistingOnly && FSettings.driver == "QSQLITE") checkExistingSqliteFile(FSettings.databaseName);
    if (!QSqlDatabase::isDriverAvailable(FSettings.driver))
        throw EKvError(QString("The database driver %1 is not installed").arg(FSettings.driver));
    // Connection names are process-wide in Qt; the host and a plug-in each carry their own copy of this
    // counter, so the copy's address keeps their names apart.
    if (FConnectionName.isEmpty())
        FConnectionName = QString("TKvADOConnection#%1@%2")
                              .arg(++gConnectionNumber)
                              .arg(quintptr(&gConnectionNumber), 0, 16);
    FDatabase = QSqlDatabase::addDatabase(FSettings.driver, FConnectionName);
    FDatabase.setDatabaseName(FSettings.databaseName);
    if (!FSettings.hostName.isEmpty()) FDatabase.setHostName(FSettings.hostName);
    if (FSettings.port > 0) FDatabase.setPort(FSettings.port);
    if (!FSettings.userName.isEmpty()) FDatabase.setUserName(FSettings.userName);
    if (!FSettings.password.isEmpty()) FDatabase.setPassword(FSettings.password);
    if (!FSettings.connectOptions.isEmpty()) FDatabase.setConnectOptions(FSettings.connectOptions);
    if (!FDatabase.open()) {
        const QString error = scrub(FDatabase.lastError());
        FDatabase = QSqlDatabase();
        QSqlDatabase::removeDatabase(FConnectionName);
        throw EKvError(QString("Cannot connect to %1: %2").arg(describe(), error));
    }
    FThread = QThread::currentThread();
    if (FSettings.driver == "QODBC") {
        // The ODBC driver tells which server answers; its dialect follows.
        switch (FDatabase.driver()->dbmsType()) {
        case QSqlDriver::PostgreSQL:
            FSettings.dialect = SqlDialect::PostgreSQL;
            break;
        case QSqlDriver::SQLite:
            FSettings.dialect = SqlDialect::SQLite;
            break;
        default:
            FSettings.dialect = SqlDialect::SQLServer;
        }
    }
    if (FSettings.dialect == SqlDialect::SQLite) {
        QSqlQuery pragma(FDatabase);
        // SQLite reads a file only when first asked: a file that is not a database fails here, by name.
        if (FExistingOnly && !pragma.exec("SELECT count(*) FROM sqlite_master")) {
            const QString error = scrub(pragma.lastError());
            pragma = QSqlQuery();
            Close();
            throw EKvError(QString("Cannot read %1: %2").arg(describe(), error));
        }
        if (!fileIdentity(FSettings.databaseName, FFileDevice, FFileInode)) FFileDevice = FFileInode = 0;
        pragma.exec("PRAGMA foreign_keys=ON");
        // Loads and saves of a large factory touch more pages than the default cache of 2 MB holds;
        // the cache grows only as far as it is used.
        if (!FReadsOnce) pragma.exec("PRAGMA cache_size=-65536");
    }
    if (FSettings.dialect == SqlDialect::SQLServer) {
        // A guarded update holds when the rows touched equal the rows sent: the counts must come back
        // whatever the server's default for its connections is.
        QSqlQuery session(FDatabase);
        if (!session.exec(QStringLiteral("SET NOCOUNT OFF")))
            qWarning("SET NOCOUNT OFF: %s", qPrintable(scrub(session.lastError())));
    }
    if (FSettings.dialect == SqlDialect::PostgreSQL) {
        QSqlQuery session(FDatabase);
        // The statements of a connection are prepared once and run with new values. A plan made for
        // unknown values guesses a handful of rows where a factory has tens of thousands, and joins
        // them row by row: each run is planned for its values instead. The sorts and hashes of a large
        // factory's keys stay in memory rather than spilling to disk. Compiling a statement to machine
        // code took longer than running it did. The notices of the access layer's own housekeeping (a
        // key table dropped where none was left) are no news: only warnings reach the standard error.
        for (const char* sql : {"SET plan_cache_mode = force_custom_plan", "SET work_mem = '64MB'",
                                "SET jit = off", "SET client_min_messages = warning"})
            if (!session.exec(QString::fromLatin1(sql)))
                qWarning("%s: %s", sql, qPrintable(scrub(session.lastError())));
        // A save rewrites every page of a factory's plan and day rows, and the first change of a page
        // after a checkpoint logs the whole page: compressed, those pages of blank-padded texts take
        // a fraction of the log and of the time. Only a superuser, or a role granted the setting, may
        // choose it for a session; any other keeps the server's choice.
        bool compressed = false;
        for (const char* sql : {"SET wal_compression = lz4", "SET wal_compression = on"})
            if (!compressed) compressed = session.exec(QString::fromLatin1(sql));
        static std::atomic<bool> told{false};
        if (!compressed && !told.exchange(true))
            qInfo("The server's log compression stays as set: %s", qPrintable(scrub(session.lastError())));
    }
}

void TKvADOConnection::clearStatements() {
    ++FGeneration;
    for (QSqlQuery* q : std::as_const(FStatements))
        delete q;
    FStatements.clear();
    FTranslations.clear();
    FSchema.reset();
}

bool TKvADOConnection::FileReplacedSinceOpen() const {
    if (!Connected() || FSettings.dialect != SqlDialect::SQLite || FFileInode == 0) return false;
    quint64 device = 0, inode = 0;
    return !fileIdentity(FSettings.databaseName, device, inode) || device != FFileDevice ||
           inode != FFileInode;
}

void TKvADOConnection::Close() {
    if (!FDatabase.isValid()) return;
    if (FInTransaction && FDatabase.isOpen()) FDatabase.rollback();
    FInTransaction = false;
    clearStatements();
    FDatabase.close();
    FDatabase = QSqlDatabase();
    QSqlDatabase::removeDatabase(FConnectionName);
    FThread = nullptr;
}

namespace {

sqlite3* sqliteHandle(const QSqlDatabase& db) {
    const QVariant v = db.driver() ? db.driver()->handle() : QVariant();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0) return nullptr;
    return *static_cast<sqlite3* const*>(v.constData());
}

// SQLITE_BUSY or SQLITE_LOCKED, extended codes included.
bool isLockError(const QSqlError& e) {
    const int code = e.nativeErrorCode().toInt() & 0xff;
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

} // namespace

void TKvADOConnection::execWaitingForLock(const char* sql, const char* what) {
    sqlite3* handle = sqliteHandle(FDatabase);
    const int timeout = FSettings.busyTimeout;
    // SQLite waits a tenth of a second at a time, so that the caller hears of the wait in between.
    if (handle) sqlite3_busy_timeout(handle, 100);
    const auto restore = qScopeGuard([handle, timeout] {
        if (handle) sqlite3_busy_timeout(handle, timeout);
    });
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QSqlQuery q(FDatabase);
        if (q.exec(QString::fromLatin1(sql))) return;
        const QSqlError error = q.lastError();
        const qint64 waited = clock.elapsed();
        if (!isLockError(error))
            throw EKvError(QString("Cannot %1: %2").arg(QString::fromLatin1(what), scrub(error)));
        if (waited >= timeout)
            throw EKvError(QString("Cannot %1: the database is locked by another program (waited %2 s)")
                               .arg(QString::fromLatin1(what))
                               .arg(double(waited) / 1000, 0, 'f', 1));
        if (OnLockWait) OnLockWait(int(waited), timeout);
    }
}

void TKvADOConnection::StartTransaction() {
    if (!Connected()) throw EKvError("The connection is not open");
    checkThread();
    if (FInTransaction) throw EKvError("A transaction is already active");
    if (FSettings.dialect == SqlDialect::SQLite && FSettings.driver == "QSQLITE") {
        execWaitingForLock("BEGIN IMMEDIATE", "start a transaction");
    } else if (!FDatabase.transaction()) {
        throw EKvError(QString("Cannot start a transaction: %1").arg(scrub(FDatabase.lastError())));
    }
    FInTransaction = true;
}

void TKvADOConnection::Commit() {
    checkThread();
    if (!FInTransaction) throw EKvError("No transaction is active");
    FInTransaction = false;
    if (FSettings.dialect == SqlDialect::SQLite && FSettings.driver == "QSQLITE") {
        // Readers of other connections are waited for as a writer's start is; what cannot be
        // committed is not left half done.
        auto rollback = qScopeGuard([this] { FDatabase.rollback(); });
        execWaitingForLock("COMMIT", "commit the transaction");
        rollback.dismiss();
        return;
    }
    if (!FDatabase.commit()) {
        const QString error = scrub(FDatabase.lastError());
        FDatabase.rollback();
        throw EKvError(QString("Cannot commit the transaction: %1").arg(error));
    }
}

void TKvADOConnection::Rollback() {
    checkThread();
    if (!FInTransaction) throw EKvError("No transaction is active");
    FInTransaction = false;
    // SQLite takes a transaction back by itself on some faults (a full disk): nothing is left to undo.
    if (sqlite3* handle = sqliteHandle(FDatabase); handle && sqlite3_get_autocommit(handle)) return;
    if (!FDatabase.rollback())
        throw EKvError(QString("Cannot roll back the transaction: %1").arg(scrub(FDatabase.lastError())));
}

int TKvADOConnection::textColumnWidth(const QString& table, const QString& column) {
    if (!Connected()) return -1;
    if (FSettings.dialect == SqlDialect::SQLite || FSettings.dialect == SqlDialect::PostgreSQL)
        return schemaInfo().width(table, column);
    QSqlQuery q(FDatabase);
    q.prepare("SELECT CHARACTER_MAXIMUM_LENGTH FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = ? AND "
              "COLUMN_NAME = ?");
    q.addBindValue(table);
    q.addBindValue(column);
    return q.exec() && q.next() && !q.value(0).isNull() ? q.value(0).toInt() : -1;
}

const SchemaInfo& TKvADOConnection::schemaInfo() {
    if (FSchema) return *FSchema;
    FSchema = std::make_unique<SchemaInfo>();
    QSqlQuery q(FDatabase);
    q.setForwardOnly(true);
    auto typeWidth = [](const QString& type) {
        // CHAR(n) is fixed-width; any other text type has no padding.
        const QString t = type.trimmed().toUpper();
        if (t.startsWith("CHAR(") || t.startsWith("CHARACTER(") || t.startsWith("NCHAR("))
            return t.section('(', 1).section(')', 0, 0).toInt();
        if (t.contains("CHAR") || t.contains("TEXT") || t.contains("CLOB")) return 0;
        return -1;
    };
    if (FSettings.dialect == SqlDialect::SQLite) {
        QStringList tables;
        if (q.exec("SELECT name FROM sqlite_master WHERE type = 'table'"))
            while (q.next())
                tables << q.value(0).toString();
        for (const QString& table : tables) {
            QSqlQuery info(FDatabase);
            if (!info.exec(QString("PRAGMA table_info(\"%1\")").arg(QString(table).replace('"', "\"\""))))
                continue;
            auto& columns = FSchema->textColumns[table.toUpper()];
            while (info.next())
                if (const int w = typeWidth(info.value(2).toString()); w >= 0)
                    columns.insert(info.value(1).toString().toUpper(), w);
        }
    } else if (FSettings.dialect == SqlDialect::PostgreSQL) {
        if (q.exec("SELECT table_name, column_name, data_type, character_maximum_length FROM "
                   "information_schema.columns "
                   "WHERE table_schema = current_schema()")) {
            while (q.next()) {
                const QString type = q.value(2).toString().toLower();
                int w = -1;
                if (type == "character")
                    w = q.value(3).toInt();
                else if (type == "character varying" || type == "text")
                    w = 0;
                if (w >= 0)
                    FSchema->textColumns[q.value(0).toString().toUpper()].insert(
                        q.value(1).toString().toUpper(), w);
            }
        }
    }
    return *FSchema;
}

const TranslatedSql& TKvADOConnection::translated(const QString& sql, const QString& paramTypes, int rows) {
    // SQL Server takes the text as it is; other engines' rewriting may depend on the parameters' types.
    const bool typed = FSettings.dialect != SqlDialect::SQLServer;
    QString key = typed ? sql + QChar(0x1F) + paramTypes : sql;
    if (rows > 1) key += QChar(0x1F) + QString::number(rows);
    auto it = FTranslations.constFind(key);
    if (it != FTranslations.constEnd()) return it.value();
    const SchemaInfo* schema = typed && mayConcatenate(sql) ? &schemaInfo() : nullptr;
    return FTranslations.insert(key, translateSql(sql, FSettings.dialect, paramTypes, schema, rows)).value();
}

QSqlQuery& TKvADOConnection::statement(const QString& translatedSql) {
    auto it = FStatements.constFind(translatedSql);
    if (it != FStatements.constEnd()) return *it.value();
    auto q = std::make_unique<QSqlQuery>(FDatabase);
    q->setForwardOnly(true);
    // Decimal columns come back as doubles.
    q->setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    if (!q->prepare(translatedSql))
        throw EKvError(QString("Cannot prepare the statement on %1: %2\n%3")
                           .arg(describe(), scrub(q->lastError()), translatedSql));
    QSqlQuery* raw = q.release();
    FStatements.insert(translatedSql, raw);
    return *raw;
}

bool TKvADOConnection::nextRow(QSqlQuery& query, const QString& sql) const {
    if (query.next()) return true;
    if (query.lastError().isValid())
        throw EKvError(QString("Cannot read the rows of the statement on %1: %2\n%3")
                           .arg(describe(), scrub(query.lastError()), sql));
    return false;
}

// ---- parameters and queries -------------------------------------------------------------------

QChar TParam::typeCode() const {
    if (!FValue.isValid() || FValue.isNull()) return u'N';
    switch (FValue.typeId()) {
    case QMetaType::Double:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Float:
        return u'F';
    default:
        return u'S';
    }
}

TKvADOQuery::TKvADOQuery(QObject* owner) : TClientDataSet(owner) {
    FSelf.SetDataSet(this);
    SetProvider(&FSelf);
}

TKvADOQuery::~TKvADOQuery() {
    closeRows();
}

void TKvADOQuery::SetSQL(const QString& text) {
    if (Active()) Close();
    if (text == FSQL) {
        // A save loop sets the same text for every row: keep the prepared statement, drop the values.
        for (auto& p : FParams)
            p->Clear();
        return;
    }
    FSQL = text;
    FPrepared = Prepared{};
    FParams.clear();
    for (const QString& name : kv::ado::parameterNames(text))
        FParams.push_back(std::make_unique<TParam>(name));
}

TParam& TKvADOQuery::ParamByName(const QString& name) {
    for (auto& p : FParams)
        if (p->Name().compare(name, Qt::CaseInsensitive) == 0) return *p;
    throw EKvError(QString("%1: Parameter '%2' not found").arg(objectName(), name));
}

QSqlQuery& TKvADOQuery::execute() {
    if (!FConnection) throw EKvError(QString("%1: Missing Connection or ConnectionString").arg(objectName()));
    FConnection->checkThread();
    if (!FConnection->Connected()) FConnection->Open();
    QString types;
    types.reserve(static_cast<qsizetype>(FParams.size()));
    for (auto& p : FParams)
        types += p->typeCode();
    if (!FPrepared.statement || FPrepared.types != types || FPrepared.connection != FConnection.data() ||
        FPrepared.generation != FConnection->generation()) {
        const TranslatedSql& t = FConnection->translated(FSQL, types);
        FPrepared.statement = &FConnection->statement(t.text);
        FPrepared.types = types;
        FPrepared.connection = FConnection.data();
        FPrepared.generation = FConnection->generation();
        FPrepared.paramOfMarker.clear();
        for (const QString& marker : t.markers) {
            TParam& p = ParamByName(marker);
            for (size_t i = 0; i < FParams.size(); ++i)
                if (FParams[i].get() == &p) FPrepared.paramOfMarker.push_back(static_cast<int>(i));
        }
    }
    QSqlQuery& q = *FPrepared.statement;
    for (size_t i = 0; i < FPrepared.paramOfMarker.size(); ++i)
        q.bindValue(static_cast<int>(i), FParams[static_cast<size_t>(FPrepared.paramOfMarker[i])]->Value());
    if (!q.exec()) {
        const QString error = FConnection->scrub(q.lastError());
        q.finish();
        throw EKvError(QString("%1\n%2").arg(error, FSQL.trimmed()));
    }
    return q;
}

int TKvADOQuery::ExecSQL() {
    QSqlQuery& q = execute();
    const int rows = q.numRowsAffected();
    q.finish();
    return rows;
}

void TKvADOQuery::Open() {
    if (Active()) return;
    // The columns follow the text of this opening.
    ClearFields();
    kv::TClientDataSet::Open();
}

void TKvADOQuery::openRows() {
    closeRows();
    FActive = &execute();
}

int TKvADOQuery::columnCount() const {
    return FActive ? FActive->record().count() : 0;
}

QString TKvADOQuery::columnName(int column) const {
    return FActive->record().fieldName(column);
}

kv::TFieldType TKvADOQuery::columnType(int column) const {
    switch (FActive->record().field(column).metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::Bool:
        return kv::TFieldType::ftInteger;
    case QMetaType::Double:
    case QMetaType::Float:
        return kv::TFieldType::ftFloat;
    case QMetaType::QDateTime:
    case QMetaType::QDate:
        return kv::TFieldType::ftDateTime;
    default:
        return kv::TFieldType::ftString;
    }
}

int TKvADOQuery::columnSize(int column) const {
    const int length = FActive->record().field(column).length();
    return length > 0 && length < 8000 ? length : 0;
}

bool TKvADOQuery::nextRow() {
    if (!FActive) return false;
    return FConnection ? FConnection->nextRow(*FActive, FSQL.trimmed()) : FActive->next();
}

QVariant TKvADOQuery::columnValue(int column) const {
    return FActive->value(column);
}

void TKvADOQuery::closeRows() {
    if (FActive && FConnection) FActive->finish();
    FActive = nullptr;
}

// ---- batches of rows -------------------------------------------------------------------------

TKvADOBatch::TKvADOBatch(TKvADOConnection* connection, const QString& sql) : FConnection(connection) {
    FQuery.SetConnection(connection);
    FQuery.SetSQL(sql);
}

TParam& TKvADOBatch::ParamByName(const QString& name) {
    return FQuery.ParamByName(name);
}

void TKvADOBatch::SetMaxRows(int rows) {
    Flush();
    FMaxRows = std::max(1, rows);
}

void TKvADOBatch::AddRow() {
    if (!FConnection) throw EKvError("A batch of rows has no connection");
    if (!FConnection->Connected()) FConnection->Open();
    // Where a statement costs no round trip, the row runs at once. PostgreSQL's ODBC driver loses
    // its way in statements of thousands of values: only the native driver gets several rows.
    if (FMaxRows == 1 || !FConnection->takesRowBatches() || FQuery.ParamCount() == 0) {
        FAffected += FQuery.ExecSQL();
        ++FRun;
        return;
    }
    const int n = FQuery.ParamCount();
    QString types;
    types.reserve(n);
    for (int i = 0; i < n; ++i)
        types += FQuery.Params(i).typeCode();
    // A statement of several rows is typed once for all of them.
    if (types != FTypes) Flush();
    FTypes = types;
    for (int i = 0; i < n; ++i)
        FWaiting.push_back(FQuery.Params(i).Value());
    if (FWaiting.size() >= size_t(FMaxRows) * size_t(std::max(n, 1))) Flush();
}

void TKvADOBatch::Flush() {
    // Rows that failed are not run again by a later flush.
    const std::vector<QVariant> values = std::exchange(FWaiting, {});
    if (values.empty()) return;
    const int n = std::max(FQuery.ParamCount(), 1);
    const int waiting = static_cast<int>(values.size() / size_t(n));
    int first = 0;
    // Runs of a power of two rows: a few statement shapes, each prepared once, serve every count.
    while (first < waiting) {
        int rows = 1;
        while (rows * 2 <= std::min(waiting - first, FMaxRows))
            rows *= 2;
        if (rows > 1 && run(values, first, rows)) {
            first += rows;
            continue;
        }
        for (int i = 0; i < FQuery.ParamCount(); ++i)
            FQuery.Params(i).SetValue(values[size_t(first) * size_t(n) + size_t(i)]);
        FAffected += FQuery.ExecSQL();
        ++FRun;
        ++first;
    }
}

bool TKvADOBatch::run(const std::vector<QVariant>& values, int first, int rows) {
    FConnection->checkThread();
    if (!FConnection->Connected()) FConnection->Open();
    const TranslatedSql& t = FConnection->translated(FQuery.SQL(), FTypes, rows);
    if (t.text.isEmpty()) return false;
    const int n = FQuery.ParamCount();
    std::vector<int> paramOfMarker;
    for (const QString& marker : t.markers) {
        int index = 0;
        while (index < n && FQuery.Params(index).Name().compare(marker, Qt::CaseInsensitive) != 0)
            ++index;
        paramOfMarker.push_back(index);
    }
    QSqlQuery& q = FConnection->statement(t.text);
    int marker = 0;
    for (int r = first; r < first + rows; ++r)
        for (const int p : paramOfMarker)
            q.bindValue(marker++, values[size_t(r) * size_t(n) + size_t(p)]);
    if (!q.exec()) {
        const QString error = FConnection->scrub(q.lastError());
        q.finish();
        throw EKvError(QString("%1\n%2").arg(error, FQuery.SQL().trimmed()));
    }
    FAffected += q.numRowsAffected();
    FRun += rows;
    q.finish();
    return true;
}

TKvADOKeyTable::TKvADOKeyTable(TKvADOConnection* connection, const QString& name, std::vector<Column> columns,
                               const QStringList& index)
    : FConnection(connection), FColumns(std::move(columns)), FIndex(index) {
    if (!FConnection || !FConnection->Connected()) throw EKvError("A key table needs an open connection");
    FConnection->checkThread();
    const SqlDialect dialect = FConnection->dialect();
    const bool sqlite = dialect == SqlDialect::SQLite && FConnection->database().driverName() == "QSQLITE";
    FBase = name;
    FName = dialect == SqlDialect::SQLServer ? "#" + name : name;
    QStringList defs, names, markers;
    for (const Column& c : FColumns) {
        // Blank-insensitive like the fixed-width columns they are compared with. SQLite compares with the
        // collation of the column, which the index must share to be used.
        const QString type = !c.text                            ? QStringLiteral("FLOAT")
                             : dialect == SqlDialect::SQLite    ? QStringLiteral("TEXT COLLATE RTRIM")
                             : dialect == SqlDialect::SQLServer ? QStringLiteral("NVARCHAR(255)")
                                                                : QStringLiteral("BPCHAR");
        defs << c.name + ' ' + type;
        names << c.name;
        markers << ':' + c.name;
    }
    // A table left by a save that failed half-way (where the engine keeps it past a rollback) goes first.
    if (dialect == SqlDialect::SQLite)
        exec(QString("DROP TABLE IF EXISTS temp.%1").arg(FName));
    else if (dialect == SqlDialect::PostgreSQL)
        exec(QString("DROP TABLE IF EXISTS pg_temp.%1").arg(FName));
    else
        exec(QString("IF OBJECT_ID('tempdb..%1') IS NOT NULL DROP TABLE %1").arg(FName));
    exec(QString(dialect == SqlDialect::SQLServer    ? "CREATE TABLE %1 (%2)"
                 : dialect == SqlDialect::PostgreSQL ? "CREATE TEMP TABLE %1 (%2) ON COMMIT DROP"
                                                     : "CREATE TEMP TABLE %1 (%2)")
             .arg(FName, defs.join(", ")));
    if (sqlite) {
        const QByteArray sql = QString("INSERT INTO temp.%1 VALUES (%2)")
                                   .arg(FName, QString("?,").repeated(int(FColumns.size())).chopped(1))
                                   .toUtf8();
        sqlite3* handle = sqliteHandle(FConnection->database());
        if (!handle ||
            sqlite3_prepare_v2(handle, sql.constData(), int(sql.size()), &FInsert, nullptr) != SQLITE_OK) {
            const QString error =
                handle ? QString::fromUtf8(sqlite3_errmsg(handle)) : QString("no SQLite handle");
            drop();
            throw EKvError(QString("Cannot prepare the rows of %1: %2").arg(FName, error));
        }
    } else if (FConnection->takesRowBatches()) {
        FArrays.resize(FColumns.size());
    } else {
        FBatch = std::make_unique<TKvADOBatch>(
            FConnection.data(),
            QString("INSERT INTO %1 (%2) VALUES (%3)").arg(FName, names.join(", "), markers.join(", ")));
    }
}

TKvADOKeyTable::~TKvADOKeyTable() {
    if (FInsert) sqlite3_finalize(FInsert);
    drop();
}

void TKvADOKeyTable::exec(const QString& sql) {
    QSqlQuery q(FConnection->database());
    if (!q.exec(sql)) throw EKvError(QString("%1\n%2").arg(FConnection->scrub(q.lastError()), sql));
}

void TKvADOKeyTable::drop() noexcept {
    // Gone with a rolled back transaction on some engines: a failing drop is no news then.
    if (!FConnection || !FConnection->Connected()) return;
    try {
        const SqlDialect dialect = FConnection->dialect();
        QSqlQuery q(FConnection->database());
        q.exec(dialect == SqlDialect::SQLite ? QString("DROP TABLE IF EXISTS temp.%1").arg(FName)
               : dialect == SqlDialect::PostgreSQL
                   ? QString("DROP TABLE IF EXISTS pg_temp.%1").arg(FName)
                   : QString("IF OBJECT_ID('tempdb..%1') IS NOT NULL DROP TABLE %1").arg(FName));
    } catch (...) {
    }
}

TKvADOKeyTable& TKvADOKeyTable::Text(const QString& value) {
    const int column = FNext++;
    if (column >= int(FColumns.size()))
        throw EKvError(QString("%1 has %2 columns").arg(FName).arg(FColumns.size()));
    if (FInsert) {
        // A null text would be NULL, which no key column holds.
        const void* data =
            value.isNull() ? static_cast<const void*>(u"") : static_cast<const void*>(value.utf16());
        sqlite3_bind_text16(FInsert, column + 1, data, int(value.size() * sizeof(char16_t)),
                            SQLITE_TRANSIENT);
    } else if (!FArrays.empty()) {
        QString& a = FArrays[size_t(column)];
        if (FPending > 0) a += QLatin1Char(',');
        a += QLatin1Char('"');
        for (const QChar c : value) {
            if (c == QLatin1Char('"') || c == QLatin1Char('\\')) a += QLatin1Char('\\');
            a += c;
        }
        a += QLatin1Char('"');
    } else {
        FBatch->ParamByName(FColumns[size_t(column)].name)
            .SetAsString(value.isNull() ? QStringLiteral("") : value);
    }
    return *this;
}

TKvADOKeyTable& TKvADOKeyTable::Number(double value) {
    const int column = FNext++;
    if (column >= int(FColumns.size()))
        throw EKvError(QString("%1 has %2 columns").arg(FName).arg(FColumns.size()));
    if (FInsert) {
        sqlite3_bind_double(FInsert, column + 1, value);
    } else if (!FArrays.empty()) {
        QString& a = FArrays[size_t(column)];
        if (FPending > 0) a += QLatin1Char(',');
        a += QString::number(value, 'g', 17);
    } else {
        FBatch->ParamByName(FColumns[size_t(column)].name).SetAsFloat(value);
    }
    return *this;
}

void TKvADOKeyTable::AddRow() {
    if (FNext != int(FColumns.size())) throw EKvError(QString("A row of %1 lacks values").arg(FName));
    FNext = 0;
    if (FInsert) {
        FConnection->checkThread();
        const int rc = sqlite3_step(FInsert);
        sqlite3_reset(FInsert);
        if (rc != SQLITE_DONE)
            throw EKvError(
                QString("Cannot add a row to %1: %2")
                    .arg(FName, QString::fromUtf8(sqlite3_errmsg(sqliteHandle(FConnection->database())))));
    } else if (!FArrays.empty()) {
        if (++FPending >= 50000) flushArrays();
    } else {
        FBatch->AddRow();
    }
    ++FRows;
}

void TKvADOKeyTable::Finish() {
    if (FBatch) FBatch->Flush();
    flushArrays();
    if (FInsert) {
        sqlite3_finalize(FInsert);
        FInsert = nullptr;
    }
    const SqlDialect dialect = FConnection->dialect();
    if (!FIndex.isEmpty())
        exec(QString(dialect == SqlDialect::SQLite ? "CREATE INDEX temp.%1_K ON %2 (%3)"
                                                   : "CREATE INDEX %1_K ON %2 (%3)")
                 .arg(FBase, FName, FIndex.join(", ")));
    // A temporary table has no statistics until asked for; without them a join with it is planned blind.
    if (dialect == SqlDialect::PostgreSQL) exec("ANALYZE " + FName);
}

void TKvADOKeyTable::flushArrays() {
    if (FPending == 0) return;
    // PostgreSQL takes each column as one array value: a statement for tens of thousands of rows.
    QStringList columns;
    for (const Column& c : FColumns)
        columns << QString(c.text ? "CAST(? AS TEXT[])" : "CAST(? AS FLOAT[])");
    QSqlQuery q(FConnection->database());
    const QString sql = QString("INSERT INTO %1 SELECT * FROM unnest(%2)").arg(FName, columns.join(", "));
    if (!q.prepare(sql)) throw EKvError(QString("%1\n%2").arg(FConnection->scrub(q.lastError()), sql));
    for (size_t i = 0; i < FArrays.size(); ++i) {
        q.addBindValue(QString(QLatin1Char('{') + FArrays[i] + QLatin1Char('}')));
        FArrays[i].clear();
    }
    FPending = 0;
    if (!q.exec()) throw EKvError(QString("%1\n%2").arg(FConnection->scrub(q.lastError()), sql));
}

TKvADORowReader::TKvADORowReader(TKvADOConnection& connection, const kv::ado::TranslatedSql& sql,
                                 const QVariantList& values)
    : FConnection(connection), FSql(sql.text) {
    if (sqlite3* handle = sqliteHandle(connection.database())) {
        const QByteArray text = sql.text.toUtf8();
        if (sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &FStatement, nullptr) != SQLITE_OK)
            fail("prepare", QString::fromUtf8(sqlite3_errmsg(handle)));
        for (qsizetype i = 0; i < values.size(); ++i) {
            const QVariant& v = values[i];
            const int at = int(i) + 1;
            int rc = SQLITE_OK;
            if (v.isNull()) {
                rc = sqlite3_bind_null(FStatement, at);
            } else if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float) {
                rc = sqlite3_bind_double(FStatement, at, v.toDouble());
            } else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong) {
                rc = sqlite3_bind_int64(FStatement, at, v.toLongLong());
            } else {
                const QByteArray bytes = v.toString().toUtf8();
                rc =
                    sqlite3_bind_text(FStatement, at, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
            }
            if (rc != SQLITE_OK) fail("run", QString::fromUtf8(sqlite3_errmsg(handle)));
        }
        return;
    }
    FQuery = std::make_unique<QSqlQuery>(connection.database());
    FQuery->setForwardOnly(true);
    FQuery->setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    if (!FQuery->prepare(sql.text)) fail("prepare", connection.scrub(FQuery->lastError()));
    for (qsizetype i = 0; i < values.size(); ++i)
        FQuery->bindValue(int(i), values[i]);
    if (!FQuery->exec()) fail("run", connection.scrub(FQuery->lastError()));
    FTexts.resize(size_t(FQuery->record().count()));
}

TKvADORowReader::~TKvADORowReader() {
    if (FStatement) sqlite3_finalize(FStatement);
}

void TKvADORowReader::fail(const char* step, const QString& error) const {
    throw EKvError(QString("Cannot %1 the statement on %2: %3\n%4")
                       .arg(QString::fromLatin1(step), FConnection.describe(), error, FSql));
}

bool TKvADORowReader::Next() {
    if (FStatement) {
        const int rc = sqlite3_step(FStatement);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        fail("read the rows of", QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(FStatement))));
    }
    return FConnection.nextRow(*FQuery, FSql);
}

bool TKvADORowReader::IsNull(int column) const {
    if (FStatement) return sqlite3_column_type(FStatement, column) == SQLITE_NULL;
    return FQuery->isNull(column);
}

QStringView TKvADORowReader::Text(int column) {
    if (FStatement) {
        const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(FStatement, column));
        return text ? QStringView(text, sqlite3_column_bytes16(FStatement, column) / 2) : QStringView();
    }
    QString& text = FTexts[size_t(column)];
    text = FQuery->value(column).toString();
    return text;
}

QString TKvADORowReader::String(int column) {
    // Qt SQL's value shares its text: no copy.
    return FStatement ? Text(column).toString() : FQuery->value(column).toString();
}

double TKvADORowReader::Number(int column) const {
    if (!FStatement) return FQuery->value(column).toDouble();
    switch (sqlite3_column_type(FStatement, column)) {
    case SQLITE_NULL:
        return 0;
    case SQLITE_INTEGER:
        return double(sqlite3_column_int64(FStatement, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(FStatement, column);
    default: {
        // A number stored as text reads as the text does.
        const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(FStatement, column));
        return text ? QStringView(text, sqlite3_column_bytes16(FStatement, column) / 2).toDouble() : 0;
    }
    }
}
