#include "controls/KvDataLink.h"

#include "platform/data/ClientDataSet.h"
#include "platform/data/DataSource.h"
#include "platform/data/Field.h"

kv::TDataSource* TKvFieldDataLink::DataSource() const {
    return source();
}
kv::TDataSource* TKvFieldDataLink::source() const {
    return static_cast<kv::TDataSource*>(FDataSource.data());
}

void TKvFieldDataLink::SetDataSource(kv::TDataSource* source) {
    if (source == FDataSource) return;
    for (const auto& c : FConnections)
        disconnect(c);
    FConnections.clear();
    FDataSource = source;
    if (source) {
        FConnections
            << connect(source, &kv::TDataSource::dataSetChanged, this, &TKvFieldDataLink::DataChanged)
            << connect(source, &kv::TDataSource::currentChanged, this, &TKvFieldDataLink::DataChanged)
            << connect(source, &kv::TDataSource::stateChanged, this, &TKvFieldDataLink::DataChanged)
            << connect(source, &kv::TDataSource::recordChanged, this, [this](int row) {
                   const kv::TClientDataSet* ds = this->source() ? this->source()->DataSet() : nullptr;
                   if (ds && (ds->RecNo() == row + 1 || ds->RecNo() < 0)) DataChanged();
               });
    }
    DataChanged();
}

void TKvFieldDataLink::SetFieldName(const QString& name) {
    FFieldName = name;
    DataChanged();
}

kv::TField* TKvFieldDataLink::Field() const {
    kv::TClientDataSet* ds = source() ? source()->DataSet() : nullptr;
    if (!ds || !ds->Active() || FFieldName.isEmpty()) return nullptr;
    return ds->FindField(FFieldName);
}

bool TKvFieldDataLink::CanModify() const {
    const kv::TField* field = Field();
    return field && !field->ReadOnly() && !source()->DataSet()->ReadOnly();
}

bool TKvFieldDataLink::Edit() {
    if (!CanModify()) return false;
    kv::TClientDataSet* ds = source()->DataSet();
    if (ds->State() == kv::TDataSetState::dsEdit || ds->State() == kv::TDataSetState::dsInsert) return true;
    if (!source()->AutoEdit() || ds->IsEmpty()) return false;
    ds->Edit();
    return ds->State() == kv::TDataSetState::dsEdit;
}

void TKvFieldDataLink::DataChanged() {
    if (OnDataChange) OnDataChange();
}
