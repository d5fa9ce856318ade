// The line grid's fields: dates in the company format, texts in the interface script, the column
// the line's work order type makes editable, the checks of work order type, work centre and
// supplier with their lookups, and the checks that run when the planner leaves a line.
//
// The data module's field handlers live here beside the workbench lookups they call.
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

const char* const kDateFields[] = {"TB010", "TB013", "TB014", "TB034"};

struct MappedText {
    const char* value;
    const char* text;
};
// cboTB003G and cboTB027G: the stored codes with the captions the grid shows for them.
const MappedText kTB003G[] = {{"1", "1:订单"}, {"2", "2:销售预测"}, {"3", "3:独立需求"}};
const MappedText kTB027G[] = {
    {"1", "1:交期符合"}, {"2", "2.交期延迟"}, {"3", "3.排产数量短缺"}, {"4", "9:未作排程"}};

template <size_t N> QString mappedText(const MappedText (&map)[N], const QString& value) {
    const QString v = value.trimmed();
    for (const MappedText& m : map)
        if (v == QLatin1String(m.value)) return QString::fromUtf8(m.text);
    return value;
}

// Sets a field the planner cannot type into (a name beside a code, the hidden property).
void setQuietly(kv::TField* field, const QString& value) {
    if (!field) return;
    const bool ro = field->ReadOnly();
    field->SetReadOnly(false);
    try {
        field->SetAsString(value);
    } catch (...) {
        field->SetReadOnly(ro);
        throw;
    }
    field->SetReadOnly(ro);
}

QString trimmedText(const kv::TClientDataSet& set, const char* name) {
    const kv::TField* f = set.FindField(QString::fromLatin1(name));
    return f ? f->AsString().trimmed() : QString();
}

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

// ---- company date format ------------------------------------------------------------------------

QString TdmKrta07S::DateEditMask() const {
    return Krta07DateEditMask(CompanyDateFormat(), DateSeparator());
}

QString TdmKrta07S::DisplayDateToText(const QString& Text) const {
    return Krta07DisplayDateToText(Text, CompanyDateFormat(), DateSeparator());
}

QString TdmKrta07S::CompanyParameter(const QString& Number) const {
    if (!qryCMSMA->Active() || qryCMSMA->IsEmpty()) return QString();
    qryCMSMA->First();
    const kv::TField* f = qryCMSMA->FindField(QStringLiteral("MA") + Number);
    return f ? f->AsString().trimmed() : QString();
}

// ---- display conversion -------------------------------------------------------------------------

void TdmKrta07S::DateFieldGetText(kv::TField& Sender, QString& Text, bool DisplayText) {
    Q_UNUSED(DisplayText);
    if (Sender.IsNull()) {
        Text.clear();
        return;
    }
    if (Sender.DataType() == kv::TFieldType::ftDateTime)
        Text = DateToString(Sender.AsDateTime(), CompanyDateFormat(), DateSeparator());
    else
        Text = DateDisplayText(Sender.AsString());
}

void TdmKrta07S::DateFieldSetText(kv::TField& Sender, const QString& Text) {
    if (Sender.DataType() == kv::TFieldType::ftDateTime) {
        const kv::TDateTime d = StringToDate(Text, CompanyDateFormat(), DateSeparator());
        if (d > 0)
            Sender.SetAsDateTime(d);
        else
            Sender.Clear();
        return;
    }
    // A text that reads as numbers but names no day (30 February) is no date either: it would be
    // stored as a date text that every reader takes for day zero.
    const QString day = Changedate(Text, CompanyDateFormat(), DateSeparator());
    if (!day.isEmpty() && day != QLatin1String("0") && TransDateIn(day) > 0)
        Sender.SetAsString(day);
    else
        Sender.SetAsString(QString());
}

void TdmKrta07S::DOGetText(kv::TField& Sender, QString& Text, bool DisplayText) {
    Q_UNUSED(DisplayText);
    const TfrmKrta07SM* wb = qobject_cast<const TfrmKrta07SM*>(parent());
    Text = Sender.AsString();
    if (wb && wb->KvConverter) Text = wb->KvConverter->ConvertUIString(kv::Variant(Text)).toString();
}

void TdmKrta07S::DOSetText(kv::TField& Sender, const QString& Text) {
    const TfrmKrta07SM* wb = qobject_cast<const TfrmKrta07SM*>(parent());
    Sender.SetAsString(wb && wb->KvConverter ? wb->KvConverter->RecoverUIString(kv::Variant(Text)).toString()
                                             : Text);
}

// ---- the line set's handlers --------------------------------------------------------------------

void TdmKrta07S::SetupFieldHandlers() {
    using namespace std::placeholders;
    auto textHandlers = [this](kv::TClientDataSet& set) {
        for (int i = 0; i < set.FieldCount(); ++i) {
            kv::TField& f = set.Fields(i);
            if (!f.isText()) continue;
            f.OnGetText = [this](kv::TField& s, QString& t, bool d) { DOGetText(s, t, d); };
            f.OnSetText = [this](kv::TField& s, const QString& t) { DOSetText(s, t); };
        }
    };
    auto dateHandlers = [this](kv::TField* f) {
        if (!f) return;
        f->OnGetText = [this](kv::TField& s, QString& t, bool d) { DateFieldGetText(s, t, d); };
        f->OnSetText = [this](kv::TField& s, const QString& t) { DateFieldSetText(s, t); };
    };
    if (qryMPSTBPre->Active()) {
        kv::TClientDataSet& s = *qryMPSTBPre;
        textHandlers(s);
        for (const char* n : kDateFields)
            dateHandlers(s.FindField(QString::fromLatin1(n)));
        if (kv::TField* f = s.FindField(QStringLiteral("TB042")))
            f->OnValidate = [this](kv::TField& x) { qryMPSTBPreTB042Validate(x); };
        if (kv::TField* f = s.FindField(QStringLiteral("TB044")))
            f->OnValidate = [this](kv::TField& x) { qryMPSTBPreTB044Validate(x); };
        if (kv::TField* f = s.FindField(QStringLiteral("TB045"))) {
            f->OnValidate = [this](kv::TField& x) { qryMPSTBPreTB045Validate(x); };
            f->OnSetText = [this](kv::TField& x, const QString& t) { qryMPSTBPreTB045SetText(x, t); };
        }
        if (kv::TField* f = s.FindField(QStringLiteral("MQ017C")))
            f->OnValidate = [this](kv::TField& x) { qryMPSTBPreMQ017CValidate(x); };
        // The mapped combos show a code's caption, in the interface script as other texts are.
        auto mapped = [this](kv::TField* f, QString (*caption)(const QString&)) {
            if (!f) return;
            f->OnGetText = [this, caption](kv::TField& x, QString& t, bool) {
                const TfrmKrta07SM* wb = qobject_cast<const TfrmKrta07SM*>(parent());
                t = caption(x.AsString());
                if (wb && wb->KvConverter) t = wb->KvConverter->ConvertUIString(kv::Variant(t)).toString();
            };
        };
        mapped(s.FindField(QStringLiteral("TB003")), [](const QString& v) { return mappedText(kTB003G, v); });
        mapped(s.FindField(QStringLiteral("TB027")), [](const QString& v) { return mappedText(kTB027G, v); });
        // The property of the line the set opens on decides its editable column.
        if (!s.IsEmpty()) qryMPSTBPreAfterScroll(s);
    }
    if (qryMPSTF->Active()) {
        textHandlers(*qryMPSTF);
        dateHandlers(qryMPSTF->FindField(QStringLiteral("TF002")));
    }
    qryMPSTBPre->BeforeScroll = [this](kv::TClientDataSet& d) { qryMPSTBPreBeforeScroll(d); };
    qryMPSTBPre->AfterScroll = [this](kv::TClientDataSet& d) { qryMPSTBPreAfterScroll(d); };
    qryMPSTBPre->OnNewRecord = [this](kv::TClientDataSet& d) { qryMPSTBPreNewRecord(d); };
}

void TdmKrta07S::qryMPSTBPreNewRecord(kv::TClientDataSet& DataSet) {
    Q_UNUSED(DataSet);
    // Lines come from the schedule run only; a new one is never added here.
    kv::Abort();
}

void TdmKrta07S::SwitchEditableColumn(bool ByValidation) {
    kv::TClientDataSet& s = *qryMPSTBPre;
    const bool inHouse = trimmedText(s, "MQ017C") == QLatin1String("1");
    auto ro = [&s](const char* n, bool value) {
        if (kv::TField* f = s.FindField(QString::fromLatin1(n))) f->SetReadOnly(value);
    };
    if (ByValidation) {
        // An in-house order has no supplier, an outsourced one no work centre.
        const QString code = inHouse ? QStringLiteral("TB045") : QStringLiteral("TB044");
        setQuietly(s.FindField(code), QString());
        setQuietly(s.FindField(code + QLatin1Char('C')), QString());
    }
    ro("TB044", !inHouse);
    ro("TB044C", true);
    ro("TB045", inHouse);
    ro("TB045C", true);
}

void TdmKrta07S::qryMPSTBPreAfterScroll(kv::TClientDataSet& DataSet) {
    Q_UNUSED(DataSet);
    SwitchEditableColumn(false);
    // The highlight follows through the data source's cursor signal (the workbench listens to it).
}

void TdmKrta07S::qryMPSTBPreMQ017CValidate(kv::TField& Sender) {
    Q_UNUSED(Sender);
    SwitchEditableColumn(true);
}

void TdmKrta07S::qryMPSTBPreBeforeScroll(kv::TClientDataSet& DataSet) {
    TfrmKrta07SM* wb = qobject_cast<TfrmKrta07SM*>(parent());
    if (!wb || wb->EditState() != 1 || wb->Linking() || DataSet.IsEmpty()) return;
    if (trimmedText(DataSet, "TB042").isEmpty()) {
        wb->ShowLineMessage(2);
        kv::Abort();
    }
    const int row = wb->CurrentRowIndex();
    if (TMyGantItem* item = wb->mgMPSTC->MyGantList()->Items(row)) {
        auto sum = [item] {
            double s = 0;
            for (int k = 0; k < item->CellCount(); ++k)
                s += item->CellValue(k);
            return s;
        };
        const double target = DataSet.FieldByName(QStringLiteral("TB026")).AsFloat();
        while (!Krta07SameQuantity(sum(), target)) {
            wb->ShowLineMessage(1, kv::floatToStr(target));
            if (!wb->EditDailyQuantities(row)) {
                // Cancelling the editor keeps the planner on the line until the days add up.
                kv::Abort();
            }
        }
    }
    wb->mgMPSTC->CancelMouseOperation();
}

void TdmKrta07S::qryMPSTBPreTB042Validate(kv::TField& Sender) {
    kv::TClientDataSet& s = *qryMPSTBPre;
    const QString value = Sender.AsString().trimmed();
    if (value.isEmpty()) {
        setQuietly(s.FindField(QStringLiteral("TB042C")), QString());
        return;
    }
    TfrmKrta07SM* wb = qobject_cast<TfrmKrta07SM*>(parent());
    QStringList row;
    const QString kind =
        trimmedText(s, "MB025C") == QLatin1String("M") ? QStringLiteral("1") : QStringLiteral("2");
    if (!wb ||
        !wb->CheckLineCode(QStringLiteral("CMSMQ"), QStringLiteral("54"),
                           {value, QStringLiteral("51"), QStringLiteral("52"), wb->UserID(), kind}, row)) {
        if (wb) wb->ShowLineMessage(3);
        kv::Abort();
    }
    setQuietly(s.FindField(QStringLiteral("TB042C")), row.value(0));
    setQuietly(s.FindField(QStringLiteral("MQ017C")), row.value(12));
}

void TdmKrta07S::qryMPSTBPreTB044Validate(kv::TField& Sender) {
    kv::TClientDataSet& s = *qryMPSTBPre;
    const QString value = Sender.AsString().trimmed();
    if (value.isEmpty()) {
        setQuietly(s.FindField(QStringLiteral("TB044C")), QString());
        return;
    }
    TfrmKrta07SM* wb = qobject_cast<TfrmKrta07SM*>(parent());
    QStringList row;
    if (!wb || !wb->CheckLineCode(QStringLiteral("CMSMD"), QStringLiteral("02"),
                                  {wb->edMB001->text().trimmed(), value}, row)) {
        if (wb) wb->ShowLineMessage(4);
        kv::Abort();
    }
    setQuietly(s.FindField(QStringLiteral("TB044C")), row.value(0));
}

void TdmKrta07S::qryMPSTBPreTB045Validate(kv::TField& Sender) {
    kv::TClientDataSet& s = *qryMPSTBPre;
    const QString value = Sender.AsString().trimmed();
    if (value.isEmpty()) {
        setQuietly(s.FindField(QStringLiteral("TB045C")), QString());
        return;
    }
    TfrmKrta07SM* wb = qobject_cast<TfrmKrta07SM*>(parent());
    QStringList row;
    if (!wb || !wb->CheckLineCode(QStringLiteral("PURMA"), QStringLiteral("01"), {value}, row)) {
        if (wb) wb->ShowLineMessage(5);
        kv::Abort();
    }
    const QString approval = row.value(12).trimmed();
    if (approval == QLatin1String("2") || approval == QLatin1String("3")) {
        wb->ShowLineMessage(approval == QLatin1String("2") ? 6 : 7);
        kv::Abort();
    }
    setQuietly(s.FindField(QStringLiteral("TB045C")), row.value(0));
}

void TdmKrta07S::qryMPSTBPreTB045SetText(kv::TField& Sender, const QString& Text) {
    ProviderFieldSetText(Sender, Text, QStringLiteral("61"));
}

void TdmKrta07S::ProviderFieldSetText(kv::TField& Sender, const QString& Text, const QString& WindowNo) {
    TfrmKrta07SM* wb = qobject_cast<TfrmKrta07SM*>(parent());
    auto recover = [wb](const QString& t) {
        return wb && wb->KvConverter ? wb->KvConverter->RecoverUIString(kv::Variant(t)).toString() : t;
    };
    if (Text.isEmpty() || !wb) {
        Sender.SetAsString(recover(Text));
        return;
    }
    const QString mode = CompanyParameter(QStringLiteral("055"));
    if (mode == QLatin1String("1")) {
        Sender.SetAsString(recover(Text));
        return;
    }
    QStringList chosen, row;
    if (mode == QLatin1String("2")) {
        if (wb->CheckLineCode(QStringLiteral("PURMA"), QStringLiteral("08"), {Text}, row))
            chosen = wb->DataCalls()->OpenLookup(QStringLiteral("PURMA"),
                                                QString::number(WindowNo.toInt() + 1), {recover(Text)});
    } else if (wb->CheckLineCode(QStringLiteral("PURMA"), QStringLiteral("09"), {Text}, row)) {
        chosen = wb->DataCalls()->OpenLookup(QStringLiteral("PURMA"), WindowNo, {recover(Text)});
    }
    Sender.SetAsString(chosen.isEmpty() ? recover(Text) : chosen.value(0));
    // The lookup window took the focus: back to the field, for the planner to go on from there.
    wb->FocusLineField(Sender.FieldName());
}

// ---- workbench side -----------------------------------------------------------------------------

void TfrmKrta07SM::ShowLineMessage(int Index, const QString& Suffix) {
    const QString text = Message(Index) + Suffix;
    if (KvConverter)
        KvConverter->KvCodeMessageDlg(text, mtError, mbOK);
    else
        ::KvMessageDlg(text, mtError, mbOK, this);
}

void TfrmKrta07SM::FocusLineField(const QString& Field) {
    // Once the grid has taken the value in: the cell editor that handed it over is closing now.
    QTimer::singleShot(0, this, [this, Field] {
        const QAbstractItemModel* model = dgMPSTB->model();
        const kv::TClientDataSet& pre = *dmKrta07S->qryMPSTBPre;
        if (!model || !pre.Active() || pre.IsEmpty()) return;
        for (int c = 0; c < model->columnCount(); ++c)
            if (dgMPSTB->Column(c) &&
                dgMPSTB->Column(c)->FieldName().compare(Field, Qt::CaseInsensitive) == 0) {
                dgMPSTB->setCurrentIndex(model->index(pre.RecNo() - 1, c));
                break;
            }
        dgMPSTB->setFocus();
    });
}

bool TfrmKrta07SM::CheckLineCode(const QString& Table, const QString& QueryNo, const QStringList& Keys,
                                 QStringList& Row) {
    return FDataCalls && FDataCalls->CheckCodeKeys(Table, QueryNo, Keys, Row);
}

bool TfrmKrta07SM::IsLineGridControl(const QWidget* Control) const {
    for (const QWidget* w = Control; w; w = w->parentWidget())
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
                  trimmedText(s, "MB025C") == QLatin1String("M") ? QStringLiteral("1") : QStringLiteral("2")};
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
    // The cell editor that asked, if one is open: it takes the chosen code and commits it, so it
    // does not write its old text back when it closes.
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (editor && !IsLineGridControl(editor)) editor = nullptr;
    const QStringList row = FDataCalls->OpenLookup(table, window, params);
    if (row.isEmpty()) return;
    if (editor) {
        editor->setText(row.value(0));
        QAbstractItemDelegate* delegate = dgMPSTB->itemDelegate();
        emit delegate->commitData(editor);
        emit delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
        return;
    }
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
