#include "optionforms/GeneCondition.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "controls/DBLabel.h"
#include "controls/KvEdit.h"
#include "controls/KvGuard.h"
#include "controls/SelectPnl.h"
#include "optionforms/BaseGene.h"

namespace {

const QChar kSep(3);

// The caption a user knows a date option by: a select panel's caption or hint word, an edit's own
// caption, the label that points at it, or else its name.
QString dateFieldCaption(QWidget* control, QWidget* form) {
    for (const char* name : {"Caption", "HintWord"}) {
        const QString text = control->property(name).toString().trimmed();
        if (!text.isEmpty()) return text;
    }
    for (QLabel* label : form->findChildren<QLabel*>()) {
        auto* db = qobject_cast<TDBLabel*>(label);
        if (label->buddy() == control || (db && db->FocusControl() == control)) {
            QString text = label->text().trimmed();
            text.remove('&');
            if (!text.isEmpty()) return text;
        }
    }
    return control->objectName();
}

} // namespace

TfrmGeneCondition::TfrmGeneCondition(TfrmBaseGene* form) : TKVForm(form), FForm(form) {
    setObjectName("frmGeneCondition");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(QStringLiteral("保存条件方案"));

    auto* root = new QVBoxLayout(this);
    auto* nameRow = new QHBoxLayout;
    lblConName = new QLabel(QStringLiteral("方案名称"), this);
    lblConName->setObjectName("lblConName");
    edConName = new QLineEdit(this);
    edConName->setObjectName("edConName");
    // The scheme list keeps a name in so many bytes: a longer one would come back cut and no longer
    // find its scheme.
    KvLimitBytes(edConName, TfrmBaseGene::SchemeNameBytes);
    // Required, as the option forms mark their required fields.
    QPalette required = edConName->palette();
    required.setColor(QPalette::Base, QColor(0xFF, 0xFF, 0xAF));
    edConName->setPalette(required);
    lblConName->setBuddy(edConName);
    nameRow->addWidget(lblConName);
    nameRow->addWidget(edConName, 1);
    root->addLayout(nameRow);

    grpDate = new QGroupBox(QStringLiteral("日期字段"), this);
    grpDate->setObjectName("grpDate");
    auto* dateLayout = new QVBoxLayout(grpDate);
    cbodatecondition = new QComboBox(grpDate);
    cbodatecondition->setObjectName("cbodatecondition");
    dateLayout->addWidget(cbodatecondition);

    pnlSingle = new QFrame(grpDate);
    pnlSingle->setObjectName("pnlSingle");
    auto* singleLayout = new QVBoxLayout(pnlSingle);
    singleLayout->setContentsMargins(0, 0, 0, 0);
    Single = MakeSide(pnlSingle, "Single");
    dateLayout->addWidget(pnlSingle);

    pnlRange = new QFrame(grpDate);
    pnlRange->setObjectName("pnlRange");
    auto* rangeLayout = new QVBoxLayout(pnlRange);
    rangeLayout->setContentsMargins(0, 0, 0, 0);
    grpBegin = new QGroupBox(QStringLiteral("起始日期"), pnlRange);
    grpBegin->setObjectName("grpBegin");
    new QVBoxLayout(grpBegin);
    Begin = MakeSide(grpBegin, "Begin");
    grpEnd = new QGroupBox(QStringLiteral("截止日期"), pnlRange);
    grpEnd->setObjectName("grpEnd");
    new QVBoxLayout(grpEnd);
    End = MakeSide(grpEnd, "End");
    rangeLayout->addWidget(grpBegin);
    rangeLayout->addWidget(grpEnd);
    dateLayout->addWidget(pnlRange);
    root->addWidget(grpDate);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnOK = new QPushButton(QStringLiteral("确定"), this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("取消"), this);
    btnCancel->setObjectName("btnCancel");
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    root->addLayout(buttons);

    // One entry per date field of the form, each starting from the editors' first values.
    for (const QString& raw : form->DateFields().split(',', Qt::SkipEmptyParts)) {
        const QString name = raw.trimmed();
        QWidget* control = form->findChild<QWidget*>(name);
        if (!control || FNames.contains(name)) continue;
        const bool range = qobject_cast<TSelectPanel*>(control) != nullptr;
        QStringList entry{range ? "0" : "1", name, "N", "0", "0", "0", "0"};
        if (range)
            entry << "N"
                  << "0"
                  << "0"
                  << "0"
                  << "0";
        entry << "D";
        FNames << name;
        FSettings << entry.join(kSep);
        cbodatecondition->addItem(dateFieldCaption(control, form));
    }
    grpDate->setVisible(!FNames.isEmpty());

    connect(cbodatecondition, &QComboBox::currentIndexChanged, this,
            [this](int index) { cbodateconditionChange(index); });
    for (const TDateSide* side : {&Single, &Begin, &End}) {
        connect(side->chkVariable, &QCheckBox::toggled, this, [this] { StoreSettings(); });
        connect(side->speCount, &QSpinBox::valueChanged, this, [this] { StoreSettings(); });
        connect(side->speDays, &QSpinBox::valueChanged, this, [this] { StoreSettings(); });
        connect(side->cboUnit, &QComboBox::currentIndexChanged, this, [this] { StoreSettings(); });
        connect(side->cboKind, &QComboBox::currentIndexChanged, this, [this] { StoreSettings(); });
    }
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { Finish(mrCancel); });
    cbodateconditionChange(FNames.isEmpty() ? -1 : 0);
    adjustSize();
}

TfrmGeneCondition::~TfrmGeneCondition() = default;

TfrmGeneCondition::TDateSide TfrmGeneCondition::MakeSide(QWidget* parent, const QString& prefix) {
    TDateSide side;
    auto* box = new QWidget(parent);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    side.chkVariable = new QCheckBox(QStringLiteral("变动日期"), box);
    side.chkVariable->setObjectName("chk" + prefix + "Variable");
    side.speCount = new QSpinBox(box);
    side.speCount->setObjectName("spe" + prefix + "Count");
    side.speCount->setRange(-99, 99);
    side.cboUnit = new QComboBox(box);
    side.cboUnit->setObjectName("cbo" + prefix + "Unit");
    side.cboUnit->addItems({Text("sWeek", QStringLiteral("周")), Text("sMonth", QStringLiteral("月"))});
    side.cboKind = new QComboBox(box);
    side.cboKind->setObjectName("cbo" + prefix + "Kind");
    side.cboKind->addItems({Text("sPlusMinus", QStringLiteral("加/减")),
                            Text("sFirstDay", QStringLiteral("第一天")),
                            Text("sLastDay", QStringLiteral("最后一天"))});
    side.speDays = new QSpinBox(box);
    side.speDays->setObjectName("spe" + prefix + "Days");
    side.speDays->setRange(-999, 999);
    auto* run = new QLabel(QStringLiteral("=预定运行日"), box);
    run->setObjectName("lbl" + prefix + "Run");
    grid->addWidget(side.chkVariable, 0, 0, 1, 4);
    grid->addWidget(run, 1, 0);
    grid->addWidget(side.speCount, 1, 1);
    grid->addWidget(side.cboUnit, 1, 2);
    grid->addWidget(side.cboKind, 2, 1, 1, 2);
    grid->addWidget(side.speDays, 2, 3);
    parent->layout()->addWidget(box);
    // The movement only means something for a variable date.
    for (QWidget* w :
         std::initializer_list<QWidget*>{side.speCount, side.cboUnit, side.cboKind, side.speDays})
        connect(side.chkVariable, &QCheckBox::toggled, w, &QWidget::setEnabled);
    for (QWidget* w :
         std::initializer_list<QWidget*>{side.speCount, side.cboUnit, side.cboKind, side.speDays})
        w->setEnabled(false);
    return side;
}

QString TfrmGeneCondition::Text(const char* ident, const QString& fallback) const {
    return LangText(QStringLiteral("TfrmGeneCondition"), QString::fromLatin1(ident), fallback);
}

void TfrmGeneCondition::LoadSide(const TDateSide& side, const QStringList& entry, int first) {
    side.chkVariable->setChecked(entry.value(first) == "Y");
    side.speCount->setValue(entry.value(first + 1).toInt());
    side.cboUnit->setCurrentIndex(qBound(0, entry.value(first + 2).toInt(), 1));
    side.cboKind->setCurrentIndex(qBound(0, entry.value(first + 3).toInt(), 2));
    side.speDays->setValue(entry.value(first + 4).toInt());
}

void TfrmGeneCondition::StoreSide(const TDateSide& side, QStringList& entry, int first) const {
    while (entry.size() < first + 5)
        entry << "0";
    entry[first] = side.chkVariable->isChecked() ? "Y" : "N";
    entry[first + 1] = QString::number(side.speCount->value());
    entry[first + 2] = QString::number(side.cboUnit->currentIndex());
    entry[first + 3] = QString::number(side.cboKind->currentIndex());
    entry[first + 4] = QString::number(side.speDays->value());
}

void TfrmGeneCondition::StoreSettings() {
    if (FLoading || FShown < 0 || FShown >= FSettings.size()) return;
    QStringList entry = FSettings[FShown].split(kSep);
    if (entry.value(0) == "0") {
        StoreSide(Begin, entry, 2);
        StoreSide(End, entry, 7);
    } else {
        StoreSide(Single, entry, 2);
    }
    FSettings[FShown] = entry.join(kSep);
}

void TfrmGeneCondition::cbodateconditionChange(int index) {
    FShown = index;
    const bool valid = index >= 0 && index < FSettings.size();
    const QStringList entry = valid ? FSettings[index].split(kSep) : QStringList();
    const bool range = valid && entry.value(0) == "0";
    pnlSingle->setVisible(valid && !range);
    pnlRange->setVisible(range);
    if (!valid) return;
    FLoading = true;
    if (range) {
        LoadSide(Begin, entry, 2);
        LoadSide(End, entry, 7);
    } else {
        LoadSide(Single, entry, 2);
    }
    FLoading = false;
}

void TfrmGeneCondition::btnOKClick() {
    const QString name = edConName->text().trimmed();
    if (name.isEmpty()) {
        KvMessageDlg(Text("sEmptyProjName", QStringLiteral("方案名不可空白!")), mtError, mbOK);
        edConName->setFocus();
        return;
    }
    kv::Variant row;
    const kv::Variant keys = kv::Variant::arrayOf({name, FForm->UserID(), FForm->ProgramCode()});
    FReplace = false;
    if (FForm->GetData("GENES", "01", true, row, keys)) {
        if (KvMessageDlg(
                Text("sReplaceProj", QStringLiteral("此方案名已存在！是否将原来的方案替换为此方案?")),
                mtConfirmation, TMsgDlgButtons(mbYes | mbNo)) != mrYes) {
            edConName->setFocus();
            return;
        }
        FReplace = true;
    }
    Finish(mrOk);
}

void TfrmGeneCondition::Finish(int result) {
    FModalResult = result;
    if (FModalLoop) FModalLoop->exit(result);
}

int TfrmGeneCondition::ShowModal() {
    FModalResult = mrNone;
    setWindowModality(Qt::ApplicationModal);
    QPointer<TfrmGeneCondition> self(this);
    QEventLoop loop;
    FModalLoop = &loop;
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    // Into the interface's script before it is first seen, as every form of the module.
    ConvertOnce();
    show();
    edConName->setFocus();
    KvRunModalLoop(loop, [this, &self] { return !self || FModalResult != mrNone; });
    if (!self) return mrCancel;
    FModalLoop = nullptr;
    hide();
    return FModalResult == mrNone ? int(mrCancel) : FModalResult;
}

void TfrmGeneCondition::closeEvent(QCloseEvent* e) {
    if (FModalLoop && FModalResult == mrNone) Finish(mrCancel);
    TKVForm::closeEvent(e);
}

void TfrmGeneCondition::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        Finish(mrCancel);
        return;
    }
    // Enter that no control used presses the focused button, else OK: a plain window has no default
    // button of its own.
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
        !(e->modifiers() & ~Qt::KeypadModifier)) {
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        QPushButton* button = focused ? focused : btnOK;
        if (button->isEnabled()) button->click();
        return;
    }
    TKVForm::keyPressEvent(e);
}

TfrmGeneCondition::TResult TfrmGeneCondition::Execute(TfrmBaseGene* form) {
    delete FCurrent.data();
    auto* dialog = new TfrmGeneCondition(form);
    dialog->AfterConstruction();
    FCurrent = dialog;
    TResult result;
    const QPointer<TfrmGeneCondition> alive(dialog);
    const int answer = dialog->ShowModal();
    if (!alive) return result;
    if (answer == mrOk) {
        dialog->StoreSettings();
        result.Name = dialog->edConName->text().trimmed();
        result.Settings = dialog->FSettings.isEmpty() ? QString() : dialog->FSettings.join("\r\n") + "\r\n";
        result.Replace = dialog->FReplace;
    }
    return result;
}
