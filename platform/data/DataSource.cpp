#include "platform/data/DataSource.h"

#include <algorithm>

#include "platform/data/ClientDataSet.h"

namespace kv {

TDataSource::TDataSource(QObject* owner) : QObject(owner) {}

TDataSource::~TDataSource() {
    SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TClientDataSet* dataSet) {
    if (FDataSet == dataSet) return;
    if (FDataSet) {
        auto& list = FDataSet->FDataSources;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    FDataSet = dataSet;
    if (FDataSet) FDataSet->FDataSources.push_back(this);
    emit dataSetChanged();
}

} // namespace kv
