#include "controls/Aligrid.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QToolTip>
#include <algorithm>

#include "controls/KvBitmaps.h"
#include "controls/KvColor.h"

QFont TKvFont::toQFont(const QFont& base) const {
    QFont f = base;
    f.setFamilies({Name, QStringLiteral("WenQuanYi Micro Hei")});
    if (Height < 0)
        f.setPixelSize(-Height);
    else if (Height > 0)
        f.setPixelSize(Height);
    f.setBold(Style & 1);
    f.setItalic(Style & 2);
    f.setUnderline(Style & 4);
    f.setStrikeOut(Style & 8);
    f.setFixedPitch(Pitch == 1);
    return f;
}

TKvFont TKvFont::fromQFont(const QFont& font, int color) {
    TKvFont f;
    f.Color = color;
    f.Name = font.family();
    f.Height = font.pixelSize() > 0 ? -font.pixelSize() : -qRound(font.pointSizeF() * 96 / 72);
    f.Style = (font.bold() ? 1 : 0) | (font.italic() ? 2 : 0) | (font.underline() ? 4 : 0) |
              (font.strikeOut() ? 8 : 0);
    f.Pitch = font.fixedPitch() ? 1 : 0;
    return f;
}

bool TCellProperties::isEmpty() const {
    return Editable == 0 && Hint.isEmpty() && Wordwrap == ww_default && Align == alDefault && !Brush &&
           !SelectedBrush && !Font && !SelectedFont && (!Control || Control->Kind == ck_None);
}

// ---------------------------------------------------------------------------------------------------
// Painting and editors of the cells.

class TAlignGridDelegate : public QStyledItemDelegate {
public:
    explicit TAlignGridDelegate(TStringAlignGrid* grid) : QStyledItemDelegate(grid), FGrid(grid) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const int col = index.column(), row = index.row();
        const bool fixed = FGrid->IsFixed(col, row);
        const bool selected = !fixed && FGrid->FDrawSelection && (option.state & QStyle::State_Selected);
        QBrush brush = fixed ? QBrush(FGrid->FFixedColor) : option.palette.base();
        QFont font = FGrid->font();
        QColor textColor = option.palette.color(QPalette::Text);
        // Fixed cells take their brush from the fixed levels like any other cell from its own.
        if (auto b = FGrid->EffectiveBrush(col, row, false))
            brush = QBrush(TColorToQColor(b->Color), b->Style == 1 ? Qt::NoBrush : Qt::SolidPattern);
        if (auto f = FGrid->EffectiveFont(col, row, false)) {
            font = f->toQFont(font);
            textColor = TColorToQColor(f->Color);
        }
        if (selected) {
            brush = QBrush(FGrid->FSelectedCellColor);
            textColor = FGrid->FSelectedFontColor;
            if (auto b = FGrid->EffectiveBrush(col, row, true)) brush = QBrush(TColorToQColor(b->Color));
            if (auto f = FGrid->EffectiveFont(col, row, true)) {
                font = f->toQFont(font);
                textColor = TColorToQColor(f->Color);
            }
        }
        if (FGrid->OnCalcCellColors)
            FGrid->OnCalcCellColors(FGrid, col, row, option.rect, selected, font, textColor, brush);
        p->save();
        p->fillRect(option.rect, brush);
        QRect r = option.rect.adjusted(2, 1, -2, -1);
        const TControlInfo* control = fixed ? nullptr : FGrid->EffectiveControl(col, row);
        if (control && control->Kind == ck_CheckBox) {
            const QPixmap& pic =
                FGrid->StoredCell(col, row) == control->CheckedText ? FGrid->FCheck : FGrid->FUncheck;
            p->drawPixmap(r.left(), r.top() + (r.height() - pic.height()) / 2, pic);
            r.setLeft(r.left() + pic.width() + 2);
        }
        p->setFont(font);
        p->setPen(textColor);
        const int align = FGrid->EffectiveAlign(col, row);
        int flags = Qt::AlignVCenter | (align == alRight    ? Qt::AlignRight
                                        : align == alCenter ? Qt::AlignHCenter
                                                            : Qt::AlignLeft);
        const int wrap = FGrid->EffectiveWordwrap(col, row);
        QString text = FGrid->Cells(col, row);
        if (wrap == ww_wordwrap)
            flags |= Qt::TextWordWrap;
        else if (wrap == ww_ellipsis)
            text = QFontMetrics(font).elidedText(text, Qt::ElideRight, r.width());
        p->drawText(r, flags, text);
        p->restore();
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        const TControlInfo* control = FGrid->EffectiveControl(index.column(), index.row());
        if (control && control->Kind == ck_PickList) {
            auto* combo = new QComboBox(parent);
            combo->addItems(control->Items.Lines);
            combo->installEventFilter(const_cast<TAlignGridDelegate*>(this));
            connect(combo, &QComboBox::activated, FGrid,
                    [grid = FGrid, col = index.column(), row = index.row()] {
                        emit grid->OnComboBoxClick(grid, col, row);
                    });
            return combo;
        }
        // A masked edit keeps to one line; buttons sit on a one-line edit.
        if (FGrid->FEditMultiline && FGrid->FEditMask.isEmpty() &&
            !(control && (control->Kind == ck_EditButton || control->Kind == ck_Button))) {
            auto* memo = new QPlainTextEdit(parent);
            memo->setFrameShape(QFrame::NoFrame);
            memo->setTabChangesFocus(true);
            return memo;
        }
        auto* edit = new QLineEdit(parent);
        edit->setFrame(false);
        if (!FGrid->FEditMask.isEmpty()) edit->setInputMask(FGrid->FEditMask);
        if (control && (control->Kind == ck_EditButton || control->Kind == ck_Button)) {
            auto* button = new QToolButton(edit);
            button->setObjectName("EditButton");
            button->setText(control->Kind == ck_Button ? control->Caption : QStringLiteral("..."));
            button->setCursor(Qt::ArrowCursor);
            edit->setTextMargins(0, 0, 16, 0);
            connect(button, &QToolButton::clicked, FGrid,
                    [grid = FGrid, col = index.column(), row = index.row()] {
                        emit grid->OnEditButtonClick(grid, col, row);
                    });
        }
        return edit;
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex&) const override {
        editor->setGeometry(option.rect);
        if (auto* button = editor->findChild<QToolButton*>("EditButton"))
            button->setGeometry(editor->width() - 16, 0, 16, editor->height());
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        const QString text = FGrid->StoredCell(index.column(), index.row());
        if (auto* combo = qobject_cast<QComboBox*>(editor)) {
            combo->setCurrentIndex(combo->findText(text));
        } else if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
            edit->setText(text);
            if (FGrid->FSelectEditText)
                edit->selectAll();
            else
                edit->deselect();
        } else if (auto* memo = qobject_cast<QPlainTextEdit*>(editor)) {
            memo->setPlainText(text);
            if (FGrid->FSelectEditText) memo->selectAll();
        }
    }

    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
        QString text;
        if (auto* combo = qobject_cast<QComboBox*>(editor)) {
            // A value the list lacks shows as no item; unless an item was chosen it stays as it is.
            if (combo->currentIndex() < 0) return;
            text = combo->currentText();
        } else if (auto* edit = qobject_cast<QLineEdit*>(editor))
            text = edit->text();
        else if (auto* memo = qobject_cast<QPlainTextEdit*>(editor))
            text = memo->toPlainText();
        bool allow = true;
        if (FGrid->OnValidateEdit) FGrid->OnValidateEdit(FGrid, index.column(), index.row(), allow);
        if (allow) FGrid->SetCells(index.column(), index.row(), text);
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* editor = qobject_cast<QWidget*>(object);
        if (editor && event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
                // Tab is never typed into the cell: commit and move by the Tab rules; Shift+Tab goes
                // back as it does without an editor.
                const bool back = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
                emit commitData(editor);
                (back ? FGrid->FBackTabPressed : FGrid->FTabPressed) = true;
                emit closeEditor(editor, NoHint);
                return true;
            }
            const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
            if (enter && (key->modifiers() & Qt::ControlModifier)) {
                // Ctrl+Enter breaks the line of a multi-line editor; Enter alone goes to the grid.
                if (auto* memo = qobject_cast<QPlainTextEdit*>(editor))
                    memo->insertPlainText(QStringLiteral("\n"));
                return true;
            }
            if (enter) {
                emit commitData(editor);
                FGrid->FEnterPressed = true;
                emit closeEditor(editor, NoHint);
                return true;
            }
            if (auto* combo = qobject_cast<QComboBox*>(editor)) {
                const TControlInfo* control = FGrid->EffectiveControl(FGrid->FEditCol, FGrid->FEditRow);
                if (control && control->Items.Search && key->key() != Qt::Key_Escape &&
                    (!key->text().isEmpty() || key->key() == Qt::Key_Backspace)) {
                    FGrid->PickListSearch(combo, key->text(), key->key());
                    return true;
                }
                if (control && control->Items.Search && key->key() == Qt::Key_Escape &&
                    !FGrid->FSearchText.isEmpty()) {
                    FGrid->FSearchText.clear();
                    return true;
                }
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    TStringAlignGrid* FGrid;
};

// ---------------------------------------------------------------------------------------------------

TStringAlignGrid::TStringAlignGrid(QWidget* parent) : QTableWidget(parent) {
    FFixedColor = palette().color(QPalette::Button);
    FSelectedCellColor = palette().color(QPalette::Highlight);
    FGridLineColor = palette().color(QPalette::Mid);
    FCheck = LoadResourceBmp("CHECK");
    FUncheck = LoadResourceBmp("UNCHECK");
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(24);
    setColumnCount(5);
    setRowCount(5);
    setItemDelegate(new TAlignGridDelegate(this));
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(itemDelegate(), &QAbstractItemDelegate::closeEditor, this, &TStringAlignGrid::EditorClosed);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int i) { emit OnColWidthsChanged(this, i); });
    connect(verticalHeader(), &QHeaderView::sectionResized, this,
            [this](int i) { emit OnRowHeightsChanged(this, i); });
    setCurrentCell(FFixedRows, FFixedCols);
}

TStringAlignGrid::~TStringAlignGrid() = default;

void TStringAlignGrid::SetFixedCols(int n) {
    FFixedCols = qMax(0, n);
    viewport()->update();
}

void TStringAlignGrid::SetFixedRows(int n) {
    FFixedRows = qMax(0, n);
    viewport()->update();
}

QString TStringAlignGrid::StoredCell(int col, int row) const {
    const QTableWidgetItem* it = item(row, col);
    return it ? it->text() : QString();
}

QString TStringAlignGrid::Cells(int col, int row) const {
    const QString stored = StoredCell(col, row);
    if (IsFixed(col, row)) return stored;
    const TControlInfo* control = EffectiveControl(col, row);
    if (control && control->Kind == ck_CheckBox)
        return stored == control->CheckedText ? control->CheckedText : control->UncheckedText;
    return stored;
}

void TStringAlignGrid::SetCells(int col, int row, const QString& text) {
    if (col < 0 || row < 0 || col >= columnCount() || row >= rowCount()) return;
    QTableWidgetItem* it = item(row, col);
    if (!it) {
        if (text.isEmpty()) return;
        setItem(row, col, it = new QTableWidgetItem);
    }
    it->setText(text);
}

QString TStringAlignGrid::CellHint(int col, int row) const {
    return FCellHints.value({col, row});
}

void TStringAlignGrid::SetCellHint(int col, int row, const QString& hint) {
    if (hint.isEmpty())
        FCellHints.remove({col, row});
    else
        FCellHints[{col, row}] = hint;
}

QStringList TStringAlignGrid::CellLines(int col, int row) const {
    return FCellLines.value({col, row});
}

void TStringAlignGrid::SetCellLines(int col, int row, const QStringList& lines) {
    if (lines.isEmpty())
        FCellLines.remove({col, row});
    else
        FCellLines[{col, row}] = lines;
}

void TStringAlignGrid::SetColLines(int col, const QStringList& lines) {
    if (lines.isEmpty())
        FColLines.remove(col);
    else
        FColLines[col] = lines;
}

void TStringAlignGrid::SetRowLines(int row, const QStringList& lines) {
    if (lines.isEmpty())
        FRowLines.remove(row);
    else
        FRowLines[row] = lines;
}

void TStringAlignGrid::SetAlignment(int value) {
    FAlignment = value;
    viewport()->update();
}

void TStringAlignGrid::SetWordwrap(int value) {
    FWordwrap = value;
    viewport()->update();
}

void TStringAlignGrid::SetEditable(bool value) {
    FEditable = value;
}

void TStringAlignGrid::SetFixedColor(const QColor& c) {
    FFixedColor = c;
    viewport()->update();
}

void TStringAlignGrid::SetSelectedCellColor(const QColor& c) {
    FSelectedCellColor = c;
    viewport()->update();
}

void TStringAlignGrid::SetSelectedFontColor(const QColor& c) {
    FSelectedFontColor = c;
    viewport()->update();
}

QMap<TStringAlignGrid::CellKey, TCellProperties>& TStringAlignGrid::Level(TPropLevel level) {
    return FLevels[level];
}
const QMap<TStringAlignGrid::CellKey, TCellProperties>& TStringAlignGrid::Level(TPropLevel level) const {
    return FLevels[level];
}

// Key of a record: (col, row) for a cell; (index, -1) for the other levels, the index being the row for
// the row levels and the column for the column levels (whichever of the two is given).
static QPair<int, int> recordKey(TPropLevel level, int col, int row) {
    if (level == plCell) return {col, row};
    if (level == plRow || level == plFixedRow) return {row >= 0 ? row : col, -1};
    return {col >= 0 ? col : row, -1};
}

const TCellProperties* TStringAlignGrid::Record(TPropLevel level, int col, int row) const {
    const auto& map = Level(level);
    const auto it = map.constFind(recordKey(level, col, row));
    return it == map.constEnd() ? nullptr : &it.value();
}

void TStringAlignGrid::ChangeRecord(TPropLevel level, int col, int row,
                                    const std::function<void(TCellProperties&)>& change) {
    const CellKey key = recordKey(level, col, row);
    auto& map = Level(level);
    TCellProperties& record = map[key];
    change(record);
    if (record.isEmpty()) map.remove(key);
    viewport()->update();
}

void TStringAlignGrid::SetAlign(TPropLevel level, int col, int row, int align) {
    ChangeRecord(level, col, row, [align](TCellProperties& p) { p.Align = align; });
}

void TStringAlignGrid::SetWordwrapAt(TPropLevel level, int col, int row, int wrap) {
    ChangeRecord(level, col, row, [wrap](TCellProperties& p) { p.Wordwrap = wrap; });
}

void TStringAlignGrid::SetEditableAt(TPropLevel level, int col, int row, bool editable) {
    ChangeRecord(level, col, row, [editable](TCellProperties& p) { p.Editable = editable ? 2 : 1; });
}

void TStringAlignGrid::ResetEditableAt(TPropLevel level, int col, int row) {
    ChangeRecord(level, col, row, [](TCellProperties& p) { p.Editable = 0; });
}

void TStringAlignGrid::SetBrushAt(TPropLevel level, int col, int row, std::optional<TKvBrush> brush,
                                  bool selected) {
    ChangeRecord(level, col, row,
                 [&](TCellProperties& p) { (selected ? p.SelectedBrush : p.Brush) = brush; });
}

void TStringAlignGrid::SetFontAt(TPropLevel level, int col, int row, std::optional<TKvFont> font,
                                 bool selected) {
    ChangeRecord(level, col, row, [&](TCellProperties& p) { (selected ? p.SelectedFont : p.Font) = font; });
}

void TStringAlignGrid::SetHintAt(TPropLevel level, int col, int row, const QString& hint) {
    ChangeRecord(level, col, row, [&](TCellProperties& p) { p.Hint = hint; });
}

QList<QPair<int, int>> TStringAlignGrid::RecordKeys(TPropLevel level) const {
    return Level(level).keys();
}

const TCellProperties* TStringAlignGrid::ColRecord(int col, int row) const {
    return Record(IsFixed(col, row) ? plFixedCol : plCol, col);
}

const TCellProperties* TStringAlignGrid::RowRecord(int col, int row) const {
    return Record(IsFixed(col, row) ? plFixedRow : plRow, row);
}

int TStringAlignGrid::EffectiveAlign(int col, int row) const {
    for (const TCellProperties* p : {Record(plCell, col, row), ColRecord(col, row), RowRecord(col, row)})
        if (p && p->Align != alDefault) return p->Align;
    return FAlignment == alDefault ? alLeft : FAlignment;
}

int TStringAlignGrid::EffectiveWordwrap(int col, int row) const {
    for (const TCellProperties* p : {Record(plCell, col, row), ColRecord(col, row), RowRecord(col, row)})
        if (p && p->Wordwrap != ww_default) return p->Wordwrap;
    return FWordwrap == ww_default ? ww_none : FWordwrap;
}

bool TStringAlignGrid::EffectiveEditable(int col, int row) const {
    for (const TCellProperties* p : {Record(plCell, col, row), ColRecord(col, row), RowRecord(col, row)})
        if (p && p->Editable != 0) return p->Editable == 2;
    return FEditable;
}

std::optional<TKvBrush> TStringAlignGrid::EffectiveBrush(int col, int row, bool selected) const {
    for (const TCellProperties* p : {Record(plCell, col, row), ColRecord(col, row), RowRecord(col, row)})
        if (p && (selected ? p->SelectedBrush : p->Brush)) return selected ? p->SelectedBrush : p->Brush;
    return std::nullopt;
}

std::optional<TKvFont> TStringAlignGrid::EffectiveFont(int col, int row, bool selected) const {
    for (const TCellProperties* p : {Record(plCell, col, row), ColRecord(col, row), RowRecord(col, row)})
        if (p && (selected ? p->SelectedFont : p->Font)) return selected ? p->SelectedFont : p->Font;
    return std::nullopt;
}

const TControlInfo* TStringAlignGrid::EffectiveControl(int col, int row) const {
    for (const TCellProperties* p : {Record(plCell, col, row), ColRecord(col, row), RowRecord(col, row)})
        if (p && p->Control && p->Control->Kind != ck_None) return &*p->Control;
    return nullptr;
}

void TStringAlignGrid::SetCellControl(int col, int row, bool flag, const QString& text, int kind) {
    TControlInfo info;
    info.Kind = kind;
    switch (kind) {
    case ck_Button:
        info.Caption = text;
        break;
    case ck_CheckBox: {
        const int semi = text.indexOf(';');
        info.CheckedText = semi < 0 ? text : text.left(semi);
        info.UncheckedText = semi < 0 ? QString() : text.mid(semi + 1);
        break;
    }
    case ck_PickList:
        info.Items.Lines = text.split('\n');
        for (QString& line : info.Items.Lines)
            if (line.endsWith('\r')) line.chop(1);
        info.Items.Search = flag;
        break;
    default:
        break;
    }
    const TPropLevel level = row < 0 ? plCol : col < 0 ? plRow : plCell;
    const int index = row < 0 ? col : col < 0 ? row : col;
    ChangeRecord(level, index, row, [&](TCellProperties& p) {
        if (kind == ck_None)
            p.Control.reset();
        else
            p.Control = info;
    });
}

// ---------------------------------------------------------------------------------------------------
// Rows and columns.

namespace {

// Moves the records keyed at index >= from by delta; with a negative delta the record at from goes.
// keyOf reads the index out of a key, withIndex writes a new index into it.
template <typename Map, typename KeyOf, typename WithIndex>
void shiftKeys(Map& map, int from, int delta, KeyOf keyOf, WithIndex withIndex) {
    Map moved;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const int i = keyOf(it.key());
        if (delta < 0 && i == from) continue;
        moved.insert(withIndex(it.key(), i >= from + (delta < 0 ? 1 : 0) ? i + delta : i), it.value());
    }
    map = moved;
}

}  // namespace

void TStringAlignGrid::ShiftLines(bool rows, int from, int delta) {
    // Cells are keyed (column, row); row and column records by (index, -1); line lists by index.
    auto cellIndex = [rows](const CellKey& k) { return rows ? k.second : k.first; };
    auto cellWith = [rows](const CellKey& k, int i) { return rows ? CellKey{k.first, i} : CellKey{i, k.second}; };
    shiftKeys(FLevels[plCell], from, delta, cellIndex, cellWith);
    shiftKeys(FCellHints, from, delta, cellIndex, cellWith);
    shiftKeys(FCellLines, from, delta, cellIndex, cellWith);
    auto first = [](const CellKey& k) { return k.first; };
    auto pairKey = [](const CellKey&, int i) { return CellKey{i, -1}; };
    shiftKeys(FLevels[rows ? plRow : plCol], from, delta, first, pairKey);
    shiftKeys(FLevels[rows ? plFixedRow : plFixedCol], from, delta, first, pairKey);
    shiftKeys(
        rows ? FRowLines : FColLines, from, delta, [](int k) { return k; }, [](int, int i) { return i; });
}

void TStringAlignGrid::ShiftRows(int from, int delta) { ShiftLines(true, from, delta); }

void TStringAlignGrid::ShiftCols(int from, int delta) { ShiftLines(false, from, delta); }

bool TStringAlignGrid::SuspendEditor() {
    if (state() != QAbstractItemView::EditingState) return false;
    if (QWidget* editor = indexWidget(currentIndex())) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
    return true;
}

void TStringAlignGrid::ResumeEditor(bool wasEditing) {
    viewport()->update();
    if (wasEditing) OpenEditor();
}

void TStringAlignGrid::InsertRow(int row) {
    const bool editing = SuspendEditor();
    row = qBound(0, row, rowCount());
    insertRow(row);
    ShiftRows(row, 1);
    ResumeEditor(editing);
}

void TStringAlignGrid::RemoveRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    if (rowCount() - FFixedRows <= 1 && row >= FFixedRows) {
        // The only data row is emptied, never removed.
        for (int c = 0; c < columnCount(); ++c)
            SetCells(c, row, QString());
        return;
    }
    const bool editing = SuspendEditor();
    removeRow(row);
    ShiftRows(row, -1);
    ResumeEditor(editing);
}

void TStringAlignGrid::InsertCol(int col) {
    col = qBound(0, col, columnCount());
    const bool editing = SuspendEditor();
    insertColumn(col);
    ShiftCols(col, 1);
    ResumeEditor(editing);
}

void TStringAlignGrid::RemoveCol(int col) {
    if (col < 0 || col >= columnCount()) return;
    if (columnCount() - FFixedCols <= 1 && col >= FFixedCols) {
        for (int r = 0; r < rowCount(); ++r)
            SetCells(col, r, QString());
        return;
    }
    const bool editing = SuspendEditor();
    removeColumn(col);
    ShiftCols(col, -1);
    ResumeEditor(editing);
}

void TStringAlignGrid::ApplyPermutation(bool rows, const QList<int>& order) {
    // order[i] = old index of the line that goes to position first + i
    const int first = rows ? FFixedRows : FFixedCols;
    const int lines = rows ? columnCount() : rowCount();
    QList<QStringList> texts;
    for (int old : order) {
        QStringList t;
        for (int k = 0; k < lines; ++k)
            t << (rows ? StoredCell(k, old) : StoredCell(old, k));
        texts << t;
    }
    QMap<int, int> newOf;
    for (int i = 0; i < order.size(); ++i)
        newOf[order[i]] = first + i;
    // Everything kept by row (or column) goes with its line, as on insert and delete.
    auto remap = [&](auto& map, auto indexOf) {
        std::remove_reference_t<decltype(map)> moved;
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            auto k = it.key();
            int& idx = indexOf(k);
            idx = newOf.value(idx, idx);
            moved.insert(k, it.value());
        }
        map = moved;
    };
    auto cellIndex = [rows](CellKey& k) -> int& { return rows ? k.second : k.first; };
    auto recordIndex = [](CellKey& k) -> int& { return k.first; };
    auto lineIndex = [](int& k) -> int& { return k; };
    remap(FLevels[plCell], cellIndex);
    remap(FCellHints, cellIndex);
    remap(FCellLines, cellIndex);
    remap(FLevels[rows ? plRow : plCol], recordIndex);
    remap(FLevels[rows ? plFixedRow : plFixedCol], recordIndex);
    remap(rows ? FRowLines : FColLines, lineIndex);
    for (int i = 0; i < texts.size(); ++i)
        for (int k = 0; k < lines; ++k)
            rows ? SetCells(k, first + i, texts[i][k]) : SetCells(first + i, k, texts[i][k]);
    viewport()->update();
}

void TStringAlignGrid::SortRows(int byCol, bool ascending) {
    QList<int> order;
    for (int r = FFixedRows; r < rowCount(); ++r)
        order << r;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int c = OnCompareRow ? OnCompareRow(this, byCol, a, b)
                                   : StoredCell(byCol, a).compare(StoredCell(byCol, b));
        return ascending ? c < 0 : c > 0;
    });
    ApplyPermutation(true, order);
}

void TStringAlignGrid::SortCols(int byRow, bool ascending) {
    QList<int> order;
    for (int c = FFixedCols; c < columnCount(); ++c)
        order << c;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int c = OnCompareCol ? OnCompareCol(this, byRow, a, b)
                                   : StoredCell(a, byRow).compare(StoredCell(b, byRow));
        return ascending ? c < 0 : c > 0;
    });
    ApplyPermutation(false, order);
}

// ---------------------------------------------------------------------------------------------------
// In-place editing and movement.

bool TStringAlignGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (!index.isValid()) return false;
    const int col = index.column(), row = index.row();
    if (trigger != QAbstractItemView::AllEditTriggers && trigger != QAbstractItemView::NoEditTriggers) {
        const TControlInfo* control = EffectiveControl(col, row);
        if (!FAllowEditing || IsFixed(col, row) || !EffectiveEditable(col, row) ||
            (control && control->Kind == ck_CheckBox))
            return false;
    }
    if (trigger == QAbstractItemView::NoEditTriggers || state() == QAbstractItemView::EditingState)
        return QTableWidget::edit(index, trigger, event);
    emit OnBeforeEdit(this, col, row);
    FEditOldText = StoredCell(col, row);
    FEditCol = col;
    FEditRow = row;
    FSearchText.clear();
    return QTableWidget::edit(index, trigger, event);
}

bool TStringAlignGrid::OpenEditor() {
    return edit(currentIndex(), QAbstractItemView::EditKeyPressed, nullptr);
}

void TStringAlignGrid::EditorClosed(QWidget*, int hint) {
    const int col = FEditCol, row = FEditRow;
    if (hint == QAbstractItemDelegate::RevertModelCache) {
        // Esc: the text as it was when the editor opened.
        SetCells(col, row, FEditOldText);
        emit OnCancelEdit(this, col, row);
        FTabPressed = FBackTabPressed = FEnterPressed = false;
        return;
    }
    emit OnAfterEdit(this, col, row);
    const bool tab = FTabPressed, back = FBackTabPressed, enter = FEnterPressed;
    FTabPressed = FBackTabPressed = FEnterPressed = false;
    // Only keys move on; an editor closed by losing the focus stays where it was.
    if (tab) {
        MoveToNextCell(FNextCellTab, FAfterLastCellTab);
    } else if (back) {
        focusNextPrevChild(false);
    } else if (enter && FAutoEditNextCell) {
        if (MoveToNextCell(FNextCellEdit, FAfterLastCellEdit)) OpenEditor();
    }
}

bool TStringAlignGrid::MoveToNextCell(int direction, int afterLast) {
    int col = currentColumn(), row = currentRow();
    const int c0 = FFixedCols, r0 = FFixedRows, c1 = columnCount() - 1, r1 = rowCount() - 1;
    if (col < c0 || row < r0 || c1 < c0 || r1 < r0) return false;
    // Each direction: a primary step, and when it runs out, a secondary step with the primary reset.
    const bool right = direction == nc_rightdown || direction == nc_downright || direction == nc_rightup ||
                       direction == nc_upright;
    const bool down = direction == nc_rightdown || direction == nc_downright || direction == nc_leftdown ||
                      direction == nc_downleft;
    const bool horizontalFirst = direction == nc_rightdown || direction == nc_leftdown ||
                                 direction == nc_leftup || direction == nc_rightup;
    const int dc = right ? 1 : -1, dr = down ? 1 : -1;
    const int startCol = right ? c0 : c1, startRow = down ? r0 : r1;
    int nc = col, nr = row;
    bool last = false;
    if (horizontalFirst) {
        nc += dc;
        if (nc < c0 || nc > c1) {
            nc = startCol;
            nr += dr;
            last = nr < r0 || nr > r1;
        }
    } else {
        nr += dr;
        if (nr < r0 || nr > r1) {
            nr = startRow;
            nc += dc;
            last = nc < c0 || nc > c1;
        }
    }
    if (last) {
        switch (afterLast) {
        case lc_newcolrow:
            if (horizontalFirst) {
                InsertRow(down ? rowCount() : r0);
                nr = down ? rowCount() - 1 : r0;
            } else {
                InsertCol(right ? columnCount() : c0);
                nc = right ? columnCount() - 1 : c0;
            }
            break;
        case lc_first:
            nc = startCol;
            nr = startRow;
            break;
        case lc_exit:
            focusNextPrevChild(true);
            return false;
        default:
            return false;
        }
    }
    setCurrentCell(nr, nc);
    return true;
}

bool TStringAlignGrid::PickListSearch(QWidget* editor, const QString& typed, int key) {
    auto* combo = qobject_cast<QComboBox*>(editor);
    if (!combo) return false;
    // A pause of more than two seconds starts a new search.
    if (!FSearchClock.isValid() || FSearchClock.elapsed() > 2000) FSearchText.clear();
    FSearchClock.restart();
    QString search = FSearchText;
    if (key == Qt::Key_Backspace)
        search.chop(1);
    else if (search.size() < 32)
        search += typed;
    if (search.isEmpty()) {
        FSearchText.clear();
        return true;
    }
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i).startsWith(search, Qt::CaseInsensitive)) {
            FSearchText = search;
            combo->setCurrentIndex(i);
            SetCells(FEditCol, FEditRow, combo->itemText(i));
            return true;
        }
    }
    QApplication::beep();
    return false;
}

void TStringAlignGrid::keyPressEvent(QKeyEvent* event) {
    const int col = currentColumn(), row = currentRow();
    const TControlInfo* control =
        col >= 0 && row >= 0 && !IsFixed(col, row) ? EffectiveControl(col, row) : nullptr;
    if (control && control->Kind == ck_CheckBox) {
        if (event->key() == Qt::Key_Space && FAllowEditing && EffectiveEditable(col, row)) {
            SetCells(col, row,
                     StoredCell(col, row) != control->CheckedText ? control->CheckedText
                                                                  : control->UncheckedText);
            emit OnAfterEdit(this, col, row);
            return;
        }
        if (!event->text().isEmpty() && event->key() != Qt::Key_Tab && event->key() != Qt::Key_Backtab)
            return; // nothing else is typed into a check-box cell
    }
    if (event->key() == Qt::Key_Tab) {
        MoveToNextCell(FNextCellTab, FAfterLastCellTab);
        return;
    }
    if (!FEditMask.isEmpty() && !event->text().isEmpty() && event->text()[0].isPrint()) {
        // A character the mask cannot take is dropped before the editor opens.
        QLineEdit probe;
        probe.setInputMask(FEditMask);
        probe.setCursorPosition(0);
        const QString before = probe.text();
        probe.insert(event->text());
        if (probe.text() == before) {
            QApplication::beep();
            return;
        }
    }
    QTableWidget::keyPressEvent(event);
}

void TStringAlignGrid::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid()) {
        if (index.row() < FFixedRows && index.column() >= FFixedCols)
            emit OnFixedRowClick(this, index.column());
        else if (index.column() < FFixedCols && index.row() >= FFixedRows)
            emit OnFixedColClick(this, index.row());
        if (IsFixed(index.column(), index.row())) return; // fixed cells are never current
    }
    QTableWidget::mousePressEvent(event);
}

bool TStringAlignGrid::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        if (!FShowCellHints || !index.isValid()) {
            QToolTip::hideText();
            return true;
        }
        const int col = index.column(), row = index.row();
        QString hint = CellHint(col, row);
        for (const TCellProperties* p : {Record(plCell, col, row), ColRecord(col, row), RowRecord(col, row)})
            if (hint.isEmpty() && p) hint = p->Hint;
        bool canShow = true;
        if (OnShowHintCell) OnShowHintCell(this, col, row, hint, canShow);
        if (canShow && !hint.isEmpty())
            QToolTip::showText(help->globalPos(), hint, viewport(), visualRect(index));
        else
            QToolTip::hideText();
        return true;
    }
    return QTableWidget::viewportEvent(event);
}
