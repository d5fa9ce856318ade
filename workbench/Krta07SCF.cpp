#include "workbench/Krta07SCF.h"

#include <QAction>
#include <QCloseEvent>
#include <QSet>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "controls/KvEdit.h"
#include "controls/KvGuard.h"
#include "lang/CodeConverter.h"
#include "platform/Numbers.h"
#include "platform/data/Field.h"
#include "support/LibStrs.h"
#include "workbench/Krta07SMF.h"

QString Krta07DateEditMask(int code, const QString& sep) {
    const QString year = code >= 1 && code <= 3 ? QStringLiteral("9999")
                         : code == 4            ? QStringLiteral("99")
                                                : QStringLiteral("999");
    const QString two = QStringLiteral("99");
    if (code == 2 || code == 3) return two + sep + two + sep + year + QStringLiteral(";1; ");
    return year + sep + two + sep + two + QStringLiteral(";1; ");
}

QString Krta07DisplayDateToText(const QString& typed, int code, const QString& sep) {
    const QString text = typed.trimmed();
    if (text.isEmpty()) return {};
    const QStringList parts = sep.isEmpty() ? QStringList{text} : text.split(sep);
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

bool Krta07SameQuantity(double sum, double quantity) {
    // Decimal quantities do not add up exactly in binary (33.3 + 33.3 + 33.4); anything a planner can
    // type differs by far more than this.
    return std::fabs(sum - quantity) <= 1e-9 * std::max(1.0, std::fabs(quantity));
}

namespace {

double numberOf(const QString& text) {
    double v = 0;
    return kv::tryStrToFloat(text, v) ? v : 0;
}

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
        }
        return edit;
    }

private:
    TfrmKrta07SC* FForm;
};

} // namespace

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

    auto* layout = new QVBoxLayout(this);
    sgTime = new QTableWidget(this);
    sgTime->setObjectName(QStringLiteral("sgTime"));
    sgTime->setColumnCount(3);
    sgTime->setHorizontalHeaderLabels({Message(0), Message(1), Message(2)});
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

    connect(sgTime, &QTableWidget::currentCellChanged, this,
            [this](int row, int col, int, int) { sgTimeSelectCell(col, row + 1); });
    // The sum follows each typed quantity once the dialog shows: while the days are filled in, a sum
    // of every row for each one took hours over a bar of centuries.
    connect(sgTime, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == 1 && isVisible() && !FSorting) ShowSum();
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
    for (int r = 1; r < RowCount(); ++r)
        SetCells(0, r, Cells(0, r));
}

int TfrmKrta07SC::RowCount() const {
    return sgTime->rowCount() + 1;
}

void TfrmKrta07SC::SetRowCount(int count) {
    sgTime->setRowCount(std::max(count - 1, 0));
}

QString TfrmKrta07SC::Cells(int col, int row) const {
    if (row == 0) return Message(col);
    const QTableWidgetItem* item = sgTime->item(row - 1, col);
    return item ? item->text() : QString();
}

void TfrmKrta07SC::SetCells(int col, int row, const QString& text) {
    if (row < 1 || row >= RowCount()) return;
    QTableWidgetItem* item = sgTime->item(row - 1, col);
    if (!item) {
        item = new QTableWidgetItem;
        sgTime->setItem(row - 1, col, item);
    }
    // In single-day mode the day is the fixed column.
    const bool fixed = col == 0 && !FWholeBar;
    item->setFlags(fixed ? (Qt::ItemIsEnabled | Qt::ItemIsSelectable)
                         : (Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable));
    item->setBackground(fixed ? palette().button() : QBrush());
    if (item->text() != text) item->setText(text);
    // The quantity to go back to when a typed one is refused.
    double quantity = 0;
    if (col == 1 && (text.trimmed().isEmpty() || kv::tryStrToFloat(text, quantity)))
        item->setData(Qt::UserRole, text);
}

bool TfrmKrta07SC::CheckQuantity(int row) {
    const QString text = Cells(1, row);
    double quantity = 0;
    if (text.trimmed().isEmpty() || kv::tryStrToFloat(text, quantity)) return true;
    const QTableWidgetItem* item = sgTime->item(row - 1, 1);
    SetCells(1, row, item ? item->data(Qt::UserRole).toString() : QString());
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
    return sgTime->currentRow() + 1;
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

double TfrmKrta07SC::QuantitySum() const {
    double sum = 0;
    for (int r = 1; r < RowCount(); ++r)
        sum += numberOf(Cells(1, r));
    return sum;
}

void TfrmKrta07SC::ShowSum() {
    edSum->setText(kv::floatToStr(QuantitySum()));
}

bool TfrmKrta07SC::DateExistsElsewhere(int row) const {
    const kv::TDateTime day = TransDateIn(Krta07DisplayDateToText(Cells(0, row), FCode, FSep));
    if (day == 0) return false;
    for (int r = 1; r < RowCount(); ++r)
        if (r != row && TransDateIn(Krta07DisplayDateToText(Cells(0, r), FCode, FSep)) == day) return true;
    return false;
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
    if (key->key() == Qt::Key_Down && FWholeBar && FEditable && RowCount() > 1 &&
        CurrentRow() == RowCount() - 1 && !Cells(0, RowCount() - 1).trimmed().isEmpty()) {
        SetRowCount(RowCount() + 1);
        SetCells(0, RowCount() - 1, QString());
        SetCells(1, RowCount() - 1, QStringLiteral("0"));
        SetCells(2, RowCount() - 1, QString());
    }
    return false;
}

void TfrmKrta07SC::InsertDay() {
    const int current = CurrentRow();
    if (current < 1) return;
    SetRowCount(RowCount() + 1);
    const int last = RowCount() - 1;
    for (int a = last; a >= current + 1; --a) {
        const QString before = Krta07DisplayDateToText(Cells(0, a - 1), FCode, FSep);
        SetCells(0, a, DateToString(TransDateIn(before) + 1, FCode, FSep));
        SetCells(1, a, Cells(1, a - 1));
        SetCells(2, a, Cells(2, a - 1));
        SetCells(1, a - 1, QString());
        SetCells(2, a - 1, QString());
    }
    ShowSum();
}

void TfrmKrta07SC::DeleteDay() {
    const int current = CurrentRow();
    if (current < 1) return;
    const int last = RowCount() - 1;
    for (int a = current; a <= last - 1; ++a) {
        const QString after = Krta07DisplayDateToText(Cells(0, a + 1), FCode, FSep);
        SetCells(0, a, DateToString(TransDateIn(after) - 1, FCode, FSep));
        SetCells(1, a, Cells(1, a + 1));
        SetCells(2, a, Cells(2, a + 1));
        SetCells(1, a + 1, QString());
        SetCells(2, a + 1, QString());
    }
    FSelecting = true;
    SetRowCount(RowCount() - 1);
    FSelecting = false;
    if (FPrevRow >= RowCount()) FPrevRow = -1;
    ShowSum();
}

void TfrmKrta07SC::SortRows() {
    struct Row {
        kv::TDateTime date;
        QString day, quantity, remark;
    };
    std::vector<Row> rows;
    for (int r = 1; r < RowCount(); ++r) {
        const QString day = Cells(0, r);
        if (day.trimmed().isEmpty()) continue;
        rows.push_back(
            {TransDateIn(Krta07DisplayDateToText(day, FCode, FSep)), day, Cells(1, r), Cells(2, r)});
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.date < b.date; });
    FSelecting = true;
    FSorting = true;
    SetRowCount(int(rows.size()) + 1);
    for (size_t i = 0; i < rows.size(); ++i) {
        const int r = int(i) + 1;
        SetCells(0, r, rows[i].day);
        SetCells(1, r, rows[i].quantity);
        SetCells(2, r, rows[i].remark);
    }
    FSelecting = false;
    FSorting = false;
    if (FPrevRow >= RowCount()) FPrevRow = -1;
    ShowSum();
}

bool TfrmKrta07SC::ValidateRows() {
    if (!FWholeBar) return true;
    // The first day that an earlier row has already.
    QSet<QString> earlier;
    for (int r = 1; r < RowCount(); ++r) {
        const QString day = Cells(0, r);
        if (earlier.contains(day)) {
            sgTime->setCurrentCell(r - 1, 0);
            KvMessageDlg(Message(3), mtCustom, mbOK);
            return false;
        }
        earlier.insert(day);
    }
    if (OnCheckDays && RowCount() > 1 &&
        !OnCheckDays(TransDateIn(DayOfRow(1)), TransDateIn(DayOfRow(RowCount() - 1))))
        return false;
    if (!Krta07SameQuantity(QuantitySum(), FQuantity)) {
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
    FPrevCol = sgTime->currentColumn();
    FPrevRow = CurrentRow() >= 1 ? CurrentRow() : -1;
    return !FRefused && ValidateRows();
}

void TfrmKrta07SC::FormShow() {
    TKVForm::FormShow();
    ConvertOnce();
    // The language file may have changed the header texts.
    sgTime->setHorizontalHeaderLabels({Message(0), Message(1), Message(2)});
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
