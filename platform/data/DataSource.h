#pragma once
// The object a grid or an edit binds to: it forwards the data set's changes as signals, which a
// Qt model adapter turns into its own notifications.
#include <QObject>

namespace kv {

class TClientDataSet;

class TDataSource : public QObject {
    Q_OBJECT
public:
    explicit TDataSource(QObject* owner = nullptr);
    ~TDataSource() override;

    TClientDataSet* DataSet() const { return FDataSet; }
    void SetDataSet(TClientDataSet* dataSet);
    // Controls put the set into edit state themselves when the user types.
    bool AutoEdit() const { return FAutoEdit; }
    void SetAutoEdit(bool value) { FAutoEdit = value; }

signals:
    // Everything may have changed: opened, closed, filtered, reordered, reloaded.
    void dataSetChanged();
    // The values of the record at 0-based position row changed (a field set, a post, a cancel).
    void recordChanged(int row);
    void rowInserted(int row);
    void rowRemoved(int row);
    // The cursor moved.
    void currentChanged(int row);
    void stateChanged();

private:
    friend class TClientDataSet;
    TClientDataSet* FDataSet = nullptr;
    bool FAutoEdit = true;
};

} // namespace kv
