#include "host/services/LookupWindow.h"

#include <QCalendarWidget>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tarnix {

TLookupWindow::TLookupWindow(const QString& title, const QStringList& captions,
                             const QList<QStringList>& rows, bool multiSelect, QWidget* parent)
    : QDialog(parent), FRows(rows) {
    setObjectName("frmLookup");
    setWindowTitle(title);
    FSearch = new QLineEdit(this);
    FSearch->setObjectName("edSearch");
    FSearch->setPlaceholderText(QStringLiteral("查找"));
    FTable = new QTableWidget(int(rows.size()), int(captions.size()), this);
    FTable->setObjectName("grdRows");
    FTable->setHorizontalHeaderLabels(captions);
    FTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    FTable->setSelectionMode(multiSelect ? QAbstractItemView::ExtendedSelection
                                         : QAbstractItemView::SingleSelection);
    FTable->verticalHeader()->hide();
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < captions.size(); ++c)
            FTable->setItem(r, c, new QTableWidgetItem(rows.at(r).value(c)));
    FTable->resizeColumnsToContents();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("btnOK");
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("btnCancel");
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FSearch);
    layout->addWidget(FTable, 1);
    layout->addWidget(buttons);
    resize(520, 360);
    connect(FSearch, &QLineEdit::textChanged, this, &TLookupWindow::applyFilter);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(FTable, &QTableWidget::cellDoubleClicked, this, [this] { accept(); });
    if (!rows.isEmpty()) FTable->selectRow(0);
}

void TLookupWindow::applyFilter(const QString& text) {
    const QString needle = text.trimmed();
    int first = -1;
    for (int r = 0; r < FTable->rowCount(); ++r) {
        bool match = needle.isEmpty();
        for (int c = 0; !match && c < FTable->columnCount(); ++c)
            match = FTable->item(r, c)->text().contains(needle, Qt::CaseInsensitive);
        FTable->setRowHidden(r, !match);
        if (match && first < 0) first = r;
    }
    FTable->clearSelection();
    if (first >= 0) FTable->selectRow(first);
}

QList<QStringList> TLookupWindow::chosenRows() const {
    QList<QStringList> rows;
    if (result() != QDialog::Accepted) return rows;
    for (int r = 0; r < FTable->rowCount(); ++r)
        if (!FTable->isRowHidden(r) && FTable->selectionModel()->isRowSelected(r, {})) rows << FRows.at(r);
    return rows;
}

TDayPicker::TDayPicker(const QDate& start, QWidget* parent) : QDialog(parent) {
    setObjectName("frmInputDay");
    setWindowTitle(QStringLiteral("日期快手"));
    FCalendar = new QCalendarWidget(this);
    FCalendar->setObjectName("calDay");
    FCalendar->setSelectedDate(start.isValid() ? start : QDate::currentDate());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FCalendar);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(FCalendar, &QCalendarWidget::activated, this, [this] { accept(); });
}

QDate TDayPicker::chosenDate() const {
    return result() == QDialog::Accepted ? FCalendar->selectedDate() : QDate();
}

} // namespace tarnix
