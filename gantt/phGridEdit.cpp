// Editing cells of the grid in place: one editor per column kind, date and time in the platform's
// formats, combo items from the grid's event, and sub grids that open below their cell.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QRegularExpression>

#include "gantt/phGrid.h"

namespace {

// Commits on Enter, cancels on Escape, for every kind of editor.
class TphEditorKeys : public QObject {
public:
    // Goes with the editor it serves.
    TphEditorKeys(TphGrid* grid, QObject* editor) : QObject(editor), FGrid(grid) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            FGrid->CancelEdit();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            // A memo takes Enter as a line break; Ctrl+Enter ends its edit.
            if (!qobject_cast<QPlainTextEdit*>(watched) || key->modifiers() & Qt::ControlModifier) {
                FGrid->EndEdit();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TphGrid* FGrid;
};

// The date or time picker, with the box that leaves the cell empty when the column asks for one.
class TphDateTimeEditor : public QWidget {
public:
    TphDateTimeEditor(QWidget* parent, bool time, bool withBox) : QWidget(parent), FTime(time) {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(1);
        if (withBox) {
            FBox = new QCheckBox(this);
            FBox->setObjectName(QStringLiteral("CheckBox"));
            layout->addWidget(FBox);
        }
        FEdit = time ? static_cast<QDateTimeEdit*>(new QTimeEdit(this)) : new QDateEdit(this);
        FEdit->setObjectName(QStringLiteral("Picker"));
        layout->addWidget(FEdit, 1);
        setFocusProxy(FEdit);
        if (FBox) connect(FBox, &QCheckBox::toggled, FEdit, &QWidget::setEnabled);
    }
    QCheckBox* Box() const { return FBox; }
    QDateTimeEdit* Edit() const { return FEdit; }
    bool Time() const { return FTime; }
    // Empty when the box is cleared.
    QString Text() const {
        if (FBox && !FBox->isChecked()) return {};
        return FTime ? QLocale().toString(FEdit->time(), TphGrid::TimeFormat())
                     : QLocale().toString(FEdit->date(), QLocale::ShortFormat);
    }

private:
    bool FTime;
    QCheckBox* FBox = nullptr;
    QDateTimeEdit* FEdit;
};

QString shortDateFormat() {
    return QLocale().dateFormat(QLocale::ShortFormat);
}

// The picker shows whole years: a two-digit year would be read in the wrong century.
QString pickerDateFormat() {
    QString f = shortDateFormat();
    if (!f.contains(QStringLiteral("yyyy"))) f.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return f;
}

} // namespace

bool TphGrid::ReadDateText(const QString& text, QDate& date) {
    const QString format = shortDateFormat();
    QString t = text.trimmed();
    QString f = format;
    if (format.contains(QStringLiteral("MMM"))) {
        // Month names become numbers first, so one numeric format reads them; long names go first, as
        // they hold the short ones.
        for (const QLocale::FormatType kind : {QLocale::LongFormat, QLocale::ShortFormat})
            for (int m = 1; m <= 12; ++m) {
                const QString name = QLocale().monthName(m, kind);
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

QString TphGrid::TimeFormat() {
    // The platform's time of day with seconds; the time zone is no part of a cell.
    QString f = QLocale().timeFormat(QLocale::LongFormat);
    f.remove(QRegularExpression(QStringLiteral("\\s*t+")));
    return f.trimmed();
}

TphGrid* TphGrid::SubGrid() const {
    return qobject_cast<TphGrid*>(FEditor);
}

QWidget* TphGrid::CreateEditor(int col, int displayRow, const QString& text, bool canModify) {
    const TphGrid_Column& column = FColumns[size_t(col)];
    const int gridRow = GridRowOf(displayRow);
    switch (column.Kind) {
    case tckSimpleEdit: {
        auto* edit = new QLineEdit(text, this);
        edit->setReadOnly(!canModify);
        return edit;
    }
    case tckMemo: {
        auto* memo = new QPlainTextEdit(this);
        memo->setPlainText(text);
        memo->setReadOnly(!canModify);
        return memo;
    }
    case tckBool: {
        auto* box = new QCheckBox(this);
        box->setChecked(text.compare(QStringLiteral("TRUE"), Qt::CaseInsensitive) == 0);
        box->setEnabled(canModify);
        return box;
    }
    case tckCombo: {
        QStringList items = column.ComboItems;
        if (OnBeforeEditWithCombo) OnBeforeEditWithCombo(this, col, gridRow, items);
        auto* combo = new QComboBox(this);
        combo->setEditable(canModify);
        combo->addItems(items);
        combo->setCurrentText(text);
        combo->setEnabled(canModify);
        return combo;
    }
    case tckDate:
    case tckTime: {
        const bool time = column.Kind == tckTime;
        auto* editor = new TphDateTimeEditor(this, time, column.CheckBoxOnDateTime);
        QDateTimeEdit* edit = editor->Edit();
        if (time) {
            edit->setDisplayFormat(TimeFormat());
            QTime t = QLocale().toTime(text, TimeFormat());
            if (!t.isValid()) t = QTime::fromString(text, QStringLiteral("HH:mm:ss"));
            edit->setTime(t.isValid() ? t : QTime(0, 0));
        } else {
            edit->setDisplayFormat(pickerDateFormat());
            QDate d;
            edit->setDate(ReadDateText(text, d) ? d : QDate::currentDate());
        }
        if (QCheckBox* box = editor->Box()) {
            box->setChecked(!text.trimmed().isEmpty());
            box->setEnabled(canModify);
        }
        edit->setEnabled(canModify && (!editor->Box() || editor->Box()->isChecked()));
        edit->setReadOnly(!canModify);
        return editor;
    }
    case tckSubGrid:
    case tckSubTree: {
        auto* sub = new TphGrid(this);
        sub->setObjectName(QStringLiteral("SubGrid"));
        sub->SetRowSelect(true);
        if (const TphGrid_SubGrid* settings = SubGridNamed(column.SubGridName)) {
            sub->SetColumns(settings->Columns);
            sub->SetHasHeaders(settings->HasHeaders);
            sub->SetHasInfoCol(settings->HasInfoCol);
            sub->SetExtendLastColumnToWidth(settings->ExtendLastColumnToWidth);
        }
        if (column.Kind == tckSubTree && !sub->Columns().empty()) sub->Columns().front().TreeButton = true;
        if (!canModify)
            for (TphGrid_Column& c : sub->Columns())
                c.ReadOnly = true;
        if (column.OnContextSensitiveSubGrid) column.OnContextSensitiveSubGrid(this, col, gridRow, sub);
        if (sub->Columns().empty()) {
            delete sub;
            return nullptr;
        }
        return sub;
    }
    }
    return nullptr;
}

void TphGrid::BeginEdit(int col, int displayRow) {
    EndEdit();
    if (col < 0 || col >= int(FColumns.size())) return;
    const TphGrid_Column& column = FColumns[size_t(col)];
    TphDataEntity_GridTreeNode* node = NodeAt(displayRow);
    if (!node || column.ReadOnly) return;
    const QRect r = CellRect(col, GridRowOf(displayRow));
    if (r.isEmpty()) return;
    bool canModify = true;
    if (OnEditorCanModify) OnEditorCanModify(this, col, GridRowOf(displayRow), canModify);
    QWidget* editor = CreateEditor(col, displayRow, node->CellText(col), canModify);
    if (!editor) return;
    auto* keys = new TphEditorKeys(this, editor);
    editor->installEventFilter(keys);
    for (QWidget* part : editor->findChildren<QWidget*>())
        part->installEventFilter(keys);
    if (auto* sub = qobject_cast<TphGrid*>(editor)) {
        // A sub grid opens below its cell (above it when there is no room), as wide as its columns.
        int w = sub->HasInfoCol() ? InfoColWidth : 0;
        for (int c = 0; c < int(sub->Columns().size()); ++c)
            w += sub->ColumnWidth(c);
        const int rows = std::clamp(sub->DisplayRowCount(), 3, 8);
        const int h = std::min(height(), sub->HeaderHeight() + rows * DefaultRowHeight + 2);
        const int top =
            r.top() + r.height() + h <= height() ? r.top() + r.height() : std::max(0, r.top() - h);
        sub->setGeometry(r.left(), top, std::max(w, r.width()), h);
    } else {
        editor->setGeometry(r);
    }
    editor->show();
    editor->setFocus();
    FEditor = editor;
    FEditCol = col;
    FEditCanModify = canModify;
    FEditNode = node;
}

void TphGrid::EndEdit() {
    CloseEditor(true);
}

void TphGrid::CancelEdit() {
    CloseEditor(false);
}

bool TphGrid::EditorText(QWidget* editor, QString& text) const {
    if (auto* e = qobject_cast<QLineEdit*>(editor))
        text = e->text();
    else if (auto* m = qobject_cast<QPlainTextEdit*>(editor))
        text = m->toPlainText();
    else if (auto* b = qobject_cast<QCheckBox*>(editor))
        text = b->isChecked() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    else if (auto* c = qobject_cast<QComboBox*>(editor))
        text = c->currentText();
    else if (auto* d = dynamic_cast<TphDateTimeEditor*>(editor))
        text = d->Text();
    else
        return false; // a sub grid leaves its cell as it is
    return true;
}

void TphGrid::CloseEditor(bool store) {
    if (!FEditor) return;
    QWidget* editor = FEditor;
    FEditor = nullptr;
    QWidget* focused = QApplication::focusWidget();
    const bool hadFocus = focused && (focused == editor || editor->isAncestorOf(focused));
    TphDataEntity_GridTreeNode* node = FEditNode;
    FEditNode = nullptr;
    QString text;
    // A read-only editor may show another text than its cell's (a combo without that item, a date it
    // could not read): it leaves the cell as it is.
    if (store && FEditCanModify && node && EditorText(editor, text)) node->SetCellText(FEditCol, text);
    editor->hide();
    editor->deleteLater();
    if (store && OnEditStop && node) OnEditStop(this, FEditCol, GridRowOf(DisplayIndexOf(node)));
    if (hadFocus) setFocus();
    update();
}
