#include "platform/data/Provider.h"

#include <QScopeGuard>
#include <vector>

#include "platform/KvError.h"
#include "platform/data/ClientDataSet.h"

namespace kv {

namespace {

// Closes the source however the copy ends.
struct RowsGuard {
    TRowSource* source;
    ~RowsGuard() { source->closeRows(); }
};

} // namespace

void TDataSetProvider::fetchInto(TClientDataSet& dataSet) {
    if (!FDataSet) throw EKvError(QString("%1: Missing data provider or data packet").arg(objectName()));
    if (BeforeGetRecords) BeforeGetRecords(*this);
    FDataSet->openRows();
    RowsGuard guard{FDataSet};
    const int columns = FDataSet->columnCount();
    dataSet.beginLoad();
    std::vector<int> fieldOfColumn(static_cast<size_t>(columns), -1);
    for (int c = 0; c < columns; ++c) {
        const QString name = FDataSet->columnName(c);
        TField* field = dataSet.FindField(name);
        if (!field) {
            field = &dataSet.AddField(name, FDataSet->columnType(c), FDataSet->columnSize(c));
            field->FDynamic = true;
        }
        fieldOfColumn[static_cast<size_t>(c)] = field->FColumn;
    }
    if (const TClientDataSet* from = FDataSet->rowsOfDataSet(); from && dataSet.loadCopyOf(*from, fieldOfColumn)) {
        dataSet.endLoad();
        if (OnRowsFetched) OnRowsFetched(dataSet.RecordCount());
        return;
    }
    std::vector<QVariant> row(static_cast<size_t>(columns));
    // A read that fails leaves the set closed, not holding part of the rows.
    auto closeOnFailure = qScopeGuard([&dataSet] {
        dataSet.endLoad();
        dataSet.Close();
    });
    int rows = 0;
    while (FDataSet->nextRow()) {
        for (int c = 0; c < columns; ++c)
            row[static_cast<size_t>(c)] = FDataSet->columnValue(c);
        dataSet.loadRow(row.data(), fieldOfColumn.data(), columns);
        if (++rows % 1000 == 0 && OnRowsFetched) OnRowsFetched(rows);
    }
    if (OnRowsFetched) OnRowsFetched(rows);
    closeOnFailure.dismiss();
    dataSet.endLoad();
}

} // namespace kv
