#pragma once
// In-memory client data set: fields, records, a cursor, edit states, filters by field values,
// an ordering index and keyed look-ups.
//
// Values are stored by column: numbers as doubles, texts as ids into one pool of distinct texts
// per data set, so 300,000 day rows cost a few bytes per cell and equal texts compare as ids.
// Keyed look-ups (Locate, FindKey, filters) go through hash indexes built on first use for a set
// of fields and kept current by every post, append and delete: the workbench calls them inside
// loops over every day of every line. Texts compare ignoring trailing blanks, as fixed-width
// database columns do.
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <functional>
#include <memory>
#include <vector>

#include "platform/KvError.h"
#include "platform/data/Field.h"

namespace kv {

class TDataSource;
class TDataSetProvider;

// Raised to end an operation silently (a refused field value, a cancelled new record); user
// interface code catches it without showing a message.
class EAbort : public EKvError {
public:
    EAbort() : EKvError("Operation aborted") {}
};
[[noreturn]] void Abort();

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

enum TLocateOption { loCaseInsensitive = 1, loPartialKey = 2 };

using TDataSetNotifyEvent = std::function<void(class TClientDataSet& dataSet)>;

class TClientDataSet : public QObject {
    Q_OBJECT
public:
    explicit TClientDataSet(QObject* owner = nullptr);
    ~TClientDataSet() override;

    // ---- fields
    // Defines a field; before opening (persistent fields) or while open (then every record gets null).
    TField& AddField(const QString& name, TFieldType type, int size = 0);
    int FieldCount() const { return static_cast<int>(FFields.size()); }
    TField& Fields(int index) const { return *FFields.at(static_cast<size_t>(index)); }
    TField* FindField(const QString& name) const;
    // Raises EKvError "Field 'X' not found" for an unknown name.
    TField& FieldByName(const QString& name) const;
    // Removes every field (only while closed).
    void ClearFields();

    // ---- opening
    TDataSetProvider* Provider() const { return FProvider; }
    void SetProvider(TDataSetProvider* provider) { FProvider = provider; }
    // Fetches through the provider; without one, creates an empty set of the defined fields.
    void Open();
    void CreateDataSet();
    void Close();
    bool Active() const { return FState != TDataSetState::dsInactive; }
    void SetActive(bool value) { value ? Open() : Close(); }
    // Removes every record, keeping the set open.
    void EmptyDataSet();

    // ---- cursor
    TDataSetState State() const { return FState; }
    void First();
    void Last();
    void Next();
    void Prior();
    // Moves by distance records within bounds; returns the distance actually moved.
    int MoveBy(int distance);
    bool Eof() const { return FEof; }
    bool Bof() const { return FBof; }
    bool IsEmpty() const;
    int RecordCount() const { return static_cast<int>(FView.size()); }
    // 1-based position in the current order; -1 while inserting or when empty.
    int RecNo() const;
    void SetRecNo(int recNo);

    // ---- editing
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value);
    void Edit();
    void Append();
    // New records always go to the end of the natural order (as Append).
    void Insert() { Append(); }
    void Post();
    void Cancel();
    void Delete();
    // Posts a pending edit (before moving, locating, filtering).
    void CheckBrowseMode();

    // ---- filters: equality on field values; texts ignore trailing blanks
    void SetFilter(const QString& fieldNames, const QVariantList& values);
    void ClearFilter();
    bool Filtered() const { return FFiltered; }
    void SetFiltered(bool value);

    // ---- order: fields separated by ';', ascending, stable; empty = natural (load) order
    QString IndexFieldNames() const { return FIndexFieldNames; }
    void SetIndexFieldNames(const QString& fieldNames);

    // Named orders: AddIndex("TF002Index", "TF002"), then SetIndexName("TF002Index"); "" = natural.
    void AddIndex(const QString& name, const QString& fieldNames);
    void DeleteIndex(const QString& name);
    QString IndexName() const { return FIndexName; }
    void SetIndexName(const QString& name);

    // A record to come back to: valid until the set closes; the record may since be filtered out.
    int Bookmark() const;
    bool BookmarkValid(int bookmark) const;
    // Moves to the bookmarked record; false when it is deleted or not in the current view.
    bool GotoBookmark(int bookmark);

    // ---- keyed look-ups
    // Moves to the first record (in the current order and filter) whose fields equal the values.
    bool Locate(const QString& keyFields, const QVariantList& keyValues, int options = 0);
    bool Locate(const QString& keyField, const QVariant& keyValue, int options = 0);
    // Look-up on the first fields of IndexFieldNames.
    bool FindKey(const QVariantList& keyValues);
    // Value of resultField of the first matching record, without moving; null when none.
    QVariant Lookup(const QString& keyFields, const QVariantList& keyValues, const QString& resultField);
    // Positions (0-based, ascending, in the current order and filter) of every matching record,
    // without moving.
    std::vector<int> LocateAll(const QString& keyFields, const QVariantList& keyValues);
    // Deletes every matching record, as Locate and Delete until nothing matches would, and returns
    // how many went. Without delete or scroll handlers the view closes its gaps in one pass.
    int DeleteMatching(const QString& keyFields, const QVariantList& keyValues);

    // Changes whenever a value, a record or the records in view change: work done on the set can
    // be known to still hold.
    quint64 Generation() const { return FGeneration; }

    // ---- controls
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return FDisableCount > 0; }

    // Events: raising from a Before event cancels the operation.
    TDataSetNotifyEvent AfterOpen, BeforeClose;
    TDataSetNotifyEvent BeforeScroll, AfterScroll;
    TDataSetNotifyEvent BeforeInsert, OnNewRecord, AfterInsert;
    TDataSetNotifyEvent BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete;

    // ---- raw access for adapters and providers
    // Value of a field in the record at 0-based position row of the current order.
    QVariant valueAt(int row, int fieldIndex) const;
    // Texts of many cells compared or keyed without copying them: the id in the set's text pool of a
    // text field's value at row, without trailing blanks (-1 when null), and the text of an id. Ids
    // stay valid until the set closes.
    int32_t textIdAt(int row, int fieldIndex) const;
    const QString& pooledText(int32_t id) const { return FTexts[static_cast<size_t>(id)]; }
    // Loading from a provider: appends records without events; call beginLoad/endLoad around it.
    void beginLoad();
    void loadRow(const QVariant* values, const int* fieldOfColumn, int columnCount);
    // Rows whose texts repeat a few values go in faster by pool id: PoolTextId once per text, then
    // for each column c texts[c] (a pool id, -1 null) when its field holds texts, otherwise
    // numbers[c] (NaN null).
    int32_t PoolTextId(const QString& text) { return internText(text); }
    void loadRowIds(const int32_t* texts, const double* numbers, const int* fieldOfColumn, int columnCount);
    void endLoad();
    // Loading another set's records whole, when they are all in its view in their own order and the
    // sets' fields match column for column; false (nothing loaded) otherwise.
    bool loadCopyOf(const TClientDataSet& source, const std::vector<int>& fieldOfColumn);
    // Room for this many records before a load or many appends, so that a large set does not
    // grow by copying itself.
    void ReserveRecords(int count);

private:
    friend class TField;
    friend class TDataSource;

    struct Cell {
        double num = 0;
        int32_t text = -1; // id in the text pool; -1 = null for texts
        bool null = true;
    };
    // The cells of one field, in the cheapest of three forms. A column whose records all hold the
    // same value keeps it once until another value comes: computed rows repeat a kind, an empty
    // remark or a null flag in every row. Texts that repeat over runs of records (the line a row of
    // a line's days belongs to) keep one entry per run while runs stay long; numbers keep their
    // nulls only once there is one.
    struct Column {
        enum class Form : uint8_t { Uniform, Runs, Plain };
        bool text = false;
        Form form = Form::Uniform;
        Cell value;                    // of every record while uniform
        std::vector<double> nums;      // numbers and date-times
        std::vector<uint8_t> nulls;    // empty while no number is null
        std::vector<int32_t> texts;    // texts: pool ids, -1 = null
        std::vector<int32_t> runStart; // runs: first record of each run, ascending from 0
        std::vector<int32_t> runText;  // runs: pool id of each run (-1 = null)

        // Hint: a run to try first, for reads that go through the records in order.
        Cell at(size_t record, size_t* runHint = nullptr) const;
        // Sets the cell of a record of count records.
        void set(size_t record, const Cell& cell, size_t count);
        // Appends a record to count records.
        void push(const Cell& cell, size_t count);
        void clear();
        // Room for this many records, and no more room than a quarter beyond them.
        void reserve(size_t records);
        void trim();

    private:
        // The cell as stored: a null without a value, a text without a number.
        Cell normal(const Cell& cell) const;
        bool same(const Cell& a, const Cell& b) const;
        void spread(size_t count);
        void toPlain(size_t count);
        size_t runOf(size_t record) const;
        size_t FReserve = 0;
    };
    struct LastText {
        int32_t id = -1;
    };
    struct HashIndex;
    // A resolved list of key fields with its hash index and the texts it last looked up.
    struct LookupPlan {
        std::vector<int> columns;
        HashIndex* index = nullptr;
        std::vector<QString> lastText;
        std::vector<int32_t> lastId;
    };

    // text pool
    int32_t internText(const QString& text);
    // Id of the text without trailing blanks; -2 when the pool does not hold it.
    int32_t findCanonical(const QString& text) const;
    int32_t canonical(int32_t id) const { return id < 0 ? -1 : FCanon[static_cast<size_t>(id)]; }
    bool isTextColumn(int column) const;

    // cells
    Cell storedCell(int record, int column) const;
    void storeCell(int record, int column, const Cell& cell);
    const Cell& currentCell(int column) const;
    Cell cellFromVariant(const TField& field, const QVariant& value);
    QVariant variantFromCell(const TField& field, const Cell& cell) const;
    bool cellEquals(int record, int column, const Cell& key) const;
    void setFieldCell(TField& field, const Cell& cell);

    // records and views
    int currentRecord() const;
    void rebuildView();
    void sortView();
    int compareRecords(int a, int b) const;
    bool passesFilter(int record) const;
    int viewPosition(int record);
    void insertIntoView(int record);
    void removeFromView(int pos);
    void scrollTo(int pos, bool bof, bool eof);
    // Appends a record holding the cells, one per column.
    void appendRecord(const Cell* cells);
    void checkActive() const;
    void checkCanModify() const;
    void resetStorage();

    // hash indexes
    HashIndex& hashIndexFor(const std::vector<int>& columns);
    LookupPlan& planFor(const QString& names);
    const std::vector<int>& resolveFields(const QString& names) { return planFor(names).columns; }
    void clearPlans();
    bool keyFromValues(const std::vector<int>& columns, const QVariantList& values, std::vector<Cell>& key,
                       LookupPlan* plan = nullptr);
    void encodeKey(const HashIndex& index, const std::vector<Cell>& key, uint32_t* out) const;
    void encodeRecord(const HashIndex& index, int record, uint32_t* out, size_t* runHints = nullptr) const;
    // Puts the record's key (or its hash) into its row; returns the key's hash.
    uint64_t storeKey(HashIndex& index, int record, size_t* runHints) const;
    bool rowHasKey(const HashIndex& index, int record, const uint32_t* words, uint64_t hash) const;
    void linkRecord(HashIndex& index, int record);
    void unlinkRecord(HashIndex& index, int record);
    void rehash(HashIndex& index, size_t buckets);
    int findRecord(LookupPlan& plan, const QVariantList& values, int options);
    // Positions of every record with the key, ascending.
    void findAllRecords(LookupPlan& plan, const QVariantList& values, std::vector<int>& positions);
    void indexInsert(int record);
    void indexRemove(int record);
    void dropIndexes();

    // notifications
    void notifyDataSetChanged();
    void notifyRecordChanged(int row);
    void notifyRowInserted(int row);
    void notifyRowRemoved(int row);
    void notifyCurrentChanged();
    void notifyStateChanged();

    std::vector<std::unique_ptr<TField>> FFields; // in display order
    std::vector<TField*> FColumnFields;           // by storage column
    std::vector<uint8_t> FColumnIsText;
    TDataSetProvider* FProvider = nullptr;
    TDataSetState FState = TDataSetState::dsInactive;
    bool FReadOnly = false;

    // storage
    std::vector<Column> FColumns;
    int FRecordCount = 0; // physical records, deleted ones included
    std::vector<uint8_t> FDeleted;
    std::vector<QString> FTexts;
    std::vector<int32_t> FCanon;
    QHash<QString, int32_t> FTextIds;
    std::vector<LastText> FLastText;
    std::vector<Cell> FLoadRow; // the record a loader is putting together

    // current order
    std::vector<int32_t> FView;    // physical record of each position
    std::vector<int32_t> FViewPos; // position of each physical record, -1 when not in view
    int FViewPosValidUpTo = 0;     // FViewPos is exact for positions below this
    bool FViewIsIdentity = false;  // FView[i] == i for every record
    int FCursor = -1;
    bool FEof = true;
    bool FBof = true;

    // edit buffer
    std::vector<Cell> FBuffer;
    int FEditRecord = -1;
    int FInsertReturnPos = -1;

    // filter and order
    bool FFiltered = false;
    bool FFilterImpossible = false;
    QString FPendingFilterNames;
    QVariantList FPendingFilterValues;
    std::vector<int> FFilterFields;
    std::vector<Cell> FFilterKey;
    QString FIndexFieldNames;
    std::vector<int> FIndexFields;
    QString FIndexName;
    QHash<QString, QString> FIndexDefs;

    std::vector<std::unique_ptr<HashIndex>> FHashIndexes;
    std::vector<std::unique_ptr<LookupPlan>> FPlans;
    QHash<QString, LookupPlan*> FPlanByNames;
    QString FLastPlanNames;
    LookupPlan* FLastPlan = nullptr;

    std::vector<TDataSource*> FDataSources;
    int FDisableCount = 0;
    bool FChangedWhileDisabled = false;
    bool FLoading = false;
    quint64 FGeneration = 0;
};

} // namespace kv
