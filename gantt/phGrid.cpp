#include "gantt/phGrid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTimeEdit>
#include <algorithm>

// ---------------------------------------------------------------------------------------------
// Nodes and the tree

void TphDataEntity_GridTreeNode::SetCellText(int col, const QString& text) {
    if (col < 0) return;
    while (Cells.size() <= col)
        Cells.append(QString());
    Cells[col] = text;
}

void TphDataEntity_GridTreeNode::CleanUp() {
    // Children go first, while their parent is still whole.
    if (SubList) {
        TphDataList_GridTree* sub = SubList;
        SubList = nullptr;
        sub->Release();
    }
    TphDataEntity::CleanUp();
}

TphGridTree::TphGridTree(TphDataListEvents* events) : FEvents(events), FRoot(new TphDataList_GridTree) {
    FRoot->Init(FEvents, phFactory<TphDataEntity_GridTreeNode>());
}

TphGridTree::~TphGridTree() {
    FRoot->Release();
}

TphDataEntity_GridTreeNode* TphGridTree::AddNode(TphDataEntity_GridTreeNode* parent) {
    TphDataList_GridTree* list = FRoot;
    if (parent) {
        if (!parent->SubList) {
            parent->SubList = new TphDataList_GridTree;
            parent->SubList->Init(FEvents, phFactory<TphDataEntity_GridTreeNode>());
            parent->SubList->ParentNode = parent;
        }
        list = parent->SubList;
    }
    // The factory's node is attached before Inserted fires, so the parent is known to handlers.
    auto* node = static_cast<TphDataEntity_GridTreeNode*>(list->Append());
    return node;
}

void TphGridTree::Clear() {
    FRoot->Clear();
}

// ---------------------------------------------------------------------------------------------
// Editors

namespace {

// Commits on Enter, cancels on Escape, for every kind of editor.
class TphEditorKeys : public QObject {
public:
    explicit TphEditorKeys(TphGrid* grid) : QObject(grid), FGrid(grid) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                if (!qobject_cast<QPlainTextEdit*>(watched) || key->modifiers() & Qt::ControlModifier) {
                    FGrid->EndEdit();
                    return true;
                }
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TphGrid* FGrid;
};

QString shortDateFormat() {
    return QLocale().dateFormat(QLocale::ShortFormat);
}

} // namespace

bool TphGrid::ReadDateText(const QString& text, QDate& date) {
    const QString format = shortDateFormat();
    QString t = text.trimmed();
    QString f = format;
    if (format.contains(QStringLiteral("MMM"))) {
        // Month names become numbers first, so one numeric format reads them.
        for (int m = 1; m <= 12; ++m) {
            const QString name = QLocale().monthName(m, QLocale::ShortFormat);
            if (!name.isEmpty() && t.contains(name, Qt::CaseInsensitive))
                t.replace(name, QString::number(m), Qt::CaseInsensitive);
        }
        f.replace(QStringLiteral("MMMM"), QStringLiteral("M"))
            .replace(QStringLiteral("MMM"), QStringLiteral("M"));
    }
    date = QLocale().toDate(t, f);
    if (!date.isValid()) date = QDate::fromString(t, f);
    // Two-digit years read as this century.
    if (date.isValid() && date.year() < 1950 && !f.contains(QStringLiteral("yyyy")))
        date = date.addYears(100);
    return date.isValid();
}

// ---------------------------------------------------------------------------------------------
// TphGrid

TphGrid::TphGrid(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    FNodeEvents.Deleted = [this](TphDataEntity* e) {
        auto* node = static_cast<TphDataEntity_GridTreeNode*>(e);
        if (node == FEditNode) {
            delete FEditor;
            FEditor = nullptr;
            FEditNode = nullptr;
        }
        FDisplayDirty = true;
        // While the grid goes, its owner has already let go of the rows.
        if (OnNodeDeleted && !FDestroying) OnNodeDeleted(node);
    };
    FNodeEvents.Inserted = [this](TphDataEntity* e) {
        auto* node = static_cast<TphDataEntity_GridTreeNode*>(e);
        if (auto* list = static_cast<TphDataList_GridTree*>(e->Owner)) node->ParentNode = list->ParentNode;
        if (OnNodeInserted) OnNodeInserted(node);
    };
    FNodeEvents.ContentChanged = [this](TphDataList*) {
        if (!FDestroying) AxisChanged();
    };
    FNodeEvents.CountChanged = FNodeEvents.ContentChanged;
    FNodeEvents.SelectionChanged = [this](TphDataList*, TphDataEntity*) {
        if (!FDestroying) update();
    };
    FTree = new TphGridTree(&FNodeEvents);
}

TphGrid::~TphGrid() {
    FDestroying = true;
    delete FEditor;
    FEditor = nullptr;
    delete FTree;
}

void TphGrid::SetColumns(const std::vector<TphGrid_Column>& columns) {
    FColumns = columns;
    update();
}

void TphGrid::AxisChanged() {
    // Display order is rebuilt on the next question, not here: rows often come in thousands.
    FDisplayDirty = true;
    if (OnAxisChanged) OnAxisChanged(this);
    update();
}

void TphGrid::AddToDisplay(TphDataList* list) {
    const int n = list->Count();
    for (int i = 0; i < n; ++i) {
        auto* node = static_cast<TphDataEntity_GridTreeNode*>(list->Get(i));
        if (!node) continue;
        node->DisplayIndex = int(FDisplay.size());
        node->DisplayGeneration = FDisplayGeneration;
        FDisplay.push_back(node);
        if (node->Expanded && node->SubList) AddToDisplay(node->SubList);
    }
}

void TphGrid::RebuildDisplay() {
    if (!FDisplayDirty) return;
    // Nodes left out (collapsed, removed) keep an old number; the generation tells them apart.
    ++FDisplayGeneration;
    FDisplay.clear();
    FDisplayDirty = false;
    AddToDisplay(FTree->Root());
    if (FFocusedRow >= int(FDisplay.size())) FFocusedRow = int(FDisplay.size()) - 1;
    if (FTopRow > 0 && FTopRow >= int(FDisplay.size())) FTopRow = std::max(0, int(FDisplay.size()) - 1);
}

int TphGrid::DisplayRowCount() {
    RebuildDisplay();
    return int(FDisplay.size());
}

TphDataEntity_GridTreeNode* TphGrid::NodeAt(int displayRow) {
    RebuildDisplay();
    return displayRow >= 0 && displayRow < int(FDisplay.size()) ? FDisplay[size_t(displayRow)] : nullptr;
}

int TphGrid::DisplayIndexOf(TphDataEntity_GridTreeNode* node) {
    RebuildDisplay();
    return node && node->DisplayGeneration == FDisplayGeneration ? node->DisplayIndex : -1;
}

QString TphGrid::Cell(int col, int gridRow) {
    if (FHasHeaders && gridRow == 0)
        return col >= 0 && col < int(FColumns.size()) ? FColumns[size_t(col)].HeaderText : QString();
    TphDataEntity_GridTreeNode* node = NodeOfGridRow(gridRow);
    return node ? node->CellText(col) : QString();
}

void TphGrid::SetCell(int col, int gridRow, const QString& text) {
    if (FHasHeaders && gridRow == 0) {
        if (col >= 0 && col < int(FColumns.size())) FColumns[size_t(col)].HeaderText = text;
    } else if (TphDataEntity_GridTreeNode* node = NodeOfGridRow(gridRow)) {
        node->SetCellText(col, text);
    }
    update();
}

int TphGrid::RowHeight(int displayRow) {
    TphDataEntity_GridTreeNode* node = NodeAt(displayRow);
    return node && node->Height > 0 ? node->Height : DefaultRowHeight;
}

void TphGrid::SetRowHeight(int displayRow, int height) {
    if (TphDataEntity_GridTreeNode* node = NodeAt(displayRow)) {
        node->Height = std::max(0, height);
        if (OnAxisChanged) OnAxisChanged(this);
        update();
    }
}

int TphGrid::ColumnLeft(int col) const {
    int x = FHasInfoCol ? InfoColWidth : 0;
    for (int c = 0; c < col && c < int(FColumns.size()); ++c)
        if (!FColumns[size_t(c)].Hidden) x += FColumns[size_t(c)].Width;
    return x;
}

int TphGrid::ColumnWidth(int col) const {
    if (col < 0 || col >= int(FColumns.size()) || FColumns[size_t(col)].Hidden) return 0;
    int w = FColumns[size_t(col)].Width;
    if (FExtendLast) {
        int last = int(FColumns.size()) - 1;
        while (last >= 0 && FColumns[size_t(last)].Hidden)
            --last;
        if (col == last) w = std::max(w, width() - ColumnLeft(col));
    }
    return w;
}

int TphGrid::ColumnAtX(int x) const {
    for (int c = 0; c < int(FColumns.size()); ++c) {
        const int l = ColumnLeft(c);
        const int w = ColumnWidth(c);
        if (w > 0 && x >= l && x < l + w) return c;
    }
    return -1;
}

QRect TphGrid::CellRect(int col, int gridRow) {
    const int x = ColumnLeft(col);
    const int w = ColumnWidth(col);
    if (FHasHeaders && gridRow == 0) return QRect(x, 0, w, HeaderHeight());
    const int row = gridRow - HeaderRows();
    if (row < FTopRow || row >= DisplayRowCount()) return {};
    int y = HeaderHeight();
    for (int r = FTopRow; r < row; ++r) {
        y += RowHeight(r);
        if (y >= height()) return {};
    }
    if (y >= height()) return {};
    return QRect(x, y, w, RowHeight(row));
}

void TphGrid::SetTopRow(int row) {
    const int count = DisplayRowCount();
    row = std::clamp(row, 0, std::max(0, count - 1));
    if (row == FTopRow) return;
    FTopRow = row;
    if (FEditor) EndEdit();
    update();
    RaiseTopLeftChanged();
}

void TphGrid::RaiseTopLeftChanged() {
    if (OnTopLeftChanged) OnTopLeftChanged(this);
}

int TphGrid::VisibleRowCount() {
    const int count = DisplayRowCount();
    int y = HeaderHeight();
    int n = 0;
    for (int r = FTopRow; r < count && y < height(); ++r, ++n)
        y += RowHeight(r);
    return n;
}

int TphGrid::DisplayRowAtY(int y) {
    if (y < HeaderHeight()) return -1;
    const int count = DisplayRowCount();
    int top = HeaderHeight();
    for (int r = FTopRow; r < count && top < height(); ++r) {
        const int h = RowHeight(r);
        if (y < top + h) return r;
        top += h;
    }
    return -1;
}

void TphGrid::SetFocusedRow(int displayRow, bool select) {
    if (displayRow < 0 || displayRow >= DisplayRowCount()) return;
    FFocusedRow = displayRow;
    if (select) SelectRow(displayRow, 0);
    // Keep the focused row on screen.
    if (displayRow < FTopRow)
        SetTopRow(displayRow);
    else
        while (displayRow >= FTopRow + std::max(1, VisibleRowCount() - 1) && FTopRow < displayRow)
            SetTopRow(FTopRow + 1);
    if (OnCellSelectionChanged) OnCellSelectionChanged(this, FFocusedCol, GridRowOf(displayRow));
    update();
}

void TphGrid::SelectRow(int displayRow, int shift) {
    TphDataEntity_GridTreeNode* node = NodeAt(displayRow);
    if (!node) return;
    if (FMultiSelect && (shift & 4)) {
        node->SetSelected(!node->Selected);
        FAnchorRow = displayRow;
    } else if (FMultiSelect && (shift & 1) && FAnchorRow >= 0) {
        for (TphDataEntity_GridTreeNode* n : SelectedNodes())
            n->SetSelected(false);
        const int a = std::min(FAnchorRow, displayRow);
        const int b = std::max(FAnchorRow, displayRow);
        for (int r = a; r <= b; ++r)
            NodeAt(r)->SetSelected(true);
    } else {
        for (TphDataEntity_GridTreeNode* n : SelectedNodes())
            if (n != node) n->SetSelected(false);
        node->SetSelected(true);
        FAnchorRow = displayRow;
    }
    if (OnSelectionChanged) OnSelectionChanged(this);
    update();
}

std::vector<TphDataEntity_GridTreeNode*> TphGrid::SelectedNodes() {
    RebuildDisplay();
    std::vector<TphDataEntity_GridTreeNode*> result;
    for (TphDataEntity_GridTreeNode* node : FDisplay)
        if (node->Selected) result.push_back(node);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Sorting

QString TphGrid::SortKey(int displayRow, int col) {
    return SortKeyOf(NodeAt(displayRow), col, displayRow);
}

QString TphGrid::SortKeyOf(TphDataEntity_GridTreeNode* node, int col, int displayRow) {
    if (!node) return {};
    const TphGrid_Column* column = col >= 0 && col < int(FColumns.size()) ? &FColumns[size_t(col)] : nullptr;
    QString text = node->CellText(col);
    if (column && column->Kind == tckDate) {
        QDate d;
        if (ReadDateText(text, d)) text = d.toString(QStringLiteral("yyyy-MM-dd"));
    }
    text = text.toUpper();
    if (column && column->NumericSort) {
        const bool negative = text.startsWith(QLatin1Char('-'));
        if (negative) text.remove(0, 1);
        text = (QStringLiteral("00000000000000000") + text).right(17);
        text.prepend(negative ? QLatin1Char('A') : QLatin1Char('B'));
    }
    text += QStringLiteral("###") + QStringLiteral("%1").arg(node->GetIndex(), 10, 10, QLatin1Char('0'));
    if (OnGetUserSortCompareString) OnGetUserSortCompareString(this, displayRow, col, text);
    return text;
}

int TphGrid::CompareKeys(const QString& a, const QString& b, bool descending) {
    auto sign = [](int c) { return c < 0 ? -1 : (c > 0 ? 1 : 0); };
    const int ia = int(a.lastIndexOf(QStringLiteral("###")));
    const int ib = int(b.lastIndexOf(QStringLiteral("###")));
    // Larger magnitudes of negative numbers sort first; rows with equal values keep their order.
    const bool bothNegative =
        a.startsWith(QLatin1Char('A')) && b.startsWith(QLatin1Char('A')) && ia == 18 && ib == 18;
    int c;
    if (bothNegative) {
        c = -sign(QStringView(a).left(ia).compare(QStringView(b).left(ib)));
        if (c == 0) c = sign(QStringView(a).mid(ia).compare(QStringView(b).mid(ib)));
    } else {
        c = sign(a.compare(b));
    }
    return descending ? -c : c;
}

void TphGrid::SortByColumn(int col, bool descending) {
    RebuildDisplay();
    FSortCol = col;
    FSortDescending = descending;
    std::function<void(TphDataList*)> sortList = [&](TphDataList* list) {
        // Load every position; the keys need each row.
        const int n = list->Count();
        std::vector<std::pair<QString, TphDataEntity*>> keyed;
        keyed.reserve(size_t(n));
        for (int i = 0; i < n; ++i) {
            auto* node = static_cast<TphDataEntity_GridTreeNode*>(list->Get(i));
            keyed.emplace_back(SortKeyOf(node, col, DisplayIndexOf(node)), node);
            if (node->SubList) sortList(node->SubList);
        }
        std::stable_sort(keyed.begin(), keyed.end(), [descending](const auto& a, const auto& b) {
            return CompareKeys(a.first, b.first, descending) < 0;
        });
        if (list->UnloadedBefore || list->UnloadedAfter) return;
        for (size_t i = 0; i < keyed.size(); ++i)
            list->Loaded[i] = keyed[i].second;
        list->MarkIndexDirty(0);
    };
    sortList(FTree->Root());
    if (OnColumnSort) OnColumnSort(this, col, descending);
    AxisChanged();
}

// ---------------------------------------------------------------------------------------------
// Editing

void TphGrid::BeginEdit(int col, int displayRow) {
    EndEdit();
    if (col < 0 || col >= int(FColumns.size())) return;
    const TphGrid_Column& column = FColumns[size_t(col)];
    TphDataEntity_GridTreeNode* node = NodeAt(displayRow);
    if (!node || column.ReadOnly) return;
    const QRect r = CellRect(col, GridRowOf(displayRow));
    if (r.isEmpty()) return;
    const QString text = node->CellText(col);
    QWidget* editor = nullptr;
    switch (column.Kind) {
    case tckSimpleEdit:
        editor = new QLineEdit(text, this);
        break;
    case tckMemo: {
        auto* memo = new QPlainTextEdit(this);
        memo->setPlainText(text);
        editor = memo;
        break;
    }
    case tckBool: {
        auto* box = new QCheckBox(this);
        box->setChecked(text.compare(QStringLiteral("TRUE"), Qt::CaseInsensitive) == 0);
        editor = box;
        break;
    }
    case tckCombo: {
        auto* combo = new QComboBox(this);
        combo->setEditable(true);
        combo->addItems(column.ComboItems);
        combo->setCurrentText(text);
        editor = combo;
        break;
    }
    case tckDate: {
        auto* edit = new QDateEdit(this);
        QDate d;
        edit->setDate(ReadDateText(text, d) ? d : QDate::currentDate());
        editor = edit;
        break;
    }
    case tckTime: {
        auto* edit = new QTimeEdit(this);
        edit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
        edit->setTime(QTime::fromString(text, QStringLiteral("HH:mm:ss")));
        editor = edit;
        break;
    }
    case tckSubGrid:
    case tckSubTree:
        return;
    }
    editor->installEventFilter(new TphEditorKeys(this));
    editor->setGeometry(r);
    editor->show();
    editor->setFocus();
    FEditor = editor;
    FEditCol = col;
    FEditNode = node;
}

void TphGrid::EndEdit() {
    if (!FEditor) return;
    QWidget* editor = FEditor;
    FEditor = nullptr;
    const bool hadFocus = editor->hasFocus();
    QString text;
    if (auto* e = qobject_cast<QLineEdit*>(editor))
        text = e->text();
    else if (auto* m = qobject_cast<QPlainTextEdit*>(editor))
        text = m->toPlainText();
    else if (auto* b = qobject_cast<QCheckBox*>(editor))
        text = b->isChecked() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    else if (auto* c = qobject_cast<QComboBox*>(editor))
        text = c->currentText();
    else if (auto* d = qobject_cast<QDateEdit*>(editor); d && !qobject_cast<QTimeEdit*>(editor))
        text = QLocale().toString(d->date(), QLocale::ShortFormat);
    else if (auto* t = qobject_cast<QTimeEdit*>(editor))
        text = t->time().toString(QStringLiteral("HH:mm:ss"));
    TphDataEntity_GridTreeNode* node = FEditNode;
    FEditNode = nullptr;
    editor->hide();
    editor->deleteLater();
    if (node) node->SetCellText(FEditCol, text);
    if (OnEditStop && node) OnEditStop(this, FEditCol, GridRowOf(DisplayIndexOf(node)));
    if (hadFocus) setFocus();
    update();
}

// ---------------------------------------------------------------------------------------------
// Properties

void TphGrid::SetHasHeaders(bool v) {
    FHasHeaders = v;
    AxisChanged();
}

void TphGrid::SetHasInfoCol(bool v) {
    FHasInfoCol = v;
    update();
}

void TphGrid::SetExtendLastColumnToWidth(bool v) {
    FExtendLast = v;
    update();
}

// ---------------------------------------------------------------------------------------------
// Painting and input

void TphGrid::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), Qt::white);
    const int count = DisplayRowCount();
    const QColor lines(0xC0, 0xC0, 0xC0);
    if (FHasHeaders) {
        p.fillRect(0, 0, width(), HeaderHeight(), pal.button());
        for (int c = 0; c < int(FColumns.size()); ++c) {
            const int w = ColumnWidth(c);
            if (w <= 0) continue;
            const QRect r(ColumnLeft(c), 0, w, HeaderHeight());
            p.setPen(pal.color(QPalette::ButtonText));
            p.drawText(r.adjusted(3, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft,
                       FColumns[size_t(c)].HeaderText);
            p.setPen(lines.darker(130));
            p.drawLine(r.right(), r.top(), r.right(), r.bottom());
        }
        p.drawLine(0, HeaderHeight() - 1, width(), HeaderHeight() - 1);
    }
    int y = HeaderHeight();
    for (int r = FTopRow; r < count && y < height(); ++r) {
        TphDataEntity_GridTreeNode* node = FDisplay[size_t(r)];
        const int h = RowHeight(r);
        if (FHasInfoCol) {
            p.fillRect(0, y, InfoColWidth, h, pal.button());
            if (r == FFocusedRow) {
                p.setBrush(Qt::black);
                p.setPen(Qt::NoPen);
                const QPoint tri[3] = {{3, y + h / 2 - 4}, {8, y + h / 2}, {3, y + h / 2 + 4}};
                p.drawPolygon(tri, 3);
            }
        }
        for (int c = 0; c < int(FColumns.size()); ++c) {
            const int w = ColumnWidth(c);
            if (w <= 0) continue;
            const QRect cell(ColumnLeft(c), y, w, h);
            const bool selected = node->Selected && (FRowSelect || c == FFocusedCol);
            if (selected) p.fillRect(cell, pal.highlight());
            int textLeft = cell.left() + 3;
            if (FColumns[size_t(c)].TreeButton) {
                int depth = 0;
                for (auto* n = node->ParentNode; n; n = n->ParentNode)
                    ++depth;
                textLeft += depth * 12;
                if (node->SubList && node->SubList->Count() > 0) {
                    const QRect b(textLeft, y + h / 2 - 4, 9, 9);
                    p.setPen(Qt::gray);
                    p.setBrush(Qt::white);
                    p.drawRect(b);
                    p.setPen(Qt::black);
                    p.drawLine(b.left() + 2, b.center().y(), b.right() - 2, b.center().y());
                    if (!node->Expanded)
                        p.drawLine(b.center().x(), b.top() + 2, b.center().x(), b.bottom() - 2);
                }
                textLeft += 12;
            }
            p.setPen(selected ? pal.color(QPalette::HighlightedText) : QColor(Qt::black));
            p.drawText(QRect(textLeft, y, cell.right() - textLeft - 1, h), Qt::AlignVCenter | Qt::AlignLeft,
                       node->CellText(c));
            p.setPen(lines);
            p.drawLine(cell.right(), y, cell.right(), y + h - 1);
        }
        p.setPen(lines);
        p.drawLine(0, y + h - 1, width(), y + h - 1);
        if (r == FFocusedRow && hasFocus()) {
            p.setPen(QPen(Qt::black, 1, Qt::DotLine));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRect(FHasInfoCol ? InfoColWidth : 0, y,
                             width() - (FHasInfoCol ? InfoColWidth : 0) - 1, h - 2));
        }
        y += h;
    }
}

void TphGrid::mousePressEvent(QMouseEvent* event) {
    setFocus();
    const QPoint pos = event->position().toPoint();
    if (FHasHeaders && pos.y() < HeaderHeight()) {
        const int c = ColumnAtX(pos.x());
        if (FUserSortEnable && c >= 0 && FColumns[size_t(c)].SortEnable)
            SortByColumn(c, c == FSortCol ? !FSortDescending : false);
        return;
    }
    const int r = DisplayRowAtY(pos.y());
    if (r < 0) return;
    const int c = ColumnAtX(pos.x());
    if (c >= 0) FFocusedCol = c;
    if (c >= 0 && FColumns[size_t(c)].TreeButton) {
        TphDataEntity_GridTreeNode* node = NodeAt(r);
        if (node->SubList && node->SubList->Count() > 0 && pos.x() < ColumnLeft(c) + 30) {
            node->Expanded = !node->Expanded;
            AxisChanged();
            return;
        }
    }
    if (event->button() == Qt::RightButton && OnRightClick) OnRightClick(this, c, GridRowOf(r));
    int shift = 0;
    if (event->modifiers() & Qt::ShiftModifier) shift |= 1;
    if (event->modifiers() & Qt::ControlModifier) shift |= 4;
    FFocusedRow = r;
    SelectRow(r, shift);
    if (OnCellSelectionChanged) OnCellSelectionChanged(this, FFocusedCol, GridRowOf(r));
    if (FAutoEditMode) BeginEdit(FFocusedCol, r);
}

void TphGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    const int r = DisplayRowAtY(int(event->position().y()));
    const int c = ColumnAtX(int(event->position().x()));
    if (r >= 0 && c >= 0) BeginEdit(c, r);
}

void TphGrid::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
        SetFocusedRow(std::max(0, FFocusedRow - 1));
        break;
    case Qt::Key_Down:
        SetFocusedRow(std::min(DisplayRowCount() - 1, FFocusedRow + 1));
        break;
    case Qt::Key_F2:
        BeginEdit(FFocusedCol, FFocusedRow);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void TphGrid::wheelEvent(QWheelEvent* event) {
    ScrollRows(event->angleDelta().y() > 0 ? -3 : 3);
}

void TphGrid::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (OnAxisChanged) OnAxisChanged(this);
}
