#include "workbench/Krta07SCF.h"

#include <QAction>
#include <QCloseEvent>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSet>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <numeric>

#include "controls/KvEdit.h"
#include "controls/KvGuard.h"
#include "lang/CodeConverter.h"
#include "platform/Numbers.h"
#include "platform/data/Field.h"
#include "support/LibStrs.h"
#include "workbench/Krta07SMF.h"

QString Krta07DateEditMask(int code, const QString& sep) {
    // The years of the republic calendar (4 and 5) reach three digits from 2011 on: a two-digit mask
    // would cut a year such as 115 and the text would read as another day.
    const QString year = code >= 1 && code <= 3 ? QStringLiteral("9999") : QStringLiteral("999");
    const QString two = QStringLiteral("99");
    if (code == 2 || code == 3) return two + sep + two + sep + year + QStringLiteral(";1; ");
    return year + sep + two + sep + two + QStringLiteral(";1; ");
}

QString Krta07DisplayDateToText(const QString& typed, int code, const QString& sep) {
    const QString text = typed.trimmed();
    if (text.isEmpty()) return {};
    QStringList parts = sep.isEmpty() ? QStringList{text} : text.split(sep);
    // Without a separator the parts stand where the edit mask puts them: the year last for codes 2
    // and 3, first (of any length) for the others, and two digits each for month and day.
    if (sep.isEmpty() && text.size() > 4 &&
        std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; })) {
        const qsizetype n = text.size();
        parts = code == 2 || code == 3 ? QStringList{text.left(2), text.mid(2, 2), text.mid(4)}
                                       : QStringList{text.left(n - 4), text.mid(n - 4, 2), text.right(2)};
    }
    int p[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        p[i] = i < parts.size() ? parts[i].trimmed().toInt(&ok) : 0;
        if (!ok) return text;
    }
    int y, m, d;
    switch (code) {
    case 1:
        y = p[0], m = p[1], d = p[2];
        break;
    case 2:
        y = p[2], m = p[0], d = p[1];
        break;
    case 3:
        y = p[2], m = p[1], d = p[0];
        break;
    case 4:
    case 5:
        y = p[0] + 1911, m = p[1], d = p[2];
        break;
    default:
        return {};
    }
    return QString::asprintf("%d%.2d%.2d", y, m, d);
}

void TKrta07QuantitySum::Add(double value) {
    FSum += value;
    FMagnitude += std::fabs(value);
    ++FTerms;
}

bool TKrta07QuantitySum::Equals(double quantity) const {
    // Each typed decimal and each addition may be off by half a unit in the last place of a double
    // (33.3 + 33.3 + 33.4): the bound of those errors, with room for the quantity's own rounding.
    const double magnitude = std::max(FMagnitude, std::fabs(quantity));
    return std::fabs(FSum - quantity) <= double(2 * FTerms + 2) * DBL_EPSILON * magnitude;
}

namespace {

// A quantity as the sum reads it: 0 when it is no number.
double numberOf(const QString& text) {
    if (text.size() == 1 && text[0] >= u'0' && text[0] <= u'9')
        return text[0].unicode() - u'0'; // most days: "0"
    double v = 0;
    return kv::tryStrToFloat(text, v) ? v : 0;
}

// The longest remark a day row holds.
constexpr int kRemarkBytes = 255;

// The day column edits through the company date mask, the quantity column takes digits and points.
class TDayDelegate : public QStyledItemDelegate {
public:
    TDayDelegate(TfrmKrta07SC* form) : QStyledItemDelegate(form), FForm(form) {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* w = QStyledItemDelegate::createEditor(parent, option, index);
        auto* edit = qobject_cast<QLineEdit*>(w);
        if (!edit) return w;
        if (index.column() == 0) {
            // The mask in the form the platform's edits read: optional digits, literals, blank.
            const QString mask = FForm->sgTimeGetEditMask(0, index.row() + 1);
            QString qt;
            for (QChar c : mask.section(QLatin1Char(';'), 0, 0))
                qt += c == QLatin1Char('9')                                    ? QStringLiteral("0")
                      : QStringLiteral("AaNnXx90Dd#HhBb><![]{}\\").contains(c) ? QStringLiteral("\\") + c
                                                                               : QString(c);
            edit->setInputMask(qt + QStringLiteral("; "));
        } else if (index.column() == 1) {
            edit->setValidator(
                new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9.]*")), edit));
        } else if (index.column() == 2) {
            // As long as a day row's remark may be: a longer one would fail the whole save.
            KvLimitBytes(edit, kRemarkBytes);
        }
        return edit;
    }

private:
    TfrmKrta07SC* FForm;
};

} // namespace

// One row of the editor. Day is what the row's day text reads as; Typed holds that text only when it
// differs from Day in the company format. Value is the quantity as the sum reads it.
struct TKrta07DayRow {
    kv::TDateTime Day = 0;
    double Value = 0;
    QString Typed, Quantity, Remark;
    // A remark converted for display, and what it was stored as: an untouched remark goes back as it
    // was, since converting there and back may not give every character back.
    QString Shown, Stored;
};

namespace {
// A day text that is not blank.
bool hasDay(const TKrta07DayRow& r) {
    return r.Typed.isNull() ? r.Day != 0 : !r.Typed.trimmed().isEmpty();
}
bool earlierDay(const TKrta07DayRow& a, const TKrta07DayRow& b) {
    return a.Day < b.Day;
}
} // namespace

class TKrta07DayModel : public QAbstractTableModel {
public:
    explicit TKrta07DayModel(TfrmKrta07SC* form) : QAbstractTableModel(form), FForm(form) {}

    std::vector<TKrta07DayRow> Rows;

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(Rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 3; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid()) return {};
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return FForm->Cells(index.column(), index.row() + 1);
        if (role == Qt::BackgroundRole && fixed(index)) return FForm->palette().button();
        return {};
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        if (!index.isValid()) return Qt::NoItemFlags;
        return fixed(index) ? Qt::ItemIsEnabled | Qt::ItemIsSelectable
                            : Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
    }
    // A cell typed by the planner: the sum follows each quantity once the dialog shows.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (!index.isValid() || role != Qt::EditRole) return false;
        FForm->SetCells(index.column(), index.row() + 1, value.toString());
        if (index.column() == 1 && FForm->isVisible() && !FForm->FSorting) FForm->ShowSum();
        return true;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole) return FForm->Message(section);
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    void CellChanged(int row, int col) { emit dataChanged(index(row, col), index(row, col)); }
    void HeaderChanged() { emit headerDataChanged(Qt::Horizontal, 0, 2); }
    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }
    void Resize(int count) {
        const int old = int(Rows.size());
        if (count > old) {
            beginInsertRows({}, old, count - 1);
            Rows.resize(size_t(count));
            endInsertRows();
        } else if (count < old) {
            beginRemoveRows({}, count, old - 1);
            Rows.resize(size_t(count));
            endRemoveRows();
        }
    }
    void RowsChanged(int first, int last) {
        if (first <= last) emit dataChanged(index(first, 0), index(last, 2));
    }

private:
    // In single-day mode the day is the fixed column.
    bool fixed(const QModelIndex& index) const { return index.column() == 0 && !FForm->WholeBar(); }
    TfrmKrta07SC* FForm;
};

TfrmKrta07SC::TfrmKrta07SC(QWidget* owner, int code, const QString& sep, double quantity, bool editable)
    : TKVForm(owner), FCode(code), FSep(sep), FQuantity(quantity), FEditable(editable) {
    setObjectName(QStringLiteral("frmKrta07SC"));
    setWindowFlag(Qt::Dialog);
    setWindowModality(Qt::ApplicationModal);
    setWindowTitle(QString::fromUtf8("编辑每日产能"));

    MeoTime = new QPlainTextEdit(this);
    MeoTime->setObjectName(QStringLiteral("MeoTime"));
    MeoTime->setPlainText(QString::fromUtf8("日期\n数量\n备注\n日期已存在\n数量不是有效的数字:"));
    MeoTime->hide();

    // Dates shown in the company format must read back as the same days for a row to keep its date
    // alone; a format that does not (no separator, or one that is a digit or a sign) keeps texts.
    FDatesRoundTrip = true;
    for (const char* day : {"17530101", "19111231", "20260110", "99991231"}) {
        const kv::TDateTime date = TransDateIn(QLatin1String(day));
        if (TransDateIn(Krta07DisplayDateToText(DateToString(date, FCode, FSep), FCode, FSep)) != date)
            FDatesRoundTrip = false;
    }

    auto* layout = new QVBoxLayout(this);
    FDays = new TKrta07DayModel(this);
    sgTime = new QTableView(this);
    sgTime->setObjectName(QStringLiteral("sgTime"));
    sgTime->setModel(FDays);
    sgTime->horizontalHeader()->setDefaultSectionSize(100);
    sgTime->setColumnWidth(2, 200);
    sgTime->horizontalHeader()->setSectionsMovable(true);
    sgTime->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    sgTime->setSelectionMode(QAbstractItemView::ContiguousSelection);
    sgTime->setShowGrid(true);
    sgTime->setItemDelegate(new TDayDelegate(this));
    sgTime->setEditTriggers(editable
                                ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                      QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked
                                : QAbstractItemView::NoEditTriggers);
    layout->addWidget(sgTime, 1);

    auto* bottom = new QHBoxLayout;
    edSum = new TKvEdit(this);
    edSum->setObjectName(QStringLiteral("edSum"));
    edSum->SetCaption(QString::fromUtf8("数量合计"));
    edSum->setReadOnly(true);
    edSum->setText(QStringLiteral("0"));
    bottom->addSpacing(60);
    bottom->addWidget(edSum);
    bottom->addStretch(1);
    btnOk = new QPushButton(QString::fromUtf8("确定"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnCancel = new QPushButton(QString::fromUtf8("取消"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    bottom->addWidget(btnOk);
    bottom->addWidget(btnCancel);
    layout->addLayout(bottom);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N1 = PopupMenu1->addAction(QString::fromUtf8("插入一行"));
    N1->setObjectName(QStringLiteral("N1"));
    N2 = PopupMenu1->addAction(QString::fromUtf8("删除一行"));
    N2->setObjectName(QStringLiteral("N2"));
    connect(N1, &QAction::triggered, this, [this] { InsertDay(); });
    connect(N2, &QAction::triggered, this, [this] { DeleteDay(); });
    connect(sgTime, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(sgTime->viewport()->mapToGlobal(at)); });

    connect(sgTime->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) {
                sgTimeSelectCell(current.column(), current.row() + 1);
            });
    connect(btnOk, &QPushButton::clicked, this, [this] {
        if (!FormCloseQuery()) return;
        FAccepted = true;
        close();
    });
    connect(btnCancel, &QPushButton::clicked, this, [this] { close(); });
    SetWholeBar(true);
    resize(460, 360);
}

TfrmKrta07SC::~TfrmKrta07SC() = default;

QString TfrmKrta07SC::Message(int index) const {
    return MeoTime->toPlainText().split(QLatin1Char('\n')).value(index);
}

void TfrmKrta07SC::SetWholeBar(bool value) {
    FWholeBar = value;
    // Days are inserted and deleted only over a whole bar being edited.
    sgTime->setContextMenuPolicy(value && FEditable ? Qt::CustomContextMenu : Qt::NoContextMenu);
    // The day column is fixed in single-day mode.
    FDays->RowsChanged(0, RowCount() - 2);
}

int TfrmKrta07SC::RowCount() const {
    return int(FDays->Rows.size()) + 1;
}

void TfrmKrta07SC::SetRowCount(int count) {
    const int rows = std::max(count - 1, 0);
    for (auto it = FQuantityBefore.begin(); it != FQuantityBefore.end();)
        it = it.key() >= rows ? FQuantityBefore.erase(it) : std::next(it);
    FDays->Resize(rows);
}

QString TfrmKrta07SC::DayText(kv::TDateTime day) const {
    return DateToString(day, FCode, FSep);
}

QString TfrmKrta07SC::StoredRemark(int row) const {
    if (row < 1 || row >= RowCount()) return {};
    const TKrta07DayRow& r = FDays->Rows[size_t(row - 1)];
    if (!r.Shown.isNull() && r.Remark == r.Shown) return r.Stored;
    // Typed in the interface's script: stored in the database's, as the line grid's texts are.
    return KvConverter ? KvConverter->RecoverUIString(kv::Variant(r.Remark)).toString() : r.Remark;
}

QString TfrmKrta07SC::Cells(int col, int row) const {
    if (row == 0) return Message(col);
    if (row < 1 || row >= RowCount()) return {};
    const TKrta07DayRow& r = FDays->Rows[size_t(row - 1)];
    switch (col) {
    case 0:
        return r.Typed.isNull() ? DateToString(r.Day, FCode, FSep) : r.Typed;
    case 1:
        return r.Quantity;
    case 2:
        return r.Remark;
    default:
        return {};
    }
}

void TfrmKrta07SC::StoreDayText(int index, const QString& text) {
    TKrta07DayRow& r = FDays->Rows[size_t(index)];
    r.Day = TransDateIn(Krta07DisplayDateToText(text, FCode, FSep));
    const bool shown = text.isEmpty() || (r.Day != 0 && DateToString(r.Day, FCode, FSep) == text);
    r.Typed = shown ? QString() : text;
}

void TfrmKrta07SC::StoreDay(int index, kv::TDateTime day) {
    static const kv::TDateTime first = TransDateIn(QStringLiteral("10000101")),
                               last = TransDateIn(QStringLiteral("99991231"));
    if (FDatesRoundTrip && day >= first && day <= last && day == std::floor(day)) {
        TKrta07DayRow& r = FDays->Rows[size_t(index)];
        r.Day = day;
        r.Typed = QString();
    } else {
        StoreDayText(index, DateToString(day, FCode, FSep));
    }
}

void TfrmKrta07SC::SetCells(int col, int row, const QString& text) {
    if (row < 1 || row >= RowCount() || col < 0 || col > 2) return;
    const int index = row - 1;
    TKrta07DayRow& r = FDays->Rows[size_t(index)];
    if (col == 0) {
        StoreDayText(index, text);
    } else if (col == 1) {
        // The quantity to go back to when a typed one is refused.
        double quantity = 0;
        if (text.trimmed().isEmpty() || kv::tryStrToFloat(text, quantity))
            FQuantityBefore.remove(index);
        else if (!FQuantityBefore.contains(index))
            FQuantityBefore.insert(index, r.Quantity);
        r.Quantity = text;
        r.Value = numberOf(text);
    } else {
        r.Remark = text;
    }
    FDays->CellChanged(index, col);
}

void TfrmKrta07SC::SetDay(int row, kv::TDateTime day, const QString& quantity, const QString& remark) {
    if (row < 1 || row >= RowCount()) return;
    StoreDay(row - 1, day);
    TKrta07DayRow& r = FDays->Rows[size_t(row - 1)];
    r.Quantity = quantity;
    r.Value = numberOf(quantity);
    r.Remark = remark;
    FQuantityBefore.remove(row - 1);
    FDays->RowsChanged(row - 1, row - 1);
}

kv::TDateTime TfrmKrta07SC::DateOfRow(int row) const {
    return row >= 1 && row < RowCount() ? FDays->Rows[size_t(row - 1)].Day : 0;
}

int TfrmKrta07SC::RowOfDate(kv::TDateTime day, int except) const {
    if (day == 0) return 0;
    const std::vector<TKrta07DayRow>& rows = FDays->Rows;
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].Day == day && int(i) + 1 != except) return int(i) + 1;
    return 0;
}

bool TfrmKrta07SC::CheckQuantity(int row) {
    const QString text = Cells(1, row);
    double quantity = 0;
    if (text.trimmed().isEmpty() || kv::tryStrToFloat(text, quantity)) return true;
    SetCells(1, row, FQuantityBefore.value(row - 1));
    ShowSum();
    const QString message = Message(4) + QLatin1Char(' ') + text.trimmed().left(40) +
                            (text.trimmed().size() > 40 ? QStringLiteral("...") : QString());
    if (KvConverter)
        KvConverter->KvCodeMessageDlg(message, mtError, mbOK);
    else
        KvMessageDlg(message, mtError, mbOK);
    return false;
}

int TfrmKrta07SC::CurrentRow() const {
    return sgTime->currentIndex().isValid() ? sgTime->currentIndex().row() + 1 : 0;
}

QString TfrmKrta07SC::FormatDay(const QString& yyyymmdd) const {
    return DateToString(TransDateIn(yyyymmdd), FCode, FSep);
}

QString TfrmKrta07SC::DayOfRow(int row) const {
    const QString day = Krta07DisplayDateToText(Cells(0, row), FCode, FSep);
    return TransDateIn(day) > 0 ? day : QString();
}

QString TfrmKrta07SC::sgTimeGetEditMask(int col, int row) const {
    Q_UNUSED(row);
    return col == 0 ? Krta07DateEditMask(FCode, FSep) : QString();
}

TKrta07QuantitySum TfrmKrta07SC::DaySum() const {
    TKrta07QuantitySum sum;
    for (const TKrta07DayRow& r : FDays->Rows)
        sum.Add(r.Value);
    return sum;
}

double TfrmKrta07SC::QuantitySum() const {
    return DaySum().Sum();
}

void TfrmKrta07SC::ShowSum() {
    edSum->setText(kv::floatToStr(QuantitySum()));
}

bool TfrmKrta07SC::DateExistsElsewhere(int row) const {
    return RowOfDate(DateOfRow(row), row) != 0;
}

void TfrmKrta07SC::sgTimeSelectCell(int col, int row) {
    if (FSelecting || (col == FPrevCol && row == FPrevRow)) return;
    FSelecting = true;
    const int prevCol = FPrevCol, prevRow = FPrevRow;
    if (prevRow >= 1 && prevRow < RowCount()) {
        if (prevCol == 0)
            SetCells(0, prevRow, FormatDay(Krta07DisplayDateToText(Cells(0, prevRow), FCode, FSep)));
        if (prevCol == 1 && !CheckQuantity(prevRow)) {
            FRefused = true;
        } else if (prevCol == 1) {
            SetCells(1, prevRow, kv::floatToStr(numberOf(Cells(1, prevRow))));
            ShowSum();
        }
        if (DateExistsElsewhere(prevRow)) {
            KvMessageDlg(Message(3), mtCustom, mbOK);
            SetCells(0, prevRow, QString());
        }
        if (row != prevRow && Cells(0, prevRow).trimmed().isEmpty() && prevRow == RowCount() - 1)
            SetRowCount(RowCount() - 1);
    }
    FPrevCol = col;
    FPrevRow = row;
    FSelecting = false;
}

bool TfrmKrta07SC::FormKeyDown(QKeyEvent* key, QWidget* target) {
    // A key the cell editor ignores passes here again on its way to the grid: act on the grid's turn.
    if (target != sgTime) return false;
    // Down on the last filled row adds a day; on a bar stretched to no days, the first one.
    const bool empty = RowCount() == 1;
    if (key->key() == Qt::Key_Down && FWholeBar && FEditable &&
        (empty || (CurrentRow() == RowCount() - 1 && !Cells(0, RowCount() - 1).trimmed().isEmpty()))) {
        SetRowCount(RowCount() + 1);
        SetCells(0, RowCount() - 1, QString());
        SetCells(1, RowCount() - 1, QStringLiteral("0"));
        SetCells(2, RowCount() - 1, QString());
    }
    return false;
}

void TfrmKrta07SC::ShiftQuantitiesBefore(int first, int by) {
    QHash<int, QString> moved;
    for (auto it = FQuantityBefore.cbegin(); it != FQuantityBefore.cend(); ++it)
        moved.insert(it.key() >= first ? it.key() + by : it.key(), it.value());
    FQuantityBefore = moved;
}

void TfrmKrta07SC::InsertDay() {
    const int current = CurrentRow();
    if (current < 1) return;
    // The current row's day stays, emptied; the rows from it on move one down, each a day later.
    // The new row is added at the end so that the cursor stays on the current row.
    const int at = current - 1;
    const int last = RowCount() - 1;
    FDays->Resize(last + 1);
    std::vector<TKrta07DayRow>& rows = FDays->Rows;
    std::move_backward(rows.begin() + at, rows.end() - 1, rows.end());
    rows[size_t(at)] = {
        rows[size_t(at) + 1].Day, 0, rows[size_t(at) + 1].Typed, QString(), QString(), QString(), QString()};
    for (int i = at + 1; i <= last; ++i)
        StoreDay(i, rows[size_t(i)].Day + 1);
    ShiftQuantitiesBefore(at, 1);
    FDays->RowsChanged(at, last);
    ShowSum();
}

void TfrmKrta07SC::DeleteDay() {
    const int current = CurrentRow();
    if (current < 1) return;
    // The rows after the current one move one up, each a day earlier.
    const int at = current - 1;
    std::vector<TKrta07DayRow>& rows = FDays->Rows;
    std::move(rows.begin() + at + 1, rows.end(), rows.begin() + at);
    for (int i = at; i + 1 < int(rows.size()); ++i)
        StoreDay(i, rows[size_t(i)].Day - 1);
    FQuantityBefore.remove(at);
    ShiftQuantitiesBefore(at + 1, -1);
    FDays->RowsChanged(at, int(rows.size()) - 1);
    FSelecting = true;
    SetRowCount(RowCount() - 1);
    FSelecting = false;
    if (FPrevRow >= RowCount()) FPrevRow = -1;
    ShowSum();
}

void TfrmKrta07SC::SortRows() {
    // Rows without a day go; the rest in date order, rows of the same date as they stood.
    std::vector<TKrta07DayRow>& rows = FDays->Rows;
    bool ordered = true;
    for (size_t i = 0; i < rows.size() && ordered; ++i)
        ordered = hasDay(rows[i]) && (i == 0 || rows[i - 1].Day <= rows[i].Day);
    if (ordered) {
        ShowSum();
        return;
    }
    std::vector<int> order;
    order.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        if (hasDay(rows[i])) order.push_back(int(i));
    std::stable_sort(order.begin(), order.end(),
                     [&rows](int a, int b) { return earlierDay(rows[size_t(a)], rows[size_t(b)]); });
    const QModelIndex current = sgTime->currentIndex();
    const int currentRow = current.row(), currentColumn = current.column();
    FSelecting = true;
    FSorting = true;
    FDays->BeginReset();
    std::vector<TKrta07DayRow> sorted;
    sorted.reserve(order.size());
    QHash<int, QString> before;
    for (int i : order) {
        if (auto it = FQuantityBefore.constFind(i); it != FQuantityBefore.cend())
            before.insert(int(sorted.size()), it.value());
        sorted.push_back(std::move(rows[size_t(i)]));
    }
    rows = std::move(sorted);
    FQuantityBefore = before;
    FDays->EndReset();
    // The cursor stays where it was, as long as there is still such a row.
    if (currentRow >= 0 && currentRow < FDays->rowCount())
        sgTime->setCurrentIndex(FDays->index(currentRow, currentColumn));
    FSelecting = false;
    FSorting = false;
    if (FPrevRow >= RowCount()) FPrevRow = -1;
    ShowSum();
}

bool TfrmKrta07SC::ValidateRows() {
    if (!FWholeBar) return true;
    // The first row whose day text an earlier row has already. Equal texts read as the same date,
    // so only rows of one date are compared.
    const std::vector<TKrta07DayRow>& rows = FDays->Rows;
    std::vector<int> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    if (!std::is_sorted(rows.begin(), rows.end(), earlierDay))
        std::stable_sort(order.begin(), order.end(),
                         [&rows](int a, int b) { return earlierDay(rows[size_t(a)], rows[size_t(b)]); });
    int duplicate = -1;
    for (size_t g = 0; g < order.size();) {
        size_t h = g + 1;
        while (h < order.size() && rows[size_t(order[h])].Day == rows[size_t(order[g])].Day)
            ++h;
        QSet<QString> earlier;
        for (size_t k = g; h - g > 1 && k < h; ++k) {
            const QString day = Cells(0, order[k] + 1);
            if (earlier.contains(day)) {
                if (duplicate < 0 || order[k] < duplicate) duplicate = order[k];
                break;
            }
            earlier.insert(day);
        }
        g = h;
    }
    if (duplicate >= 0) {
        sgTime->setCurrentIndex(FDays->index(duplicate, 0));
        KvMessageDlg(Message(3), mtCustom, mbOK);
        return false;
    }
    if (OnCheckDays && RowCount() > 1 &&
        !OnCheckDays(TransDateIn(DayOfRow(1)), TransDateIn(DayOfRow(RowCount() - 1))))
        return false;
    if (!DaySum().Equals(FQuantity)) {
        auto* wb = qobject_cast<TfrmKrta07SM*>(parentWidget());
        if (!wb) wb = TfrmKrta07SM::Current;
        const QString text =
            (wb ? wb->Message(1) : QString::fromUtf8("数量总和必须等于")) + kv::floatToStr(FQuantity);
        if (KvConverter)
            KvConverter->KvCodeMessageDlg(text, mtError, mbOK);
        else
            KvMessageDlg(text, mtError, mbOK);
        return false;
    }
    return true;
}

bool TfrmKrta07SC::FormCloseQuery() {
    // The cell being left when OK is pressed gets the same clean-up as any cell left; a quantity it
    // refused keeps the dialog open, for the planner to see what was put back.
    FRefused = false;
    if (FPrevRow >= 1) sgTimeSelectCell(-2, -2);
    // Sorting shows the sum of the rows it wrote.
    if (!FRefused)
        SortRows();
    else
        ShowSum();
    FPrevCol = sgTime->currentIndex().column();
    FPrevRow = CurrentRow() >= 1 ? CurrentRow() : -1;
    return !FRefused && ValidateRows();
}

void TfrmKrta07SC::FormShow() {
    TKVForm::FormShow();
    const bool converting = !Converted() && KvConverter && KvConverter->UIChangeType != 0;
    ConvertOnce();
    // The days' remarks are converted with the form's other texts, as a grid's cells are; days
    // and quantities are digits, which no conversion changes.
    if (converting)
        for (TKrta07DayRow& r : FDays->Rows)
            if (!r.Remark.isEmpty()) {
                r.Stored = r.Remark;
                r.Remark = r.Shown = KvConverter->ConvertText(r.Remark);
            }
    // The language file may have changed the header texts.
    FDays->HeaderChanged();
}

bool TfrmKrta07SC::Execute() {
    FAccepted = false;
    ShowSum();
    show();
    sgTime->setFocus();
    QEventLoop loop;
    FLoop = &loop;
    KvRunModalLoop(loop, [this] { return !isVisible(); });
    FLoop = nullptr;
    return FAccepted;
}

void TfrmKrta07SC::showEvent(QShowEvent* e) {
    ShowSum();
    TKVForm::showEvent(e);
}

void TfrmKrta07SC::closeEvent(QCloseEvent* e) {
    TKVForm::closeEvent(e);
    if (FLoop) FLoop->quit();
}
