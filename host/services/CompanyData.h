#pragma once
// The host's reach into the company database: one connection per service object, opened from the
// launcher's server settings, and the catalogues of the parameterised queries its services answer.
#include <QList>
#include <QStringList>
#include <QVariantList>
#include <memory>

class TKvADOConnection;

namespace tarnix {

class TCompanyData {
public:
    // Opens the database of an OLE DB connection string; raises EKvError when it cannot.
    explicit TCompanyData(const QString& connectString);
    ~TCompanyData();
    // The main database of the launcher's server settings.
    static std::shared_ptr<TCompanyData> fromLauncherSettings();

    // Rows of a query with positional parameters, every value as text; trimmed (fixed-width columns come
    // back padded) unless trim is false, which keeps free texts such as scheme values as stored.
    QList<QStringList> select(const QString& sql, const QVariantList& params = {}, bool trim = true);
    // Runs a statement; the number of rows it changed.
    int exec(const QString& sql, const QVariantList& params = {});
    void begin();
    void commit();
    void rollback();

private:
    std::unique_ptr<TKvADOConnection> FConnection;
};

// A query of the validator service or a lookup window: the SQL with one "?" per key it uses, and for
// lookup windows the column captions.
struct TCatalogueQuery {
    QString Sql;
    QStringList Captions;
};
// The validator's query of (table, query number); nullptr when there is none.
const TCatalogueQuery* validatorQuery(const QString& table, const QString& number);
// The lookup window of (table, window number); nullptr when there is none.
const TCatalogueQuery* lookupWindow(const QString& table, const QString& number);
// Binds the first keys to the query's parameters: a key list shorter than the query needs is an error.
QVariantList bindKeys(const TCatalogueQuery& query, const QStringList& keys);

} // namespace tarnix
