// The line grid's fields: dates in the company format, texts in the interface script, the column
// the line's work order type makes editable, the checks of work order type, work centre and
// supplier with their lookups, and the checks that run when the planner leaves a line.
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>

#include "controls/FDBGrid.h"
#include "controls/KvEdit.h"
#include "frame/KvADO.h"
#include "gantt/MyGant.h"
#include "gantt/phDataEntityPack.h"
#include "lang/CodeConverter.h"
#include "platform/data/ClientDataSet.h"
#include "platform/data/DataSource.h"
#include "support/LibStrs.h"
#include "workbench/Krta07SCF.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFUndo.h"

namespace {

// Editor of the three code columns: an edit with a button that opens the field's lookup.
class TCodeComboDelegate : public QStyledItemDelegate {
public:
    TCodeComboDelegate(TFDBGrid* grid, TfrmKrta07SM* workbench)
        : QStyledItemDelegate(grid), FGrid(grid), FWorkbench(workbench) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        const TFDBGridColumn* column = FGrid->Column(index.column());
        const QString field = column ? column->FieldName().toUpper() : QString();
        if (field != QLatin1String("TB042") && field != QLatin1String("TB044") &&
            field != QLatin1String("TB045"))
            return FBase ? FBase->createEditor(parent, option, index)
                         : QStyledItemDelegate::createEditor(parent, option, index);
        auto* edit = new QLineEdit(parent);
        edit->setObjectName(QStringLiteral("cbo%1G").arg(field));
        static const char* const hints[] = {"[F2]单据性质信息", "[F2]工作中心信息查询", "[F2]供应商信息查询"};
        const int k = field == QLatin1String("TB042") ? 0 : field == QLatin1String("TB044") ? 1 : 2;
        edit->setToolTip(QString::fromUtf8(hints[k]));
        QAction* button =
            edit->addAction(edit->style()->standardIcon(QStyle::SP_ArrowDown), QLineEdit::TrailingPosition);
        button->setObjectName(QStringLiteral("btnCustomDlg"));
        TfrmKrta07SM* wb = FWorkbench;
        QObject::connect(button, &QAction::triggered, edit, [wb] { wb->CellLookup(); });
        return edit;
    }

    // One changed cell is one step of the planner's.
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        TKrta07UndoStep step(FWorkbench->UndoHistory());
        FWorkbench->UndoTouchGridLine(index.row());
        QStyledItemDelegate::setModelData(editor, model, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return FBase ? FBase->sizeHint(option, index) : QStyledItemDelegate::sizeHint(option, index);
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        if (FBase)
            FBase->paint(p, option, index);
        else
            QStyledItemDelegate::paint(p, option, index);
    }

    QAbstractItemDelegate* FBase = nullptr;

private:
    TFDBGrid* FGrid;
    TfrmKrta07SM* FWorkbench;
};

} // namespace

// ---- workbench side -----------------------------------------------------------------------------

void TfrmKrta07SM::ShowLineMessage(int index, const QString& suffix) {
    const QString text = Message(index) + suffix;
    if (KvConverter)
        KvConverter->KvCodeMessageDlg(text, mtError, mbOK);
    else
        ::KvMessageDlg(text, mtError, mbOK, this);
}

void TfrmKrta07SM::FocusLineField(const QString& field) {
    // Once the grid has taken the value in: the cell editor that handed it over is closing now.
    QTimer::singleShot(0, this, [this, field] {
        const QAbstractItemModel* model = dgMPSTB->model();
        const kv::TClientDataSet& pre = *dmKrta07S->qryMPSTBPre;
        if (!model || !pre.Active() || pre.IsEmpty()) return;
        for (int c = 0; c < model->columnCount(); ++c)
            if (dgMPSTB->Column(c) &&
                dgMPSTB->Column(c)->FieldName().compare(field, Qt::CaseInsensitive) == 0) {
                dgMPSTB->setCurrentIndex(model->index(pre.RecNo() - 1, c));
                break;
            }
        dgMPSTB->setFocus();
    });
}

bool TfrmKrta07SM::CheckLineCode(const QString& table, const QString& queryNo, const QStringList& keys,
                                 QStringList& row) {
    return FDataCalls && FDataCalls->CheckCodeKeys(table, queryNo, keys, row);
}

bool TfrmKrta07SM::IsLineGridControl(const QWidget* control) const {
    for (const QWidget* w = control; w; w = w->parentWidget())
        if (w == dgMPSTB) return true;
    return false;
}

void TfrmKrta07SM::CellLookup() {
    kv::TClientDataSet& s = *dmKrta07S->qryMPSTBPre;
    if (!FDataCalls || !s.Active() || s.ReadOnly() || s.IsEmpty() || FEditState != 1) return;
    const TFDBGridColumn* column = dgMPSTB->Column(dgMPSTB->currentIndex().column());
    kv::TField* field = column ? s.FindField(column->FieldName()) : nullptr;
    if (!field || field->ReadOnly()) return;
    const QString name = field->FieldName().toUpper();
    QString table, window;
    QStringList params;
    if (name == QLatin1String("TB042")) {
        table = QStringLiteral("CMSMQ");
        window = QStringLiteral("53");
        params = {QStringLiteral("51"), QStringLiteral("52"), FUserID,
                  dmKrta07S->LineText("MB025C") == QLatin1String("M") ? QStringLiteral("1")
                                                                      : QStringLiteral("2")};
    } else if (name == QLatin1String("TB044")) {
        table = QStringLiteral("CMSMD");
        window = QStringLiteral("02");
        params = {edMB001->text().trimmed()};
    } else if (name == QLatin1String("TB045")) {
        table = QStringLiteral("PURMA");
        window = QStringLiteral("02");
        params = {QString()};
    } else {
        return;
    }
    if (s.State() == kv::TDataSetState::dsBrowse) s.Edit();
    // The cell editor that asked, if one is open.
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (editor && !IsLineGridControl(editor)) editor = nullptr;
    const QStringList row = FDataCalls->OpenLookup(table, window, params);
    if (row.isEmpty()) return;
    // The choice goes into the field and its check, as a typed text would not: typing the supplier
    // opens a lookup of its own. Closed without committing, the editor writes nothing back.
    if (editor) emit dgMPSTB->itemDelegate()->closeEditor(editor, QAbstractItemDelegate::NoHint);
    try {
        TKrta07UndoStep step(UndoHistory());
        UndoTouchGridLine(s.RecNo() - 1);
        field->SetAsString(row.value(0));
    } catch (const EKvError&) {
        // Refused by the field's check, which has shown why.
    }
}

void TfrmKrta07SM::InitLineFields() {
    auto* combos = new TCodeComboDelegate(dgMPSTB, this);
    combos->FBase = dgMPSTB->itemDelegate();
    combos->setObjectName(QStringLiteral("cboLineCodes"));
    dgMPSTB->setItemDelegate(combos);
    dgMPSTB->SetCheckBoxField(QStringLiteral("TB035"), QStringLiteral("Y"));
}
