#include "controls/FDBGrid.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTimer>
#include <memory>

#include "controls/KvBitmaps.h"
#include "platform/data/ClientDataSet.h"
#include "platform/data/DataSource.h"
#include "platform/data/Field.h"

// The visible fields of the data set as columns, its records (in the current order) as rows.
class TFDBGridModel : public QAbstractTableModel {
public:
    explicit TFDBGridModel(TFDBGrid* grid) : QAbstractTableModel(grid), FGrid(grid) {}

    void SetDataSource(kv::TDataSource* source) {
        for (const auto& c : FConnections)
            disconnect(c);
        FConnections.clear();
        FCopy.reset();
        beginResetModel();
        FSource = source;
        Rebuild();
        endResetModel();
        FGrid->ApplyColumnWidths();
        if (!source) return;
        auto reset = [this] {
            const int col = qMax(0, FGrid->currentIndex().column());
            FCopy.reset();
            beginResetModel();
            Rebuild();
            endResetModel();
            FGrid->ApplyColumnWidths();
            SyncCurrent(col);
        };
        FConnections << connect(source, &kv::TDataSource::dataSetChanged, this, reset)
                     << connect(source, &kv::TDataSource::rowInserted, this, reset)
                     << connect(source, &kv::TDataSource::rowRemoved, this, reset)
                     << connect(source, &kv::TDataSource::recordChanged, this,
                                [this](int row) {
                                    ForgetCopiedRow();
                                    if (row >= 0 && row < rowCount())
                                        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
                                })
                     << connect(source, &kv::TDataSource::currentChanged, this,
                                [this] { SyncCurrent(qMax(0, FGrid->currentIndex().column())); })
                     << connect(source, &kv::TDataSource::stateChanged, this, [this] {
                            ForgetCopiedRow();
                            // Entering or leaving insert state adds or drops the row of the new record.
                            const int rows = CountRows();
                            if (rows > FRows) {
                                beginInsertRows({}, FRows, rows - 1);
                                FRows = rows;
                                endInsertRows();
                            } else if (rows < FRows) {
                                beginRemoveRows({}, rows, FRows - 1);
                                FRows = rows;
                                endRemoveRows();
                            }
                            SyncCurrent(qMax(0, FGrid->currentIndex().column()));
                        });
    }

    // The grid's current row follows the data set's cursor (the new record while inserting).
    void SyncCurrent(int col) {
        kv::TClientDataSet* ds = DataSet();
        FGrid->FSyncing = true;
        if (ds && ds->State() == kv::TDataSetState::dsInsert)
            FGrid->setCurrentIndex(index(FRows - 1, col));
        else if (ds && ds->RecNo() > 0 && ds->RecNo() <= FRows)
            FGrid->setCurrentIndex(index(ds->RecNo() - 1, col));
        FGrid->FSyncing = false;
        FGrid->viewport()->update();
    }

    // Row of the record being inserted; -1 when none.
    int InsertRow() const {
        kv::TClientDataSet* ds = DataSet();
        return ds && ds->State() == kv::TDataSetState::dsInsert ? ds->RecordCount() : -1;
    }

    int CountRows() const {
        kv::TClientDataSet* ds = DataSet();
        return ds ? ds->RecordCount() + (ds->State() == kv::TDataSetState::dsInsert ? 1 : 0) : 0;
    }

    kv::TClientDataSet* DataSet() const {
        return FSource && FSource->DataSet() && FSource->DataSet()->Active() ? FSource->DataSet() : nullptr;
    }
    kv::TDataSource* Source() const { return FSource; }
    kv::TField* FieldOf(int column) const {
        kv::TClientDataSet* ds = DataSet();
        return ds && column >= 0 && column < FFields.size() ? ds->FindField(FFields[column]) : nullptr;
    }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : FRows; }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(FFields.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const kv::TField* field = FieldOf(index.column());
        if (!field || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
        kv::TClientDataSet* ds = DataSet();
        const bool display = role == Qt::DisplayRole;
        // The current record shows through the field's formats and handlers.
        if (ds->RecNo() == index.row() + 1 || index.row() == InsertRow())
            return display ? field->DisplayText() : field->Text();
        if (field->OnGetText || !field->DisplayFormat().isEmpty() || !field->EditFormat().isEmpty())
            return RowText(*field, index.row(), display);
        const QVariant v = ds->valueAt(index.row(), field->Index());
        return v.isNull() ? QString() : v.toString();
    }

    // The copied record is read again at the next look (its values may have changed).
    void ForgetCopiedRow() { FCopiedRow = -1; }

    // Text of a field in a record that is not the current one, as the field would give it there.
    // Formats and get-text handlers read the data set's current record, and moving the cursor would
    // run the set's scroll checks: the record is copied into a one-record set of the same fields
    // instead, and the field's handler reads it there (the other fields of that record included).
    // Only the rows being drawn are copied, each once while the grid paints.
    QString RowText(const kv::TField& field, int row, bool display) const {
        kv::TClientDataSet* ds = DataSet();
        const int n = ds->FieldCount();
        const int at = field.Index();
        try {
            if (!FCopy || FCopyOf != ds || FCopy->FieldCount() != n ||
                FCopy->Fields(at).FieldName() != field.FieldName() ||
                FCopy->Fields(at).DataType() != field.DataType()) {
                FCopy = std::make_unique<kv::TClientDataSet>();
                for (int i = 0; i < n; ++i) {
                    const kv::TField& f = ds->Fields(i);
                    FCopy->AddField(f.FieldName(), f.DataType(), f.Size());
                }
                FCopy->CreateDataSet();
                FCopy->Append();
                FCopyOf = ds;
                FCopiedRow = -1;
            }
            if (FCopiedRow != row) {
                FCopiedRow = -1;
                for (int i = 0; i < n; ++i)
                    FCopy->Fields(i).SetValue(ds->valueAt(row, i));
                FCopiedRow = row;
            }
            kv::TField& copy = FCopy->Fields(at);
            // Formats change rarely; setting one resets the copy's views, so only when it differs.
            if (copy.DisplayFormat() != field.DisplayFormat()) copy.SetDisplayFormat(field.DisplayFormat());
            if (copy.EditFormat() != field.EditFormat()) copy.SetEditFormat(field.EditFormat());
            QString text = display ? copy.DisplayText() : copy.Text();
            if (field.OnGetText) field.OnGetText(copy, text, display);
            return text;
        } catch (const std::exception&) {
            // A handler that cannot show this record: its stored value.
            FCopy.reset();
            const QVariant v = ds->valueAt(row, at);
            return v.isNull() ? QString() : v.toString();
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
            if (const kv::TField* field = FieldOf(section)) {
                const TFDBGridColumn* column = FGrid->Column(section);
                return column && !column->Caption().isEmpty() ? column->Caption() : field->DisplayLabel();
            }
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        const kv::TField* field = FieldOf(index.column());
        if (field && !field->ReadOnly() && !DataSet()->ReadOnly() &&
            !FGrid->IsCheckBoxField(field->FieldName()))
            f |= Qt::ItemIsEditable;
        return f;
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        kv::TField* field = FieldOf(index.column());
        if (!field || role != Qt::EditRole) return false;
        kv::TClientDataSet* ds = DataSet();
        // An editor left as it was opened writes nothing: the field's checks and handlers run for
        // what the user typed, and the record stays as it was.
        if (value.toString() == data(index, Qt::EditRole).toString()) return true;
        try {
            if (ds->State() == kv::TDataSetState::dsBrowse && index.row() < ds->RecordCount()) {
                ds->SetRecNo(index.row() + 1);
                ds->Edit();
            }
            field->SetText(value.toString());
            FGrid->FModifiedSinceInsert = true;
            return true;
        } catch (const EKvError&) {
            ++FGrid->FRefusedEdits;
            return false;
        }
    }

private:
    void Rebuild() {
        FRows = CountRows();
        FFields.clear();
        if (kv::TClientDataSet* ds = DataSet())
            for (int i = 0; i < ds->FieldCount(); ++i)
                if (ds->Fields(i).Visible()) FFields << ds->Fields(i).FieldName();
        for (const QString& name : FFields)
            if (!FGrid->FColumnObjects.contains(name.toUpper()))
                FGrid->FColumnObjects.insert(name.toUpper(), new TFDBGridColumn(FGrid, name));
    }

    TFDBGrid* FGrid;
    QPointer<kv::TDataSource> FSource;

public:
    QStringList FFields;

private:
    int FRows = 0;
    QList<QMetaObject::Connection> FConnections;
    mutable std::unique_ptr<kv::TClientDataSet> FCopy;
    mutable const kv::TClientDataSet* FCopyOf = nullptr;
    mutable int FCopiedRow = -1;
};

class TFDBGridDelegate : public QStyledItemDelegate {
public:
    explicit TFDBGridDelegate(TFDBGrid* grid) : QStyledItemDelegate(grid), FGrid(grid) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const kv::TField* field = FGrid->FModel->FieldOf(index.column());
        const bool highlight = option.state & QStyle::State_Selected;
        QBrush brush(FGrid->RowColor(index.row()));
        QFont font = FGrid->font();
        QColor fontColor = FGrid->palette().color(QPalette::Text);
        if (FGrid->OnCalcCellColors)
            FGrid->OnCalcCellColors(FGrid, field ? field->FieldName() : QString(), index.row(), highlight,
                                    font, fontColor, brush);
        p->save();
        p->fillRect(option.rect, brush);
        if (field && FGrid->IsCheckBoxField(field->FieldName())) {
            const QString value = index.data().toString().trimmed();
            const QPixmap& pic =
                value == FGrid->CheckedValue(field->FieldName()) ? FGrid->FChecked : FGrid->FUnchecked;
            p->drawPixmap(option.rect.center() - QPoint(pic.width() / 2, pic.height() / 2), pic);
        } else {
            p->setFont(font);
            p->setPen(fontColor);
            const bool number = field && field->isNumeric();
            p->drawText(option.rect.adjusted(3, 0, -3, 0),
                        Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft),
                        index.data().toString());
        }
        if (option.state & QStyle::State_HasFocus) {
            p->setPen(QPen(FGrid->palette().color(QPalette::Highlight), 1, Qt::DotLine));
            p->drawRect(option.rect.adjusted(0, 0, -1, -1));
        }
        p->restore();
    }

private:
    TFDBGrid* FGrid;
};

TFDBGrid::TFDBGrid(QWidget* parent)
    : QTableView(parent), FModel(new TFDBGridModel(this)), FGridColors(new TFDBGridColors(this)),
      FCurrency(new TCurrencyStyle(this)) {
    FGridColors->setObjectName("GridColors");
    FCurrency->setObjectName("CHNCurrencyFields");
    setModel(FModel);
    setItemDelegate(new TFDBGridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    verticalHeader()->setDefaultSectionSize(22);
    horizontalHeader()->setSectionsMovable(true);
    FResizeRest = new QTimer(this);
    FResizeRest->setSingleShot(true);
    FResizeRest->setInterval(300);
    connect(FResizeRest, &QTimer::timeout, this, [this] { FlushResized(); });
    horizontalHeader()->viewport()->installEventFilter(this);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int logical, int, int newSize) { ColumnResized(logical, newSize); });
    connect(horizontalHeader(), &QHeaderView::sectionMoved, this,
            [this](int logical, int from, int to) { ColumnMoved(logical, from, to); });
    FChecked = LoadResourceBmp("CHECKED");
    FUnchecked = LoadResourceBmp("UNCHECKED");
}

TFDBGrid::~TFDBGrid() = default;

int TFDBGrid::CharWidth() const {
    // A character of a width is a digit: a date or a number of n characters fits n of them.
    return std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('0')));
}

int TFDBGrid::ColumnWidthOf(int chars) const {
    return std::max(1, chars) * CharWidth() + 4;
}

int TFDBGrid::CharsOf(int pixels) const {
    const int unit = CharWidth();
    return std::max(1, (pixels - 4 + unit / 2) / unit);
}

void TFDBGrid::FlushResized() {
    FResizeRest->stop();
    const QHash<QString, int> resized = std::exchange(FResized, {});
    kv::TClientDataSet* ds = FModel->DataSet();
    if (!ds) return;
    for (auto it = resized.cbegin(); it != resized.cend(); ++it)
        if (kv::TField* f = ds->FindField(it.key())) f->SetDisplayWidth(CharsOf(it.value()));
}

void TFDBGrid::ApplyColumnWidths() {
    FApplyingWidths = true;
    for (int c = 0; c < FModel->FFields.size(); ++c) {
        // A width still on its way to the field is the one shown.
        if (const auto pending = FResized.constFind(FModel->FFields[c]); pending != FResized.cend())
            setColumnWidth(c, *pending);
        else if (const kv::TField* f = FModel->FieldOf(c); f && f->HasDisplayWidth())
            setColumnWidth(c, ColumnWidthOf(f->DisplayWidth()));
    }
    FApplyingWidths = false;
}

bool TFDBGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == horizontalHeader()->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) FHeaderPressed = true;
        if (event->type() == QEvent::MouseButtonRelease) FHeaderPressed = false;
    }
    return QTableView::eventFilter(watched, event);
}

void TFDBGrid::ColumnResized(int logical, int newSize) {
    // Only the planner's sizing goes to the field (a window that stretches its last column does not),
    // once the drag rests.
    if (FApplyingWidths || !FHeaderPressed || logical < 0 || logical >= FModel->FFields.size()) return;
    FResized.insert(FModel->FFields[logical], newSize);
    FResizeRest->start();
}

void TFDBGrid::ColumnMoved(int logical, int from, int to) {
    kv::TClientDataSet* ds = FModel->DataSet();
    // The header shows the columns in their fields' order: the move goes to the fields, whose new
    // order the model then shows.
    QHeaderView* header = horizontalHeader();
    const QSignalBlocker quiet(header);
    header->moveSection(to, from);
    if (!ds || logical < 0 || logical >= FModel->FFields.size() || to < 0 || to >= FModel->FFields.size())
        return;
    FlushResized();
    kv::TField* moved = ds->FindField(FModel->FFields[logical]);
    kv::TField* target = ds->FindField(FModel->FFields[to]);
    if (moved && target) moved->SetIndex(target->Index());
}

void TFDBGrid::StoreColumnWidths() {
    FResizeRest->stop();
    FResized.clear();
    kv::TClientDataSet* ds = FModel->DataSet();
    if (!ds) return;
    // Read first: each width set resets the model, which sizes the columns anew.
    QList<QPair<kv::TField*, int>> widths;
    for (int c = 0; c < FModel->FFields.size(); ++c)
        if (kv::TField* f = ds->FindField(FModel->FFields[c]))
            widths << qMakePair(f, CharsOf(columnWidth(c)));
    for (const auto& [field, chars] : widths)
        field->SetDisplayWidth(chars);
}

TFDBGridColumn::TFDBGridColumn(TFDBGrid* grid, const QString& fieldName)
    : QObject(grid), FGrid(grid), FFieldName(fieldName) {}

void TFDBGridColumn::SetCaption(const QString& caption) {
    FCaption = caption;
    FGrid->horizontalHeader()->viewport()->update();
}

int TFDBGridColumn::Width() const {
    const int i = FGrid->FModel->FFields.indexOf(FFieldName);
    return i >= 0 ? FGrid->columnWidth(i) : 0;
}

void TFDBGridColumn::SetWidth(int width) {
    const int i = FGrid->FModel->FFields.indexOf(FFieldName);
    if (i >= 0) FGrid->setColumnWidth(i, width);
}

QList<QObject*> TFDBGrid::Columns() const {
    QList<QObject*> list;
    for (const QString& name : FModel->FFields)
        list << FColumnObjects.value(name.toUpper());
    return list;
}

TFDBGridColumn* TFDBGrid::Column(int index) const {
    return index >= 0 && index < FModel->FFields.size()
               ? FColumnObjects.value(FModel->FFields[index].toUpper())
               : nullptr;
}

kv::TDataSource* TFDBGrid::DataSource() const {
    return FModel->Source();
}
void TFDBGrid::SetDataSource(kv::TDataSource* source) {
    FModel->SetDataSource(source);
}
QObject* TFDBGrid::DataSourceObject() const {
    return FModel->Source();
}
void TFDBGrid::SetDataSourceObject(QObject* source) {
    SetDataSource(qobject_cast<kv::TDataSource*>(source));
}

void TFDBGrid::SetGrawGridInBlank(bool value) {
    FGrawGridInBlank = value;
    viewport()->update();
}

QFont TFDBGrid::TitleFont() const {
    return horizontalHeader()->font();
}
void TFDBGrid::SetTitleFont(const QFont& font) {
    horizontalHeader()->setFont(font);
}

void TFDBGrid::SetCheckBoxField(const QString& fieldName, const QString& checkedValue) {
    FCheckFields.insert(fieldName.toUpper(), checkedValue);
    viewport()->update();
}

QColor TFDBGrid::RowColor(int row) const {
    const kv::TClientDataSet* ds = FModel->DataSet();
    if (ds && (ds->RecNo() == row + 1 || row == FModel->InsertRow())) return FGridColors->FocusRecColor;
    // Record numbers count from 1: the first row is an odd record.
    return row % 2 == 0 ? FGridColors->OddRecColor : FGridColors->EvenRecColor;
}

void TFDBGrid::paintEvent(QPaintEvent* event) {
    FModel->ForgetCopiedRow();
    QTableView::paintEvent(event);
    if (!FGrawGridInBlank || !FModel->DataSet() || FModel->columnCount() == 0) return;
    // Below the last record: further rows in the continuing stripes, with grid lines.
    const int rows = FModel->rowCount();
    int top = rows > 0 ? rowViewportPosition(rows - 1) + rowHeight(rows - 1) : 0;
    const int h = verticalHeader()->defaultSectionSize();
    QPainter p(viewport());
    const QColor line = palette().color(QPalette::Mid);
    for (int row = rows; top < viewport()->height(); ++row, top += h) {
        const QColor back = row % 2 == 0 ? FGridColors->OddRecColor : FGridColors->EvenRecColor;
        for (int c = 0; c < FModel->columnCount(); ++c) {
            const QRect cell(columnViewportPosition(c), top, columnWidth(c), h);
            p.fillRect(cell, back);
            if (showGrid()) {
                p.setPen(line);
                p.drawLine(cell.topRight(), cell.bottomRight());
                p.drawLine(cell.bottomLeft(), cell.bottomRight());
            }
        }
    }
}

void TFDBGrid::mousePressEvent(QMouseEvent* event) {
    kv::TClientDataSet* ds = FModel->DataSet();
    const QPoint pos = event->position().toPoint();
    const int col = columnAt(pos.x());
    if (ds && event->button() == Qt::LeftButton && col >= 0 && !indexAt(pos).isValid()) {
        // A click in the empty area below the records.
        if (ds->State() == kv::TDataSetState::dsInsert && !FModifiedSinceInsert) {
            if (FInsertedByGrid && FModel->rowCount() > 0) {
                setCurrentIndex(FModel->index(FModel->rowCount() - 1, col));
            } else {
                // A handler that refuses the cancel has said why; the new record stays.
                try {
                    ds->Cancel();
                } catch (const EKvError&) {
                    return;
                }
                FInsertedByGrid = false;
            }
            return;
        }
        const bool editable = editTriggers() != QAbstractItemView::NoEditTriggers;
        if (!ds->ReadOnly() && editable && FAllowInsert) {
            if (state() == QAbstractItemView::EditingState)
                if (QWidget* editor = indexWidget(currentIndex()))
                    commitData(editor), closeEditor(editor, QAbstractItemDelegate::NoHint);
            try {
                ds->Append();
            } catch (const EKvError&) {
                return;
            }
            FInsertedByGrid = true;
            FModifiedSinceInsert = false;
            const int last = FModel->rowCount() - 1;
            if (last >= 0) setCurrentIndex(FModel->index(last, col));
        }
        return;
    }
    QTableView::mousePressEvent(event);
}

void TFDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    kv::TClientDataSet* ds = FModel->DataSet();
    if (FSyncing || !ds || !current.isValid() || current.row() == previous.row()) return;
    // Moving to another record posts the one being edited.
    try {
        if (ds->RecNo() != current.row() + 1) {
            ds->CheckBrowseMode();
            FInsertedByGrid = false;
            if (current.row() < ds->RecordCount()) ds->SetRecNo(current.row() + 1);
        }
    } catch (const EKvError&) {
        // The set refused to leave its record: the grid goes back to it once this change is done.
        QMetaObject::invokeMethod(
            this, [this, column = current.column()] { FModel->SyncCurrent(column); }, Qt::QueuedConnection);
    }
    viewport()->update();
}
