#include "platform/data/ClientDataSet.h"

#include <QDateTime>
#include <QScopeGuard>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>

#include "platform/data/DataSource.h"
#include "platform/data/Provider.h"

namespace kv {

void Abort() {
    throw EAbort();
}

namespace {

QString rtrimBlanks(const QString& text) {
    qsizetype n = text.size();
    while (n > 0 && text[n - 1] == u' ')
        --n;
    return n == text.size() ? text : text.left(n);
}

inline uint64_t mixHash(uint64_t h, uint64_t v) {
    v *= 0x9E3779B97F4A7C15ULL;
    v ^= v >> 29;
    h ^= v + 0x9E3779B97F4A7C15ULL + (h << 6) + (h >> 2);
    return h;
}

inline uint64_t finalHash(uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    return h;
}

} // namespace

namespace {

// A zeroed buffer; large ones are aligned for huge pages, which spares the look-ups most TLB misses.
template <typename T> class PageBuffer {
public:
    PageBuffer() = default;
    ~PageBuffer() { std::free(FData); }
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;
    void allocate(size_t count, int fill) {
        std::free(FData);
        FData = nullptr;
        const size_t bytes = std::max<size_t>(count, 1) * sizeof(T);
        const size_t align = bytes >= (size_t{4} << 20) ? (size_t{2} << 20) : 64;
        void* p = nullptr;
        if (posix_memalign(&p, align, (bytes + align - 1) / align * align) != 0) throw std::bad_alloc();
        if (align > 64) madvise(p, bytes, MADV_HUGEPAGE);
        std::memset(p, fill, bytes);
        FData = static_cast<T*>(p);
        FCount = count;
    }
    T* data() const { return FData; }
    size_t size() const { return FCount; }
    T& operator[](size_t i) const { return FData[i]; }

private:
    T* FData = nullptr;
    size_t FCount = 0;
};

} // namespace

// A multimap from a key of several fields to records: bucket heads plus, per record, a row holding
// its chain link and its key encoded in 32-bit words (a text: its canonical pool id; a number: the
// two halves of its bits). Checking a candidate reads one row, one cache line. A key of more words
// keeps only its hash in the row and a candidate's fields are read: millions of rows of a long key
// would otherwise hold their key twice.
struct TClientDataSet::HashIndex {
    std::vector<int> columns;
    std::vector<bool> textColumn;
    size_t keyWords = 0;
    size_t stride = 0;
    bool compact = false; // the row holds the key's hash, not the key
    size_t capacity = 0;  // records the rows have room for
    size_t count = 0;
    uint64_t mask = 0;
    PageBuffer<int32_t> heads;
    PageBuffer<uint32_t> rows;

    uint32_t* row(size_t r) const { return rows.data() + r * stride; }
    int32_t next(size_t r) const { return static_cast<int32_t>(row(r)[0]); }
    void setNext(size_t r, int32_t value) { row(r)[0] = static_cast<uint32_t>(value); }
    uint32_t* key(size_t r) const { return row(r) + 1; }
    // Words of the key (or of its hash) a row holds.
    size_t rowWords() const { return compact ? 1 : keyWords; }
};

namespace {

constexpr uint64_t kNullNumber = 0x7FF8DEADBEEF0000ULL;

inline uint64_t numberBits(bool null, double value) {
    if (null) return kNullNumber;
    return std::bit_cast<uint64_t>(value == 0 ? 0.0 : value); // -0 and 0 are one key
}

inline uint64_t hashWords(const uint32_t* words, size_t n) {
    uint64_t h = 0x12345;
    for (size_t i = 0; i < n; ++i)
        h = mixHash(h, words[i]);
    return finalHash(h);
}

} // namespace

// ---- construction and fields ------------------------------------------------------------------

TClientDataSet::TClientDataSet(QObject* owner) : QObject(owner) {}

TClientDataSet::~TClientDataSet() {
    for (TDataSource* source : FDataSources)
        source->FDataSet = nullptr;
}

TField& TClientDataSet::AddField(const QString& name, TFieldType type, int size) {
    if (FindField(name)) throw EKvError(QString("Duplicate field name '%1'").arg(name));
    const int column = static_cast<int>(FColumns.size());
    FFields.push_back(std::make_unique<TField>(this, column, name, type, size));
    // Every record there is gets null.
    Column col;
    col.text = type == TFieldType::ftString || type == TFieldType::ftMemo;
    FColumns.push_back(std::move(col));
    FColumnFields.push_back(FFields.back().get());
    FColumnIsText.push_back(FFields.back()->isText() ? 1 : 0);
    FLastText.resize(FColumns.size());
    FBuffer.resize(FColumns.size());
    clearPlans();
    notifyDataSetChanged();
    return *FFields.back();
}

TField* TClientDataSet::FindField(const QString& name) const {
    for (const auto& f : FFields)
        if (f->FFieldName.compare(name, Qt::CaseInsensitive) == 0) return f.get();
    return nullptr;
}

TField& TClientDataSet::FieldByName(const QString& name) const {
    if (TField* f = FindField(name)) return *f;
    throw EKvError(QString("%1: Field '%2' not found").arg(objectName(), name));
}

void TClientDataSet::ClearFields() {
    if (Active()) throw EKvError("Cannot clear the fields of an open dataset");
    FFields.clear();
    FColumnFields.clear();
    FColumnIsText.clear();
    FLastText.clear();
    FColumns.clear();
    FBuffer.clear();
    clearPlans();
    FFilterFields.clear();
    FFilterKey.clear();
    FFiltered = false;
    FIndexFields.clear();
    FIndexFieldNames.clear();
    dropIndexes();
}

// ---- text pool --------------------------------------------------------------------------------

int32_t TClientDataSet::internText(const QString& text) {
    auto it = FTextIds.constFind(text);
    if (it != FTextIds.constEnd()) return it.value();
    const int32_t id = static_cast<int32_t>(FTexts.size());
    FTexts.push_back(text);
    FTextIds.insert(text, id);
    FCanon.push_back(id);
    if (!text.isEmpty() && text.back() == u' ') {
        const int32_t canon = internText(rtrimBlanks(text));
        FCanon[static_cast<size_t>(id)] = canon;
    }
    return id;
}

int32_t TClientDataSet::findCanonical(const QString& text) const {
    auto it = FTextIds.constFind(rtrimBlanks(text));
    return it == FTextIds.constEnd() ? -2 : FCanon[static_cast<size_t>(it.value())];
}

// ---- cells ------------------------------------------------------------------------------------

namespace {

// Runs shorter than this on average cost more than a text id per record.
constexpr size_t kShortestRuns = 4;

} // namespace

size_t TClientDataSet::Column::runOf(size_t record) const {
    const auto it = std::upper_bound(runStart.begin(), runStart.end(), static_cast<int32_t>(record));
    return static_cast<size_t>(it - runStart.begin()) - 1;
}

TClientDataSet::Cell TClientDataSet::Column::at(size_t record, size_t* runHint) const {
    Cell c;
    switch (form) {
    case Form::Uniform:
        return value;
    case Form::Runs: {
        size_t k;
        const auto r = static_cast<int32_t>(record);
        if (runHint && *runHint < runStart.size() && runStart[*runHint] <= r &&
            (*runHint + 1 == runStart.size() || runStart[*runHint + 1] > r))
            k = *runHint;
        else if (runHint && *runHint + 1 < runStart.size() && runStart[*runHint + 1] <= r &&
                 (*runHint + 2 == runStart.size() || runStart[*runHint + 2] > r))
            k = *runHint + 1;
        else
            k = runOf(record);
        if (runHint) *runHint = k;
        c.text = runText[k];
        c.null = c.text < 0;
        return c;
    }
    case Form::Plain:
        break;
    }
    if (text) {
        c.text = texts[record];
        c.null = c.text < 0;
    } else {
        c.num = nums[record];
        c.null = !nulls.empty() && nulls[record] != 0;
    }
    return c;
}

TClientDataSet::Cell TClientDataSet::Column::normal(const Cell& cell) const {
    Cell c = cell;
    if (text) {
        c.null = c.null || c.text < 0;
        c.num = 0;
        if (c.null) c.text = -1;
    } else {
        c.text = -1;
        if (c.null) c.num = 0;
    }
    return c;
}

bool TClientDataSet::Column::same(const Cell& a, const Cell& b) const {
    if (a.null || b.null) return a.null == b.null;
    return text ? a.text == b.text : std::memcmp(&a.num, &b.num, sizeof a.num) == 0;
}

void TClientDataSet::Column::spread(size_t count) {
    if (text) {
        // Texts start as one run of the value so far.
        form = Form::Runs;
        runStart.assign(1, 0);
        runText.assign(1, value.null ? -1 : value.text);
        return;
    }
    form = Form::Plain;
    nums.reserve(std::max(FReserve, count + 1));
    nums.assign(count, value.null ? 0.0 : value.num);
    if (value.null) nulls.assign(count, 1);
}

void TClientDataSet::Column::toPlain(size_t count) {
    std::vector<int32_t> plain;
    plain.reserve(std::max(FReserve, count + 1));
    for (size_t k = 0; k < runStart.size(); ++k) {
        const size_t end = k + 1 < runStart.size() ? static_cast<size_t>(runStart[k + 1]) : count;
        plain.insert(plain.end(), end - static_cast<size_t>(runStart[k]), runText[k]);
    }
    texts.swap(plain);
    std::vector<int32_t>().swap(runStart);
    std::vector<int32_t>().swap(runText);
    form = Form::Plain;
}

void TClientDataSet::Column::set(size_t record, const Cell& given, size_t count) {
    const Cell cell = normal(given);
    if (form == Form::Uniform) {
        if (same(value, cell)) return;
        if (count <= 1) {
            value = cell;
            return;
        }
        spread(count);
    }
    if (form == Form::Runs) {
        const size_t k = runOf(record);
        if (runText[k] == cell.text) return;
        const size_t end = k + 1 < runStart.size() ? static_cast<size_t>(runStart[k + 1]) : count;
        const auto first = static_cast<size_t>(runStart[k]);
        // The record becomes a run of its own between what is left of its run.
        std::vector<int32_t> starts, ids;
        if (first < record) {
            starts.push_back(static_cast<int32_t>(first));
            ids.push_back(runText[k]);
        }
        starts.push_back(static_cast<int32_t>(record));
        ids.push_back(cell.text);
        if (record + 1 < end) {
            starts.push_back(static_cast<int32_t>(record + 1));
            ids.push_back(runText[k]);
        }
        runStart.erase(runStart.begin() + static_cast<std::ptrdiff_t>(k));
        runText.erase(runText.begin() + static_cast<std::ptrdiff_t>(k));
        runStart.insert(runStart.begin() + static_cast<std::ptrdiff_t>(k), starts.begin(), starts.end());
        runText.insert(runText.begin() + static_cast<std::ptrdiff_t>(k), ids.begin(), ids.end());
        if (runStart.size() * kShortestRuns > count) toPlain(count);
        return;
    }
    if (text) {
        texts[record] = cell.text;
    } else {
        nums[record] = cell.num;
        if (cell.null && nulls.empty()) nulls.assign(nums.size(), 0);
        if (!nulls.empty()) nulls[record] = cell.null ? 1 : 0;
    }
}

void TClientDataSet::Column::push(const Cell& given, size_t count) {
    const Cell cell = normal(given);
    if (form == Form::Uniform) {
        if (count == 0) value = cell;
        if (count == 0 || same(value, cell)) return;
        spread(count);
    }
    if (form == Form::Runs) {
        if (runText.back() == cell.text) return;
        // Once runs are short a plain id per record is cheaper; a few runs always stay runs.
        if (runStart.size() >= 256 && runStart.size() * kShortestRuns > count) {
            toPlain(count);
        } else {
            runStart.push_back(static_cast<int32_t>(count));
            runText.push_back(cell.text);
            return;
        }
    }
    if (text) {
        texts.push_back(cell.text);
    } else {
        nums.push_back(cell.num);
        if (cell.null && nulls.empty()) {
            nulls.reserve(nums.capacity());
            nulls.assign(nums.size() - 1, 0);
        }
        if (!nulls.empty()) nulls.push_back(cell.null ? 1 : 0);
    }
}

void TClientDataSet::Column::clear() {
    form = Form::Uniform;
    value = Cell{};
    FReserve = 0;
    // The memory of a large set goes with it.
    std::vector<double>().swap(nums);
    std::vector<uint8_t>().swap(nulls);
    std::vector<int32_t>().swap(texts);
    std::vector<int32_t>().swap(runStart);
    std::vector<int32_t>().swap(runText);
}

void TClientDataSet::Column::reserve(size_t records) {
    FReserve = records;
    if (form == Form::Plain) {
        if (text)
            texts.reserve(records);
        else
            nums.reserve(records);
        if (!nulls.empty()) nulls.reserve(records);
    }
}

void TClientDataSet::Column::trim() {
    auto fit = [](auto& v) {
        if (v.capacity() > v.size() + v.size() / 4 + 64) v.shrink_to_fit();
    };
    fit(nums);
    fit(nulls);
    fit(texts);
    fit(runStart);
    fit(runText);
}

TClientDataSet::Cell TClientDataSet::storedCell(int record, int column) const {
    return FColumns[static_cast<size_t>(column)].at(static_cast<size_t>(record));
}

void TClientDataSet::storeCell(int record, int column, const Cell& cell) {
    ++FGeneration;
    FColumns[static_cast<size_t>(column)].set(static_cast<size_t>(record), cell,
                                              static_cast<size_t>(FRecordCount));
}

const TClientDataSet::Cell& TClientDataSet::currentCell(int column) const {
    static const Cell nullCell;
    if (FState == TDataSetState::dsEdit || FState == TDataSetState::dsInsert)
        return FBuffer[static_cast<size_t>(column)];
    const int record = currentRecord();
    if (record < 0) return nullCell;
    thread_local Cell scratch;
    scratch = storedCell(record, column);
    return scratch;
}

TClientDataSet::Cell TClientDataSet::cellFromVariant(const TField& field, const QVariant& value) {
    Cell c;
    if (!value.isValid() || value.isNull()) return c;
    c.null = false;
    switch (field.DataType()) {
    case TFieldType::ftString:
    case TFieldType::ftMemo: {
        QString text;
        if (value.typeId() == QMetaType::Double)
            text = floatToStr(value.toDouble());
        else
            text = value.toString();
        c.text = internText(text);
        return c;
    }
    case TFieldType::ftDateTime:
        if (value.typeId() == QMetaType::QDateTime) {
            c.num = fromQDateTime(value.toDateTime());
            return c;
        }
        if (value.typeId() == QMetaType::QDate) {
            c.num = fromQDate(value.toDate());
            return c;
        }
        if (value.typeId() == QMetaType::QString) {
            const QString t = value.toString().trimmed();
            for (const char* fmt : {"yyyy/MM/dd HH:mm:ss", "yyyy/MM/dd", "yyyy-MM-dd HH:mm:ss",
                                    "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd", "yyyyMMdd"}) {
                const QDateTime dt = QDateTime::fromString(t, fmt);
                if (dt.isValid()) {
                    c.num = fromQDateTime(dt);
                    return c;
                }
            }
            throw EKvError(QString("'%1' is not a valid date").arg(t));
        }
        [[fallthrough]];
    default: {
        if (value.typeId() == QMetaType::QString) {
            double v = 0;
            if (!tryStrToFloat(value.toString(), v))
                throw EKvError(QString("'%1' is not a valid floating point value").arg(value.toString()));
            c.num = v;
        } else {
            bool ok = false;
            c.num = value.toDouble(&ok);
            if (!ok)
                throw EKvError(QString("'%1' is not a valid floating point value").arg(value.toString()));
        }
        if (field.DataType() == TFieldType::ftInteger) c.num = static_cast<double>(std::llround(c.num));
        return c;
    }
    }
}

QVariant TClientDataSet::variantFromCell(const TField& field, const Cell& cell) const {
    if (cell.null) return {};
    switch (field.DataType()) {
    case TFieldType::ftString:
    case TFieldType::ftMemo:
        return FTexts[static_cast<size_t>(cell.text)];
    case TFieldType::ftInteger:
        return static_cast<int>(cell.num);
    case TFieldType::ftDateTime:
        return toQDateTime(cell.num);
    default:
        return cell.num;
    }
}

bool TClientDataSet::cellEquals(int record, int column, const Cell& key) const {
    const Cell c = storedCell(record, column);
    if (isTextColumn(column)) return canonical(c.null ? -1 : c.text) == key.text;
    if (c.null || key.null) return c.null == key.null;
    return c.num == key.num;
}

void TClientDataSet::setFieldCell(TField& field, const Cell& cell) {
    if (FState != TDataSetState::dsEdit && FState != TDataSetState::dsInsert)
        throw EKvError(QString("%1: Dataset not in edit or insert mode").arg(objectName()));
    if (field.ReadOnly()) throw EKvError(QString("Field '%1' cannot be modified").arg(field.DisplayLabel()));
    Cell& slot = FBuffer[static_cast<size_t>(field.FColumn)];
    const Cell old = slot;
    slot = cell;
    if (field.OnValidate) {
        // A refused value leaves the field as it was.
        auto restore =
            qScopeGuard([this, &field, old] { FBuffer[static_cast<size_t>(field.FColumn)] = old; });
        field.OnValidate(field);
        restore.dismiss();
    }
    if (field.OnChange) field.OnChange(field);
    notifyRecordChanged(FState == TDataSetState::dsInsert ? RecordCount() : FCursor);
}

// ---- opening and closing ----------------------------------------------------------------------

void TClientDataSet::checkActive() const {
    if (!Active())
        throw EKvError(QString("%1: Cannot perform this operation on a closed dataset").arg(objectName()));
}

void TClientDataSet::Open() {
    if (Active()) return;
    if (FProvider)
        FProvider->fetchInto(*this);
    else {
        beginLoad();
        endLoad();
    }
    if (AfterOpen) AfterOpen(*this);
    if (!IsEmpty() && AfterScroll) AfterScroll(*this);
}

void TClientDataSet::CreateDataSet() {
    if (Active()) Close();
    FProvider = nullptr;
    Open();
}

void TClientDataSet::Close() {
    if (!Active()) return;
    if (BeforeClose) BeforeClose(*this);
    FState = TDataSetState::dsInactive;
    resetStorage();
    std::vector<QString>().swap(FTexts);
    std::vector<int32_t>().swap(FCanon);
    FTextIds = QHash<QString, int32_t>();
    // Filter values were pool ids of the closed data: keep only the definition.
    FFilterKey.clear();
    FFiltered = false;
    notifyStateChanged();
    notifyDataSetChanged();
}

void TClientDataSet::EmptyDataSet() {
    checkActive();
    if (FState != TDataSetState::dsBrowse) Cancel();
    resetStorage();
    notifyDataSetChanged();
}

void TClientDataSet::resetStorage() {
    ++FGeneration;
    FRecordCount = 0;
    for (Column& c : FColumns)
        c.clear();
    // A closed or emptied set of millions of records gives their memory back, not only its values'.
    std::vector<uint8_t>().swap(FDeleted);
    std::vector<int32_t>().swap(FView);
    std::vector<int32_t>().swap(FViewPos);
    FViewPosValidUpTo = 0;
    FViewIsIdentity = false;
    FCursor = -1;
    FEof = FBof = true;
    FEditRecord = -1;
    std::fill(FLastText.begin(), FLastText.end(), LastText{});
    dropIndexes();
}

void TClientDataSet::beginLoad() {
    if (Active()) Close();
    FLoading = true;
    resetStorage();
    FBuffer.assign(FColumns.size(), Cell{});
}

void TClientDataSet::appendRecord(const Cell* cells) {
    ++FGeneration;
    for (size_t i = 0; i < FColumns.size(); ++i)
        FColumns[i].push(cells[i], static_cast<size_t>(FRecordCount));
    FDeleted.push_back(0);
    FViewPos.push_back(-1);
    ++FRecordCount;
}

void TClientDataSet::loadRowIds(const int32_t* texts, const double* numbers, const int* fieldOfColumn,
                                int columnCount) {
    FLoadRow.assign(FColumns.size(), Cell{});
    for (int c = 0; c < columnCount; ++c) {
        const int column = fieldOfColumn[c];
        if (column < 0) continue;
        Cell& cell = FLoadRow[static_cast<size_t>(column)];
        if (isTextColumn(column)) {
            cell.text = texts[c];
            cell.null = texts[c] < 0;
        } else if (!std::isnan(numbers[c])) {
            cell.num = numbers[c];
            cell.null = false;
        }
    }
    appendRecord(FLoadRow.data());
}

void TClientDataSet::loadRow(const QVariant* values, const int* fieldOfColumn, int columnCount) {
    FLoadRow.assign(FColumns.size(), Cell{});
    for (int c = 0; c < columnCount; ++c) {
        const int column = fieldOfColumn[c];
        if (column < 0) continue;
        const QVariant& v = values[c];
        if (v.isNull()) continue;
        const TField& field = *FColumnFields[static_cast<size_t>(column)];
        Cell& cell = FLoadRow[static_cast<size_t>(column)];
        cell.null = false;
        switch (field.DataType()) {
        case TFieldType::ftString:
        case TFieldType::ftMemo: {
            if (v.typeId() == QMetaType::QString) {
                // Consecutive rows repeat codes (factory, document type): skip the pool look-up then.
                const QString* text = static_cast<const QString*>(v.constData());
                LastText& last = FLastText[static_cast<size_t>(column)];
                if (last.id < 0 || *text != FTexts[static_cast<size_t>(last.id)]) last.id = internText(*text);
                cell.text = last.id;
            } else {
                cell.text = cellFromVariant(field, v).text;
            }
            cell.null = cell.text < 0;
            break;
        }
        default:
            switch (v.typeId()) {
            case QMetaType::Double:
                cell.num = *static_cast<const double*>(v.constData());
                break;
            case QMetaType::Int:
                cell.num = *static_cast<const int*>(v.constData());
                break;
            case QMetaType::LongLong:
                cell.num = static_cast<double>(*static_cast<const qlonglong*>(v.constData()));
                break;
            default:
                cell.num = cellFromVariant(field, v).num;
            }
        }
    }
    appendRecord(FLoadRow.data());
}

bool TClientDataSet::loadCopyOf(const TClientDataSet& source, const std::vector<int>& fieldOfColumn) {
    if (&source == this || !FLoading || FRecordCount != 0 || source.FState != TDataSetState::dsBrowse ||
        !source.FViewIsIdentity || source.FColumns.size() != FColumns.size() ||
        fieldOfColumn.size() != FColumns.size())
        return false;
    for (size_t c = 0; c < FColumns.size(); ++c)
        if (fieldOfColumn[c] != static_cast<int>(c) || FColumns[c].text != source.FColumns[c].text)
            return false;
    // The texts are shared with the source until either side changes them.
    FTexts = source.FTexts;
    FCanon = source.FCanon;
    FTextIds = source.FTextIds;
    FColumns = source.FColumns;
    FRecordCount = source.FRecordCount;
    FDeleted.assign(static_cast<size_t>(FRecordCount), 0);
    FViewPos.assign(static_cast<size_t>(FRecordCount), -1);
    ++FGeneration;
    return true;
}

void TClientDataSet::ReserveRecords(int count) {
    const auto n = static_cast<size_t>(std::max(count, 0));
    for (Column& c : FColumns)
        c.reserve(n);
    FDeleted.reserve(n);
    FViewPos.reserve(n);
}

void TClientDataSet::endLoad() {
    FLoading = false;
    // A large load keeps no room it grew into beyond what later appends may use.
    for (Column& c : FColumns)
        c.trim();
    if (FDeleted.capacity() > FDeleted.size() + FDeleted.size() / 4 + 64) {
        FDeleted.shrink_to_fit();
        FViewPos.shrink_to_fit();
    }
    FState = TDataSetState::dsBrowse;
    clearPlans();
    // A filter set while closed is re-applied with values from the new data.
    if (!FPendingFilterNames.isEmpty()) {
        FFilterFields = resolveFields(FPendingFilterNames);
        FFilterImpossible = !keyFromValues(FFilterFields, FPendingFilterValues, FFilterKey);
        FFiltered = true;
    }
    if (!FIndexFieldNames.isEmpty()) FIndexFields = resolveFields(FIndexFieldNames);
    rebuildView();
    FCursor = FView.empty() ? -1 : 0;
    FBof = true;
    FEof = FView.empty();
    notifyStateChanged();
    notifyDataSetChanged();
}

// ---- views ------------------------------------------------------------------------------------

bool TClientDataSet::passesFilter(int record) const {
    if (!FFiltered) return true;
    if (FFilterImpossible) return false;
    for (size_t i = 0; i < FFilterFields.size(); ++i)
        if (!cellEquals(record, FFilterFields[i], FFilterKey[i])) return false;
    return true;
}

int TClientDataSet::compareRecords(int a, int b) const {
    for (int column : FIndexFields) {
        const Cell ca = storedCell(a, column), cb = storedCell(b, column);
        if (ca.null || cb.null) {
            if (ca.null != cb.null) return ca.null ? -1 : 1;
            continue;
        }
        if (isTextColumn(column)) {
            const int32_t ia = canonical(ca.text), ib = canonical(cb.text);
            if (ia == ib) continue;
            const int r = QString::compare(FTexts[static_cast<size_t>(ia)], FTexts[static_cast<size_t>(ib)]);
            if (r != 0) return r < 0 ? -1 : 1;
        } else if (ca.num != cb.num) {
            return ca.num < cb.num ? -1 : 1;
        }
    }
    return 0;
}

void TClientDataSet::sortView() {
    if (FIndexFields.empty()) return;
    std::stable_sort(FView.begin(), FView.end(),
                     [this](int32_t a, int32_t b) { return compareRecords(a, b) < 0; });
}

void TClientDataSet::rebuildView() {
    ++FGeneration;
    for (int32_t r : FView)
        FViewPos[static_cast<size_t>(r)] = -1;
    FView.clear();
    if (FFiltered && !FFilterImpossible && !FFilterFields.empty() && FRecordCount > 64) {
        // Records of one key come from the hash chain; the natural order is the record order.
        HashIndex& index = hashIndexFor(FFilterFields);
        std::vector<uint32_t> key(index.keyWords);
        encodeKey(index, FFilterKey, key.data());
        const uint64_t h = hashWords(key.data(), index.keyWords);
        for (int32_t r = index.heads[h & index.mask]; r >= 0; r = index.next(static_cast<size_t>(r)))
            if (passesFilter(r)) FView.push_back(r);
        std::sort(FView.begin(), FView.end());
    } else if (!FFiltered || !FFilterImpossible) {
        FView.reserve(static_cast<size_t>(FRecordCount));
        for (int r = 0; r < FRecordCount; ++r)
            if (!FDeleted[static_cast<size_t>(r)] && passesFilter(r)) FView.push_back(r);
    }
    sortView();
    // Without filter, order or deletions a record's position is its number: look-ups skip FViewPos.
    FViewIsIdentity = !FFiltered && FIndexFields.empty() && static_cast<int>(FView.size()) == FRecordCount;
    for (size_t i = 0; i < FView.size(); ++i)
        FViewPos[static_cast<size_t>(FView[i])] = static_cast<int32_t>(i);
    FViewPosValidUpTo = static_cast<int>(FView.size());
}

int TClientDataSet::viewPosition(int record) {
    const int p = FViewPos[static_cast<size_t>(record)];
    if (p < 0 || p < FViewPosValidUpTo) return p;
    for (size_t i = static_cast<size_t>(FViewPosValidUpTo); i < FView.size(); ++i)
        FViewPos[static_cast<size_t>(FView[i])] = static_cast<int32_t>(i);
    FViewPosValidUpTo = static_cast<int>(FView.size());
    return FViewPos[static_cast<size_t>(record)];
}

int TClientDataSet::currentRecord() const {
    if (FCursor < 0 || FCursor >= static_cast<int>(FView.size())) return -1;
    return FView[static_cast<size_t>(FCursor)];
}

void TClientDataSet::insertIntoView(int record) {
    ++FGeneration;
    // A filter on a text no record held matches nothing until a new record brings that text.
    if (FFiltered && FFilterImpossible)
        FFilterImpossible = !keyFromValues(FFilterFields, FPendingFilterValues, FFilterKey);
    if (!passesFilter(record)) return;
    size_t pos = FView.size();
    if (!FIndexFields.empty())
        pos = static_cast<size_t>(
            std::upper_bound(FView.begin(), FView.end(), record,
                             [this](int32_t a, int32_t b) { return compareRecords(a, b) < 0; }) -
            FView.begin());
    FView.insert(FView.begin() + static_cast<std::ptrdiff_t>(pos), record);
    FViewIsIdentity = FViewIsIdentity && static_cast<int>(pos) == record;
    FViewPos[static_cast<size_t>(record)] = static_cast<int32_t>(pos);
    FViewPosValidUpTo = std::min(FViewPosValidUpTo, static_cast<int>(pos));
    if (pos + 1 == FView.size() && FViewPosValidUpTo == static_cast<int>(pos))
        FViewPosValidUpTo = static_cast<int>(FView.size());
    notifyRowInserted(static_cast<int>(pos));
}

void TClientDataSet::removeFromView(int pos) {
    ++FGeneration;
    const int32_t record = FView[static_cast<size_t>(pos)];
    FView.erase(FView.begin() + pos);
    FViewIsIdentity = false;
    FViewPos[static_cast<size_t>(record)] = -1;
    FViewPosValidUpTo = std::min(FViewPosValidUpTo, pos);
    notifyRowRemoved(pos);
}

// ---- cursor -----------------------------------------------------------------------------------

bool TClientDataSet::IsEmpty() const {
    return FView.empty() && FState != TDataSetState::dsInsert;
}

int TClientDataSet::RecNo() const {
    if (FState == TDataSetState::dsInsert || FCursor < 0) return -1;
    return FCursor + 1;
}

void TClientDataSet::scrollTo(int pos, bool bof, bool eof) {
    if (BeforeScroll) BeforeScroll(*this);
    FCursor = pos;
    FBof = bof;
    FEof = eof;
    notifyCurrentChanged();
    if (AfterScroll) AfterScroll(*this);
}

void TClientDataSet::First() {
    checkActive();
    CheckBrowseMode();
    scrollTo(FView.empty() ? -1 : 0, true, FView.empty());
}

void TClientDataSet::Last() {
    checkActive();
    CheckBrowseMode();
    scrollTo(static_cast<int>(FView.size()) - 1, FView.empty(), true);
}

void TClientDataSet::Next() {
    MoveBy(1);
}
void TClientDataSet::Prior() {
    MoveBy(-1);
}

int TClientDataSet::MoveBy(int distance) {
    checkActive();
    CheckBrowseMode();
    if ((distance > 0 && FEof) || (distance < 0 && FBof) || distance == 0 || FView.empty()) return 0;
    const int last = static_cast<int>(FView.size()) - 1;
    const int target = std::clamp(FCursor + distance, 0, last);
    const int moved = target - FCursor;
    const bool eof = distance > 0 && moved < distance;
    const bool bof = distance < 0 && moved > distance;
    scrollTo(target, bof, eof);
    return moved;
}

void TClientDataSet::SetRecNo(int recNo) {
    checkActive();
    CheckBrowseMode();
    if (recNo < 1 || recNo > static_cast<int>(FView.size())) return;
    scrollTo(recNo - 1, false, false);
}

// ---- editing ----------------------------------------------------------------------------------

void TClientDataSet::SetReadOnly(bool value) {
    if (value && (FState == TDataSetState::dsEdit || FState == TDataSetState::dsInsert)) Post();
    FReadOnly = value;
    notifyStateChanged();
}

void TClientDataSet::checkCanModify() const {
    checkActive();
    if (FReadOnly) throw EKvError(QString("%1: Cannot modify a read-only dataset").arg(objectName()));
}

void TClientDataSet::Edit() {
    if (FState == TDataSetState::dsEdit || FState == TDataSetState::dsInsert) return;
    checkCanModify();
    if (FView.empty()) {
        Append();
        return;
    }
    if (BeforeEdit) BeforeEdit(*this);
    const int record = currentRecord();
    for (size_t c = 0; c < FColumns.size(); ++c)
        FBuffer[c] = storedCell(record, static_cast<int>(c));
    FEditRecord = record;
    FState = TDataSetState::dsEdit;
    notifyStateChanged();
    if (AfterEdit) AfterEdit(*this);
}

void TClientDataSet::Append() {
    checkCanModify();
    CheckBrowseMode();
    if (BeforeInsert) BeforeInsert(*this);
    if (BeforeScroll) BeforeScroll(*this);
    FInsertReturnPos = FCursor;
    FBuffer.assign(FColumns.size(), Cell{});
    FEditRecord = -1;
    FState = TDataSetState::dsInsert;
    FEof = true;
    notifyStateChanged();
    if (OnNewRecord) {
        // A refused new record leaves the set browsing where it was.
        auto browse = qScopeGuard([this] {
            FState = TDataSetState::dsBrowse;
            FCursor = FInsertReturnPos;
            FEof = FView.empty();
            notifyStateChanged();
        });
        OnNewRecord(*this);
        browse.dismiss();
    }
    if (AfterInsert) AfterInsert(*this);
    if (AfterScroll) AfterScroll(*this);
}

void TClientDataSet::CheckBrowseMode() {
    if (FState == TDataSetState::dsEdit || FState == TDataSetState::dsInsert) Post();
}

void TClientDataSet::Post() {
    if (FState != TDataSetState::dsEdit && FState != TDataSetState::dsInsert) return;
    if (BeforePost) BeforePost(*this);
    if (FState == TDataSetState::dsInsert) {
        const int record = FRecordCount;
        appendRecord(FBuffer.data());
        indexInsert(record);
        FState = TDataSetState::dsBrowse;
        insertIntoView(record);
        const int pos = FViewPos[static_cast<size_t>(record)] >= 0 ? viewPosition(record) : -1;
        FCursor = pos >= 0 ? pos : std::min(FInsertReturnPos, static_cast<int>(FView.size()) - 1);
        FEof = FBof = false;
        if (FView.empty()) FEof = FBof = true;
    } else {
        const int record = FEditRecord;
        std::vector<int> changed;
        for (size_t c = 0; c < FColumns.size(); ++c) {
            const Cell old = storedCell(record, static_cast<int>(c));
            const Cell& now = FBuffer[c];
            const bool same = old.null || now.null ? old.null == now.null
                                                   : (isTextColumn(static_cast<int>(c)) ? old.text == now.text
                                                                                        : old.num == now.num);
            if (!same) changed.push_back(static_cast<int>(c));
        }
        FState = TDataSetState::dsBrowse;
        if (!changed.empty()) {
            std::vector<HashIndex*> touched;
            for (auto& index : FHashIndexes)
                for (int c : changed)
                    if (std::find(index->columns.begin(), index->columns.end(), c) != index->columns.end()) {
                        touched.push_back(index.get());
                        break;
                    }
            for (HashIndex* index : touched)
                unlinkRecord(*index, record);
            for (int c : changed)
                storeCell(record, c, FBuffer[static_cast<size_t>(c)]);
            for (HashIndex* index : touched)
                linkRecord(*index, record);
            // A record that leaves the filter or moves in the order changes its place.
            bool reorder = false;
            for (int c : changed)
                if (std::find(FIndexFields.begin(), FIndexFields.end(), c) != FIndexFields.end())
                    reorder = true;
            if (FFiltered && !passesFilter(record)) {
                removeFromView(FCursor);
                FCursor = std::min(FCursor, static_cast<int>(FView.size()) - 1);
                FEof = FView.empty();
            } else if (reorder) {
                removeFromView(FCursor);
                insertIntoView(record);
                FCursor = viewPosition(record);
            } else {
                notifyRecordChanged(FCursor);
            }
        }
    }
    FEditRecord = -1;
    notifyStateChanged();
    notifyCurrentChanged();
    if (AfterPost) AfterPost(*this);
}

void TClientDataSet::Cancel() {
    if (FState != TDataSetState::dsEdit && FState != TDataSetState::dsInsert) return;
    const bool inserting = FState == TDataSetState::dsInsert;
    FState = TDataSetState::dsBrowse;
    FEditRecord = -1;
    if (inserting) {
        FCursor = std::min(FInsertReturnPos, static_cast<int>(FView.size()) - 1);
        FEof = FView.empty();
    } else {
        notifyRecordChanged(FCursor);
    }
    notifyStateChanged();
    if (AfterCancel) AfterCancel(*this);
}

void TClientDataSet::Delete() {
    checkActive();
    if (FState == TDataSetState::dsInsert) {
        Cancel();
        return;
    }
    checkCanModify();
    if (FView.empty())
        throw EKvError(QString("%1: Cannot perform this operation on an empty dataset").arg(objectName()));
    if (FState == TDataSetState::dsEdit) Cancel();
    if (BeforeDelete) BeforeDelete(*this);
    if (BeforeScroll) BeforeScroll(*this);
    const int record = currentRecord();
    indexRemove(record);
    FDeleted[static_cast<size_t>(record)] = 1;
    ++FGeneration;
    removeFromView(FCursor);
    if (FCursor >= static_cast<int>(FView.size())) FCursor = static_cast<int>(FView.size()) - 1;
    FEof = FView.empty();
    FBof = FView.empty();
    notifyCurrentChanged();
    if (AfterDelete) AfterDelete(*this);
    if (AfterScroll) AfterScroll(*this);
}

// ---- filter and order -------------------------------------------------------------------------

void TClientDataSet::SetFilter(const QString& fieldNames, const QVariantList& values) {
    CheckBrowseMode();
    FPendingFilterNames = fieldNames;
    FPendingFilterValues = values;
    if (!Active()) return;
    FFilterFields = resolveFields(fieldNames);
    if (FFilterFields.size() != static_cast<size_t>(values.size()))
        throw EKvError(QString("%1: filter needs one value per field").arg(objectName()));
    FFilterImpossible = !keyFromValues(FFilterFields, values, FFilterKey);
    FFiltered = true;
    rebuildView();
    notifyDataSetChanged();
    First();
}

void TClientDataSet::ClearFilter() {
    SetFiltered(false);
}

void TClientDataSet::SetFiltered(bool value) {
    if (value) {
        if (!FPendingFilterNames.isEmpty()) SetFilter(FPendingFilterNames, FPendingFilterValues);
        return;
    }
    CheckBrowseMode();
    FPendingFilterNames.clear();
    FPendingFilterValues.clear();
    if (!FFiltered) return;
    FFiltered = false;
    FFilterImpossible = false;
    const int record = currentRecord();
    rebuildView();
    notifyDataSetChanged();
    if (Active()) {
        FCursor = record >= 0 ? viewPosition(record) : (FView.empty() ? -1 : 0);
        FBof = FEof = FView.empty();
        notifyCurrentChanged();
    }
}

void TClientDataSet::SetIndexFieldNames(const QString& fieldNames) {
    CheckBrowseMode();
    FIndexName.clear();
    FIndexFieldNames = fieldNames.trimmed();
    if (!Active()) return;
    FIndexFields = FIndexFieldNames.isEmpty() ? std::vector<int>{} : resolveFields(FIndexFieldNames);
    const int record = currentRecord();
    rebuildView();
    notifyDataSetChanged();
    FCursor = record >= 0 ? viewPosition(record) : (FView.empty() ? -1 : 0);
    notifyCurrentChanged();
}

void TClientDataSet::AddIndex(const QString& name, const QString& fieldNames) {
    resolveFields(fieldNames); // unknown fields raise here, not when the index is used
    FIndexDefs.insert(name.toUpper(), fieldNames);
}

void TClientDataSet::DeleteIndex(const QString& name) {
    if (FIndexName.compare(name, Qt::CaseInsensitive) == 0) SetIndexName(QString());
    FIndexDefs.remove(name.toUpper());
}

void TClientDataSet::SetIndexName(const QString& name) {
    if (!name.isEmpty() && !FIndexDefs.contains(name.toUpper()))
        throw EKvError(QString("%1: Index '%2' not found").arg(objectName(), name));
    SetIndexFieldNames(name.isEmpty() ? QString() : FIndexDefs.value(name.toUpper()));
    FIndexName = name;
}

int TClientDataSet::Bookmark() const {
    if (FState == TDataSetState::dsInsert) return -1;
    return currentRecord();
}

bool TClientDataSet::BookmarkValid(int bookmark) const {
    return bookmark >= 0 && bookmark < FRecordCount && !FDeleted[static_cast<size_t>(bookmark)];
}

bool TClientDataSet::GotoBookmark(int bookmark) {
    checkActive();
    CheckBrowseMode();
    if (!BookmarkValid(bookmark)) return false;
    const int pos = viewPosition(bookmark);
    if (pos < 0) return false;
    scrollTo(pos, false, false);
    return true;
}

// ---- keyed look-ups ---------------------------------------------------------------------------

TClientDataSet::LookupPlan& TClientDataSet::planFor(const QString& names) {
    // Loops call with the same field list again and again: compare with the last one first.
    if (FLastPlan && names == FLastPlanNames) return *FLastPlan;
    auto it = FPlanByNames.constFind(names);
    if (it == FPlanByNames.constEnd()) {
        auto plan = std::make_unique<LookupPlan>();
        for (const QString& part : names.split(';', Qt::SkipEmptyParts)) {
            const QString name = part.trimmed();
            if (!name.isEmpty()) plan->columns.push_back(FieldByName(name).FColumn);
        }
        plan->lastText.resize(plan->columns.size());
        plan->lastId.assign(plan->columns.size(), -2);
        it = FPlanByNames.insert(names, plan.get());
        FPlans.push_back(std::move(plan));
    }
    FLastPlanNames = names;
    FLastPlan = it.value();
    return *FLastPlan;
}

void TClientDataSet::clearPlans() {
    FPlanByNames.clear();
    FPlans.clear();
    FLastPlan = nullptr;
    FLastPlanNames.clear();
}

bool TClientDataSet::isTextColumn(int column) const {
    return FColumnIsText[static_cast<size_t>(column)] != 0;
}

// Builds the canonical key; false when no record can match (a text the set does not hold).
bool TClientDataSet::keyFromValues(const std::vector<int>& columns, const QVariantList& values,
                                   std::vector<Cell>& key, LookupPlan* plan) {
    key.assign(columns.size(), Cell{});
    for (size_t i = 0; i < columns.size(); ++i) {
        const QVariant& v = values.at(static_cast<qsizetype>(i));
        Cell& k = key[i];
        if (v.isNull() || !v.isValid()) {
            k.null = true;
            k.text = -1;
            continue;
        }
        k.null = false;
        if (isTextColumn(columns[i])) {
            // Keys in loops are mostly texts: read them in place, and reuse the last id of this key part.
            QString converted;
            const QString* textPtr = &converted;
            if (v.typeId() == QMetaType::QString)
                textPtr = static_cast<const QString*>(v.constData());
            else
                converted = v.typeId() == QMetaType::Double ? floatToStr(v.toDouble()) : v.toString();
            const QString& text = *textPtr;
            if (plan && plan->lastId[i] != -2) {
                const QString& last = plan->lastText[i];
                if (last.size() == text.size() && (last.constData() == text.constData() || last == text)) {
                    k.text = plan->lastId[i];
                    continue;
                }
            }
            k.text = findCanonical(text);
            if (k.text == -2) return false;
            if (plan) {
                plan->lastText[i] = text;
                plan->lastId[i] = k.text;
            }
        } else {
            try {
                k.num = cellFromVariant(*FColumnFields[static_cast<size_t>(columns[i])], v).num;
            } catch (const EKvError&) {
                return false;
            }
        }
    }
    return true;
}

void TClientDataSet::encodeKey(const HashIndex& index, const std::vector<Cell>& key, uint32_t* out) const {
    for (size_t i = 0; i < index.columns.size(); ++i) {
        if (index.textColumn[i]) {
            *out++ = static_cast<uint32_t>(key[i].text);
        } else {
            const uint64_t bits = numberBits(key[i].null, key[i].num);
            *out++ = static_cast<uint32_t>(bits);
            *out++ = static_cast<uint32_t>(bits >> 32);
        }
    }
}

void TClientDataSet::encodeRecord(const HashIndex& index, int record, uint32_t* out, size_t* runHints) const {
    const auto r = static_cast<size_t>(record);
    for (size_t i = 0; i < index.columns.size(); ++i) {
        const Cell c =
            FColumns[static_cast<size_t>(index.columns[i])].at(r, runHints ? runHints + i : nullptr);
        if (index.textColumn[i]) {
            *out++ = static_cast<uint32_t>(canonical(c.null ? -1 : c.text));
        } else {
            const uint64_t bits = numberBits(c.null, c.num);
            *out++ = static_cast<uint32_t>(bits);
            *out++ = static_cast<uint32_t>(bits >> 32);
        }
    }
}

void TClientDataSet::linkRecord(HashIndex& index, int record) {
    const auto r = static_cast<size_t>(record);
    if (index.count + 1 > index.heads.size() || r >= index.capacity) {
        // The rebuild takes in every live record, this one too.
        rehash(index, std::max(index.heads.size(), index.count * 2));
        return;
    }
    const uint64_t b = storeKey(index, record, nullptr) & index.mask;
    index.setNext(r, index.heads[b]);
    index.heads[b] = record;
    ++index.count;
}

uint64_t TClientDataSet::storeKey(HashIndex& index, int record, size_t* runHints) const {
    const auto r = static_cast<size_t>(record);
    if (!index.compact) {
        uint32_t* key = index.key(r);
        encodeRecord(index, record, key, runHints);
        return hashWords(key, index.keyWords);
    }
    thread_local std::vector<uint32_t> words;
    words.resize(index.keyWords);
    encodeRecord(index, record, words.data(), runHints);
    const uint64_t h = hashWords(words.data(), index.keyWords);
    index.key(r)[0] = static_cast<uint32_t>(h);
    return h;
}

bool TClientDataSet::rowHasKey(const HashIndex& index, int record, const uint32_t* words,
                               uint64_t hash) const {
    const uint32_t* stored = index.key(static_cast<size_t>(record));
    if (!index.compact) return std::equal(words, words + index.keyWords, stored);
    if (stored[0] != static_cast<uint32_t>(hash)) return false;
    thread_local std::vector<uint32_t> own;
    own.resize(index.keyWords);
    encodeRecord(index, record, own.data());
    return std::equal(words, words + index.keyWords, own.data());
}

void TClientDataSet::unlinkRecord(HashIndex& index, int record) {
    // The stored key is the one the record was linked with, whatever its fields hold now.
    const auto r = static_cast<size_t>(record);
    const uint64_t b =
        (index.compact ? uint64_t{index.key(r)[0]} : hashWords(index.key(r), index.keyWords)) & index.mask;
    int32_t* head = &index.heads[b];
    if (*head == record) {
        *head = index.next(r);
    } else {
        int32_t at = *head;
        while (at >= 0 && index.next(static_cast<size_t>(at)) != record)
            at = index.next(static_cast<size_t>(at));
        if (at < 0) return;
        index.setNext(static_cast<size_t>(at), index.next(r));
    }
    index.setNext(r, -2);
    --index.count;
}

void TClientDataSet::rehash(HashIndex& index, size_t buckets) {
    // A compact index holds records of a key together anyway: half the heads do.
    const size_t spread = index.compact ? 1 : 2;
    buckets =
        std::max<size_t>(16, std::bit_ceil(std::max(buckets, static_cast<size_t>(FRecordCount) * spread)));
    // Chains are found by the low 32 bits of the hash a compact row keeps.
    buckets = std::min<size_t>(buckets, size_t{1} << 31);
    index.heads.allocate(buckets, 0xFF); // every head -1
    index.mask = buckets - 1;
    index.stride = index.rowWords() + 1;
    // Room for a quarter more records, so appends rebuild rarely.
    index.capacity = std::max<size_t>(64, static_cast<size_t>(FRecordCount) * 5 / 4);
    index.rows.allocate(index.capacity * index.stride, 0);
    index.count = 0;
    // Records in order: each field's run is mostly the one of the record before.
    std::vector<size_t> hints(index.columns.size(), 0);
    for (int r = 0; r < FRecordCount; ++r) {
        const auto rr = static_cast<size_t>(r);
        if (FDeleted[rr]) {
            index.setNext(rr, -2);
            continue;
        }
        const uint64_t b = storeKey(index, r, hints.data()) & index.mask;
        index.setNext(rr, index.heads[b]);
        index.heads[b] = r;
        ++index.count;
    }
}

TClientDataSet::HashIndex& TClientDataSet::hashIndexFor(const std::vector<int>& columns) {
    for (auto& index : FHashIndexes)
        if (index->columns == columns) return *index;
    auto index = std::make_unique<HashIndex>();
    index->columns = columns;
    for (int c : columns) {
        index->textColumn.push_back(isTextColumn(c));
        index->keyWords += isTextColumn(c) ? 1 : 2;
    }
    index->compact = index->keyWords > 2;
    rehash(*index, 0);
    FHashIndexes.push_back(std::move(index));
    return *FHashIndexes.back();
}

void TClientDataSet::indexInsert(int record) {
    for (auto& index : FHashIndexes)
        linkRecord(*index, record);
}

void TClientDataSet::indexRemove(int record) {
    for (auto& index : FHashIndexes)
        unlinkRecord(*index, record);
}

void TClientDataSet::dropIndexes() {
    FHashIndexes.clear();
}

int TClientDataSet::findRecord(LookupPlan& plan, const QVariantList& values, int options) {
    const std::vector<int>& columns = plan.columns;
    if (columns.size() != static_cast<size_t>(values.size()))
        throw EKvError(QString("%1: look-up needs one value per field").arg(objectName()));
    if (options != 0) {
        // Partial or case-blind look-ups are rare: compare texts one record at a time.
        for (size_t pos = 0; pos < FView.size(); ++pos) {
            const int record = FView[pos];
            bool all = true;
            for (size_t i = 0; i < columns.size() && all; ++i) {
                const Cell cell = storedCell(record, columns[i]);
                const QVariant& v = values.at(static_cast<qsizetype>(i));
                if (isTextColumn(columns[i])) {
                    const QString have =
                        cell.null ? QString() : rtrimBlanks(FTexts[static_cast<size_t>(cell.text)]);
                    const QString want = rtrimBlanks(v.toString());
                    const auto cs = (options & loCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
                    all = (options & loPartialKey) ? have.startsWith(want, cs) : have.compare(want, cs) == 0;
                } else {
                    std::vector<Cell> key;
                    all = keyFromValues({columns[i]}, {v}, key) && cellEquals(record, columns[i], key[0]);
                }
            }
            if (all) return static_cast<int>(pos);
        }
        return -1;
    }
    thread_local std::vector<Cell> key;
    if (!keyFromValues(columns, values, key, &plan)) return -1;
    if (!plan.index) plan.index = &hashIndexFor(columns);
    HashIndex& index = *plan.index;
    thread_local std::vector<uint32_t> words;
    words.resize(index.keyWords);
    encodeKey(index, key, words.data());
    const uint64_t h = hashWords(words.data(), index.keyWords);
    int best = -1;
    for (int32_t r = index.heads[h & index.mask]; r >= 0;) {
        const uint32_t* row = index.row(static_cast<size_t>(r));
        if (rowHasKey(index, r, words.data(), h)) {
            const int pos = FViewIsIdentity ? r : viewPosition(r);
            if (pos >= 0 && (best < 0 || pos < best)) best = pos;
        }
        r = static_cast<int32_t>(row[0]);
    }
    return best;
}

void TClientDataSet::findAllRecords(LookupPlan& plan, const QVariantList& values,
                                    std::vector<int>& positions) {
    positions.clear();
    const std::vector<int>& columns = plan.columns;
    if (columns.size() != static_cast<size_t>(values.size()))
        throw EKvError(QString("%1: look-up needs one value per field").arg(objectName()));
    thread_local std::vector<Cell> key;
    if (!keyFromValues(columns, values, key, &plan)) return;
    if (!plan.index) plan.index = &hashIndexFor(columns);
    HashIndex& index = *plan.index;
    thread_local std::vector<uint32_t> words;
    words.resize(index.keyWords);
    encodeKey(index, key, words.data());
    const uint64_t h = hashWords(words.data(), index.keyWords);
    for (int32_t r = index.heads[h & index.mask]; r >= 0;) {
        const uint32_t* row = index.row(static_cast<size_t>(r));
        if (rowHasKey(index, r, words.data(), h)) {
            const int pos = FViewIsIdentity ? r : viewPosition(r);
            if (pos >= 0) positions.push_back(pos);
        }
        r = static_cast<int32_t>(row[0]);
    }
    std::sort(positions.begin(), positions.end());
}

std::vector<int> TClientDataSet::LocateAll(const QString& keyFields, const QVariantList& keyValues) {
    checkActive();
    CheckBrowseMode();
    std::vector<int> positions;
    findAllRecords(planFor(keyFields), keyValues, positions);
    return positions;
}

int TClientDataSet::DeleteMatching(const QString& keyFields, const QVariantList& keyValues) {
    checkActive();
    CheckBrowseMode();
    if (BeforeDelete || AfterDelete || BeforeScroll || AfterScroll) {
        // Handlers see every record as the current one, as a user deleting them one by one would.
        int deleted = 0;
        while (Locate(keyFields, keyValues)) {
            Delete();
            ++deleted;
        }
        return deleted;
    }
    std::vector<int> positions;
    findAllRecords(planFor(keyFields), keyValues, positions);
    if (positions.empty()) return 0;
    checkCanModify();
    for (int pos : positions) {
        const int record = FView[static_cast<size_t>(pos)];
        indexRemove(record);
        FDeleted[static_cast<size_t>(record)] = 1;
        ++FGeneration;
        ++FGeneration;
        FViewPos[static_cast<size_t>(record)] = -1;
    }
    // One pass closes the gaps and renumbers what moved.
    const size_t first = static_cast<size_t>(positions.front());
    size_t to = first;
    for (size_t from = first; from < FView.size(); ++from) {
        const int32_t record = FView[from];
        if (FDeleted[static_cast<size_t>(record)]) continue;
        FView[to] = record;
        FViewPos[static_cast<size_t>(record)] = static_cast<int32_t>(to);
        ++to;
    }
    FView.resize(to);
    FViewIsIdentity = false;
    // Every position from the first gap on is exact now; before it, as exact as it was.
    if (FViewPosValidUpTo >= static_cast<int>(first)) FViewPosValidUpTo = static_cast<int>(FView.size());
    // Deleting the first match again and again ends on the place of the last one.
    const int count = static_cast<int>(positions.size());
    FCursor = std::min(positions.back() - (count - 1), static_cast<int>(FView.size()) - 1);
    FEof = FView.empty();
    FBof = FView.empty();
    for (int i = 0; i < count; ++i)
        notifyRowRemoved(positions[static_cast<size_t>(i)] - i);
    notifyCurrentChanged();
    return count;
}

bool TClientDataSet::Locate(const QString& keyFields, const QVariantList& keyValues, int options) {
    checkActive();
    CheckBrowseMode();
    const int pos = findRecord(planFor(keyFields), keyValues, options);
    if (pos < 0) return false;
    scrollTo(pos, false, false);
    return true;
}

bool TClientDataSet::Locate(const QString& keyField, const QVariant& keyValue, int options) {
    return Locate(keyField, QVariantList{keyValue}, options);
}

bool TClientDataSet::FindKey(const QVariantList& keyValues) {
    checkActive();
    CheckBrowseMode();
    if (FIndexFields.empty() || keyValues.size() > static_cast<qsizetype>(FIndexFields.size()))
        throw EKvError(QString("%1: FindKey needs an index on as many fields as values").arg(objectName()));
    const QStringList names = FIndexFieldNames.split(';', Qt::SkipEmptyParts).mid(0, keyValues.size());
    const int pos = findRecord(planFor(names.join(';')), keyValues, 0);
    if (pos < 0) return false;
    scrollTo(pos, false, false);
    return true;
}

QVariant TClientDataSet::Lookup(const QString& keyFields, const QVariantList& keyValues,
                                const QString& resultField) {
    checkActive();
    const int pos = findRecord(planFor(keyFields), keyValues, 0);
    if (pos < 0) return {};
    const TField& field = FieldByName(resultField);
    return variantFromCell(field, storedCell(FView[static_cast<size_t>(pos)], field.FColumn));
}

QVariant TClientDataSet::valueAt(int row, int fieldIndex) const {
    const TField& field = Fields(fieldIndex);
    if ((FState == TDataSetState::dsEdit && row == FCursor) ||
        (FState == TDataSetState::dsInsert && row == static_cast<int>(FView.size())))
        return variantFromCell(field, FBuffer[static_cast<size_t>(field.FColumn)]);
    if (row < 0 || row >= static_cast<int>(FView.size())) return {};
    return variantFromCell(field, storedCell(FView[static_cast<size_t>(row)], field.FColumn));
}

int32_t TClientDataSet::textIdAt(int row, int fieldIndex) const {
    const TField& field = Fields(fieldIndex);
    if (!isTextColumn(field.FColumn))
        throw EKvError(QString("Field %1 holds no text").arg(field.FieldName()));
    if ((FState == TDataSetState::dsEdit && row == FCursor) ||
        (FState == TDataSetState::dsInsert && row == static_cast<int>(FView.size())))
        return canonical(FBuffer[static_cast<size_t>(field.FColumn)].text);
    if (row < 0 || row >= static_cast<int>(FView.size())) return -1;
    return canonical(storedCell(FView[static_cast<size_t>(row)], field.FColumn).text);
}

// ---- notifications ----------------------------------------------------------------------------

void TClientDataSet::DisableControls() {
    ++FDisableCount;
}

void TClientDataSet::EnableControls() {
    if (FDisableCount > 0 && --FDisableCount == 0 && FChangedWhileDisabled) {
        FChangedWhileDisabled = false;
        notifyDataSetChanged();
        notifyCurrentChanged();
    }
}

#define KV_NOTIFY(call)                                                                                      \
    do {                                                                                                     \
        if (FDataSources.empty()) return;                                                                    \
        if (FDisableCount > 0) {                                                                             \
            FChangedWhileDisabled = true;                                                                    \
            return;                                                                                          \
        }                                                                                                    \
        for (TDataSource * source : FDataSources)                                                            \
            emit source->call;                                                                               \
    } while (0)

void TClientDataSet::notifyDataSetChanged() {
    KV_NOTIFY(dataSetChanged());
}
void TClientDataSet::notifyRecordChanged(int row) {
    KV_NOTIFY(recordChanged(row));
}
void TClientDataSet::notifyRowInserted(int row) {
    KV_NOTIFY(rowInserted(row));
}
void TClientDataSet::notifyRowRemoved(int row) {
    KV_NOTIFY(rowRemoved(row));
}
void TClientDataSet::notifyCurrentChanged() {
    KV_NOTIFY(currentChanged(FCursor));
}
void TClientDataSet::notifyStateChanged() {
    KV_NOTIFY(stateChanged());
}

#undef KV_NOTIFY

} // namespace kv
