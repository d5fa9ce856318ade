#pragma once
// A provider fills a client data set from a row source (a query) when the set opens. The row
// source is abstract so that the data sets stay free of any database library.
#include <QObject>
#include <QString>
#include <QVariant>
#include <functional>

#include "platform/data/Field.h"

namespace kv {

class TClientDataSet;

// A forward-readable result: opened, read row by row, closed.
class TRowSource {
public:
    virtual ~TRowSource() = default;
    // Runs the query; afterwards the columns are known and the cursor is before the first row.
    virtual void openRows() = 0;
    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    virtual TFieldType columnType(int column) const = 0;
    // Width of a text column, 0 when unknown.
    virtual int columnSize(int column) const = 0;
    // Moves to the next row; false after the last.
    virtual bool nextRow() = 0;
    virtual QVariant columnValue(int column) const = 0;
    virtual void closeRows() = 0;
    // The data set whose records in view these rows are, when they are one's: a set of the same
    // fields then copies them whole instead of row by row.
    virtual const TClientDataSet* rowsOfDataSet() const { return nullptr; }
};

class TDataSetProvider : public QObject {
    Q_OBJECT
public:
    explicit TDataSetProvider(QObject* owner = nullptr) : QObject(owner) {}

    TRowSource* DataSet() const { return FDataSet; }
    void SetDataSet(TRowSource* source) { FDataSet = source; }

    // Runs before every fetch: the place to set the source's SQL and parameters.
    std::function<void(TDataSetProvider& sender)> BeforeGetRecords;
    // Told the rows fetched so far, every thousand rows and at the end, for showing a long fetch.
    std::function<void(int rows)> OnRowsFetched;

    // Opens the source, copies every row into the data set (creating fields for columns the set
    // does not define yet) and closes the source.
    void fetchInto(TClientDataSet& dataSet);

private:
    TRowSource* FDataSet = nullptr;
};

} // namespace kv
