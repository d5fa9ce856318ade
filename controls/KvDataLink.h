#pragma once
// The link of a data-aware control to one field of a data source: it tells the control when the
// value to show may have changed and puts the data set into edit state when the user types.
#include <QObject>
#include <QPointer>
#include <functional>

namespace kv {
class TDataSource;
class TField;
} // namespace kv

class TKvFieldDataLink : public QObject {
    Q_OBJECT
public:
    explicit TKvFieldDataLink(QObject* owner = nullptr) : QObject(owner) {}

    kv::TDataSource* DataSource() const;
    void SetDataSource(kv::TDataSource* source);
    QString FieldName() const { return FFieldName; }
    void SetFieldName(const QString& name);
    // The field of the open data set; null when there is none of that name.
    kv::TField* Field() const;
    // Edit or insert state, entered on demand when the source allows it; false when it cannot be edited.
    bool Edit();
    bool CanModify() const;

    // Called whenever the shown value may have changed.
    std::function<void()> OnDataChange;

private:
    void DataChanged();
    QPointer<QObject> FDataSource; // a kv::TDataSource
    kv::TDataSource* source() const;
    QString FFieldName;
    QList<QMetaObject::Connection> FConnections;
};
